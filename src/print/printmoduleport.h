// What crosses between the service and the print module. The service has the
// C++ runtime linked in (an idle service then maps only the parts it uses),
// while the module uses the system's: each side keeps its own exception state,
// so no exception may unwind from one into the other. A call across catches
// on the callee's side and hands the failure over as data (TPortFailure), and
// the caller's side raises it again. Both sides compile these adapters, each
// its own copy; only plain data and strings cross.
//
// Thread safety: as the spooler or module behind the port.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/printspooler.h"

namespace print {

// A failure handed over a port.
struct TPortFailure {
  enum class TKind { fkNone, fkSpooler, fkOptionRefused, fkOther };
  TKind Kind = TKind::fkNone;
  std::string Message;

  // Keeps the exception being handled; call only inside a handler.
  void Keep() noexcept;
  // Raises the failure on this side: EPrintOptionRefused, EPrintSpooler, or
  // std::runtime_error for any other; nothing when there is none.
  void Raise() const;
};

// Runs `fn`; a failure is kept in `failure` and a value-initialised result
// returned instead.
template <class TFn>
auto KeepFailure(TPortFailure& failure, TFn&& fn) noexcept -> decltype(fn()) {
  try {
    return fn();
  } catch (...) {
    failure.Keep();
  }
  if constexpr (!std::is_void_v<decltype(fn())>) return {};
}

// platform::TPrintSpooler over the boundary; no method throws.
class TSpoolerPort {
 public:
  virtual ~TSpoolerPort() = default;
  virtual std::optional<platform::TPrintDestination> FindDestination(
      const std::string& name, TPortFailure& failure) noexcept = 0;
  virtual int SubmitJob(const std::string& destination, const std::string& title,
                        const std::string& format, const platform::TPrintOptions& options,
                        const std::string& document, TPortFailure& failure) noexcept = 0;
  virtual platform::TPrintJobState JobState(const std::string& destination, int job_id,
                                            TPortFailure& failure) noexcept = 0;
  virtual void CancelJob(const std::string& destination, int job_id,
                         TPortFailure& failure) noexcept = 0;
};

// What the module's entry point returns; it lives as long as the process.
class TPrintModulePort {
 public:
  virtual ~TPrintModulePort() = default;
  // The module's CUPS spooler, which lives as long as the process; null on
  // failure.
  virtual TSpoolerPort* Spooler(TPortFailure& failure) noexcept = 0;
  virtual void PrintLayoutFile(const std::string& APrinterName, TSpoolerPort& spooler,
                               const std::string& AFile, TPortFailure& failure) noexcept = 0;
};

// The callee's side: a spooler behind a port, its failures kept.
class TSpoolerPortOf final : public TSpoolerPort {
 public:
  explicit TSpoolerPortOf(std::shared_ptr<platform::TPrintSpooler> spooler)
      : FSpooler(std::move(spooler)) {}
  std::optional<platform::TPrintDestination> FindDestination(
      const std::string& name, TPortFailure& failure) noexcept override;
  int SubmitJob(const std::string& destination, const std::string& title, const std::string& format,
                const platform::TPrintOptions& options, const std::string& document,
                TPortFailure& failure) noexcept override;
  platform::TPrintJobState JobState(const std::string& destination, int job_id,
                                    TPortFailure& failure) noexcept override;
  void CancelJob(const std::string& destination, int job_id,
                 TPortFailure& failure) noexcept override;

 private:
  std::shared_ptr<platform::TPrintSpooler> FSpooler;
};

// The caller's side: a spooler that calls `port` (which must outlive it) and
// raises its failures.
std::shared_ptr<platform::TPrintSpooler> SpoolerOverPort(TSpoolerPort& port);
// The port under a spooler SpoolerOverPort made, else null: a spooler that
// came over the boundary goes back as the port it is.
TSpoolerPort* PortUnder(platform::TPrintSpooler& spooler);

}  // namespace print
