// A transport for unit tests: records each request and answers from a queue
// (or throws the queued failure). Single-threaded use.
#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "core/rest/restclient.h"

namespace core::rest::testing {

class TRecordingTransport : public IHttpTransport {
 public:
  struct TFailure {
    std::string reason;
  };

  void Answer(long status, std::string content, std::string statusText = "") {
    FAnswers.push_back(TRestResponse{status, std::move(statusText), std::move(content)});
  }
  void Fail(std::string reason) { FAnswers.push_back(TFailure{std::move(reason)}); }

  TRestResponse Perform(const THttpRequest& request) override {
    requests.push_back(request);
    if (FAnswers.empty()) return TRestResponse{200, "OK", ""};
    auto next = std::move(FAnswers.front());
    FAnswers.pop_front();
    if (auto* failure = std::get_if<TFailure>(&next)) throw ERequestError(failure->reason);
    return std::get<TRestResponse>(next);
  }

  std::vector<THttpRequest> requests;

 private:
  std::deque<std::variant<TRestResponse, TFailure>> FAnswers;
};

}  // namespace core::rest::testing
