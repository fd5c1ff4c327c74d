// A print system in memory: destinations with chosen defaults, jobs recorded
// with their options and document, states and refusals scripted per test.
#pragma once

#include <strings.h>

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/printspooler.h"

namespace print {

class TFakeSpooler : public platform::TPrintSpooler {
 public:
  struct TJob {
    int id = 0;
    std::string destination, title, format, document;
    platform::TPrintOptions options;
    bool canceled = false;
  };

  std::vector<platform::TPrintDestination> destinations{{"Recibo", 203, 7200}};
  // Submissions with options are refused this many times.
  int refuse_options = 0;
  // States JobState answers in turn (the last one repeats); completed if empty.
  std::deque<platform::TPrintJobState> states;
  bool cancel_fails = false;

  std::optional<platform::TPrintDestination> FindDestination(const std::string& name) override {
    for (const auto& d : destinations) {
      if (strcasecmp(d.name.c_str(), name.c_str()) == 0) return d;
    }
    return std::nullopt;
  }
  int SubmitJob(const std::string& destination, const std::string& title, const std::string& format,
                const platform::TPrintOptions& options, const std::string& document) override {
    std::lock_guard<std::mutex> lock(FLock);
    ++submissions;
    if (!options.empty() && refuse_options > 0) {
      --refuse_options;
      throw platform::EPrintOptionRefused("client-error-attributes-or-values-not-supported");
    }
    if (!FindDestination(destination))
      throw platform::EPrintSpooler("The printer or class does not exist.");
    jobs.push_back(
        {static_cast<int>(jobs.size()) + 1, destination, title, format, document, options});
    return jobs.back().id;
  }
  platform::TPrintJobState JobState(const std::string&, int) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (states.empty()) return platform::TPrintJobState::jsCompleted;
    platform::TPrintJobState s = states.front();
    if (states.size() > 1) states.pop_front();
    return s;
  }
  void CancelJob(const std::string&, int job_id) override {
    std::lock_guard<std::mutex> lock(FLock);
    if (cancel_fails) throw platform::EPrintSpooler("Not possible");
    jobs.at(job_id - 1).canceled = true;
  }

  std::vector<TJob> Jobs() {
    std::lock_guard<std::mutex> lock(FLock);
    return jobs;
  }

  int submissions = 0;
  std::vector<TJob> jobs;

 private:
  std::mutex FLock;
};

}  // namespace print
