// The service module: owns the configuration file, the data module, the
// server thread and the print queue, and runs the control requests
// (start, stop, pause, continue) on the service thread, one at a time.
//
// One instance per process (ZentavoSiTefService()); other modules reach the
// INI file, the server thread and GravaLog through it.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "core/dmsitef.h"
#include "endpoint/serverthread.h"
#include "platform/inifile.h"
#include "print/printqueue.h"

namespace service {

inline constexpr const char* kServiceName = "ZentavoSiTefService";
inline constexpr const char* kDisplayName = "ZentavoSiTefService";
inline constexpr const char* kAppTitle = "Zentavo TEF Server";
inline constexpr const char* kDescription = "Zentavo TEF Server - Mantenha este serviço iniciado.";

// GravaLog of the service module: one line in the daily log beside the
// executable. Returns 1 when written, 0 otherwise; never raises.
int GravaLog(const std::string& text);
// The print queue's log callback: "[Impressora] " + message.
void PrintQueueLog(const std::string& message);

class TZentavoSiTefService : public core::TDmSitefHost {
 public:
  // ServiceCreate: opens the INI file and creates the data module.
  TZentavoSiTefService();
  // ServiceDestroy.
  ~TZentavoSiTefService() override;

  void ServiceStart(bool& Started);
  void ServiceStop(bool& Stopped);
  void ServicePause(bool& Paused);
  void ServiceContinue(bool& Continued);
  // The control loop: takes queued control requests every 100 ms until a
  // stop succeeds.
  void ServiceExecute();

  void StartServer();
  void StopServer();

  // core::TDmSitefHost
  platform::TIniFile& IniConfig() override { return *FIniConfig; }
  int Log(const std::string& text) override { return GravaLog(text); }
  void SendClientMessage(const std::string& msg) override;
  std::string DecodeWebSocketFrame() override;
  std::shared_ptr<endpoint::TConnection> CurrentConnection() override;
  bool WaitForClientData(int timeout_ms) override;
  bool Serving() override;
  void SendPrompt(const std::string& msg) override;
  void PromptAnswered() override;
  void BeginPayment() override;
  void EndPayment() override;
  std::shared_ptr<print::TPrintQueue> PrintQueue() override;

  // The running server thread, or null while stopped or paused.
  endpoint::TServerThread* ServerThread();

  core::TDmSitef& DmSitef() { return *FDmSitef; }

 private:
  std::unique_ptr<platform::TIniFile> FIniConfig;
  std::unique_ptr<core::TDmSitef> FDmSitef;
  // FServerThread is replaced only by the service thread; connection threads
  // reach it through a shared copy so a pause cannot free it under them.
  std::mutex FServerLock;
  std::shared_ptr<endpoint::TServerThread> FServerThread;
  // Exists from start to stop; the print route reaches it through a shared
  // copy so a stop cannot free it under a request.
  std::mutex FPrintLock;
  std::shared_ptr<print::TPrintQueue> FPrintQueue;

  std::shared_ptr<endpoint::TServerThread> Server();
};

// The process's service module, or null before it exists.
TZentavoSiTefService* ZentavoSiTefService();

}  // namespace service
