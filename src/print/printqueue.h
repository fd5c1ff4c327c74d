// TPrintQueue: the one worker thread that prints the files the print route
// prepares, one after another, so that no network thread waits for a
// printer. An item is the path of a temporary file; ".pdf" goes to the
// destination as a PDF job, ".gdi" is a receipt layout drawn by TGDIPrinter.
// Each file is deleted when its job ends. Every step is reported as a line
// through FOnLog; nothing goes back to the front end.
//
// PDF jobs carry the print settings as the IPP "print-scaling" option
// ("noscale" -> none, "fit" -> fit); a destination that refuses it gets the
// job once more without it. A job is followed until it completes, is aborted
// or FJobTimeoutMs pass, and then cancelled.
//
// Thread safety: AddToQueue and SetPrintSettings from any thread; FOnLog and
// the tuning fields are set before Start. Destruction asks the worker to end,
// lets the job in progress finish and drops what is still queued (the files
// stay).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/env.h"
#include "platform/printspooler.h"

namespace print {

using TOnPrintLog = std::function<void(const std::string& AMessage)>;

class TPrintQueue {
 public:
  // env (clock, sleeps, files) must outlive the queue.
  explicit TPrintQueue(std::string APrinterName,
                       std::shared_ptr<platform::TPrintSpooler> spooler = platform::CupsSpooler(),
                       platform::TEnv& env = platform::DefaultEnv());
  ~TPrintQueue();
  TPrintQueue(const TPrintQueue&) = delete;
  TPrintQueue& operator=(const TPrintQueue&) = delete;

  void Start();
  // Queues an existing file; never raises (failures are logged).
  void AddToQueue(const std::string& AFile);
  // The print settings of the next PDF jobs ("fit" until changed).
  void SetPrintSettings(const std::string& ASettings);
  std::string PrintSettings();

  TOnPrintLog FOnLog;
  uint32_t FCooldownMs = 0;   // pause after each finished job
  int FJobTimeoutMs = 30000;  // how long a PDF job is followed
  int FJobPollMs = 200;
  int FDeleteDelayMs = 500;  // before a finished file is deleted

 private:
  void Execute();
  void ProcessFile(const std::string& path);
  void PrintPdf(const std::string& path);
  void PrintLayout(const std::string& path);
  void DeleteJobFile(const std::string& path);
  void DoLog(const std::string& text);
  bool Terminated() const { return FTerminated.load(); }

  const std::string FPrinterName;
  const std::shared_ptr<platform::TPrintSpooler> FSpooler;
  platform::TEnv& FEnv;

  std::mutex FCritical;  // guards FQueue, FPrintSettings and FSignalled
  std::condition_variable FEvent;
  bool FSignalled = false;  // the auto-reset event
  std::deque<std::string> FQueue;
  std::string FPrintSettings = "fit";

  std::atomic<bool> FTerminated{false};
  std::thread FThread;
};

}  // namespace print
