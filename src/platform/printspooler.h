// The print system: installed destinations and the jobs sent to them. On
// Linux it is CUPS (platform/cupsspooler.h, inside the print module); tests
// put a fake behind the same interface.
//
// Thread safety: each implementation says its own.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// What the renderer needs to know about a destination.
struct TPrintDestination {
  std::string name;               // as the print system writes it
  int dpi = 0;                    // default vertical resolution; 0: none given
  int printable_width_mm100 = 0;  // default media width less its margins,
                                  // hundredths of a millimetre; 0: none given
};

enum class TPrintJobState { jsPending, jsCompleted, jsAborted, jsCanceled, jsUnknown };

using TPrintOptions = std::vector<std::pair<std::string, std::string>>;

// A failure of the print system, with its own message.
class EPrintSpooler : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The destination refused one of the job's options (IPP "attributes or
// values not supported"); the same job without the option may pass.
class EPrintOptionRefused : public EPrintSpooler {
 public:
  using EPrintSpooler::EPrintSpooler;
};

class TPrintSpooler {
 public:
  virtual ~TPrintSpooler() = default;
  // The first installed destination whose name equals `name`, ignoring the
  // case of ASCII letters; nullopt when there is none or the print system
  // cannot be reached.
  virtual std::optional<TPrintDestination> FindDestination(const std::string& name) = 0;
  // Sends `document` (of MIME type `format`) as one job named `title` to the
  // destination and returns the job's id. EPrintOptionRefused or
  // EPrintSpooler on failure; a refused job leaves nothing behind.
  virtual int SubmitJob(const std::string& destination, const std::string& title,
                        const std::string& format, const TPrintOptions& options,
                        const std::string& document) = 0;
  virtual TPrintJobState JobState(const std::string& destination, int job_id) = 0;
  // Cancels the job; EPrintSpooler when the print system refuses.
  virtual void CancelJob(const std::string& destination, int job_id) = 0;
};

}  // namespace platform
