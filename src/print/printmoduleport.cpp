#include "print/printmoduleport.h"

#include <stdexcept>

namespace print {
namespace {

class TPortSpooler final : public platform::TPrintSpooler {
 public:
  explicit TPortSpooler(TSpoolerPort& port) : FPort(port) {}
  TSpoolerPort& Port() { return FPort; }

  std::optional<platform::TPrintDestination> FindDestination(const std::string& name) override {
    TPortFailure failure;
    auto found = FPort.FindDestination(name, failure);
    failure.Raise();
    return found;
  }
  int SubmitJob(const std::string& destination, const std::string& title, const std::string& format,
                const platform::TPrintOptions& options, const std::string& document) override {
    TPortFailure failure;
    const int job = FPort.SubmitJob(destination, title, format, options, document, failure);
    failure.Raise();
    return job;
  }
  platform::TPrintJobState JobState(const std::string& destination, int job_id) override {
    TPortFailure failure;
    const platform::TPrintJobState state = FPort.JobState(destination, job_id, failure);
    failure.Raise();
    return state;
  }
  void CancelJob(const std::string& destination, int job_id) override {
    TPortFailure failure;
    FPort.CancelJob(destination, job_id, failure);
    failure.Raise();
  }

 private:
  TSpoolerPort& FPort;
};

}  // namespace

void TPortFailure::Keep() noexcept {
  try {
    throw;
  } catch (const platform::EPrintOptionRefused& e) {
    Kind = TKind::fkOptionRefused;
    Message = e.what();
  } catch (const platform::EPrintSpooler& e) {
    Kind = TKind::fkSpooler;
    Message = e.what();
  } catch (const std::exception& e) {
    Kind = TKind::fkOther;
    Message = e.what();
  } catch (...) {
    Kind = TKind::fkOther;
    Message = "Erro desconhecido na impressão";
  }
}

void TPortFailure::Raise() const {
  switch (Kind) {
    case TKind::fkNone:
      return;
    case TKind::fkOptionRefused:
      throw platform::EPrintOptionRefused(Message);
    case TKind::fkSpooler:
      throw platform::EPrintSpooler(Message);
    case TKind::fkOther:
      break;
  }
  throw std::runtime_error(Message);
}

std::optional<platform::TPrintDestination> TSpoolerPortOf::FindDestination(
    const std::string& name, TPortFailure& failure) noexcept {
  return KeepFailure(failure, [&] { return FSpooler->FindDestination(name); });
}

int TSpoolerPortOf::SubmitJob(const std::string& destination, const std::string& title,
                              const std::string& format, const platform::TPrintOptions& options,
                              const std::string& document, TPortFailure& failure) noexcept {
  return KeepFailure(
      failure, [&] { return FSpooler->SubmitJob(destination, title, format, options, document); });
}

platform::TPrintJobState TSpoolerPortOf::JobState(const std::string& destination, int job_id,
                                                  TPortFailure& failure) noexcept {
  return KeepFailure(failure, [&] { return FSpooler->JobState(destination, job_id); });
}

void TSpoolerPortOf::CancelJob(const std::string& destination, int job_id,
                               TPortFailure& failure) noexcept {
  KeepFailure(failure, [&] { FSpooler->CancelJob(destination, job_id); });
}

std::shared_ptr<platform::TPrintSpooler> SpoolerOverPort(TSpoolerPort& port) {
  return std::make_shared<TPortSpooler>(port);
}

TSpoolerPort* PortUnder(platform::TPrintSpooler& spooler) {
  auto* over = dynamic_cast<TPortSpooler*>(&spooler);
  return over != nullptr ? &over->Port() : nullptr;
}

}  // namespace print
