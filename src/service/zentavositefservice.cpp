#include "service/zentavositefservice.h"

#include <stdexcept>

#include "platform/env.h"
#include "platform/paths.h"
#include "platform/servicecontrol.h"
#include "service/hostpreparation.h"
#include "service/servicelog.h"

namespace service {
namespace {

TZentavoSiTefService* g_service = nullptr;

// Only "/transaction" starts a payment, whose dialogue reads the front end's
// answers while it runs. Judged on the raw text without parsing it: a text
// that does not hold "/transaction" as written, nor any escape that could
// spell it, cannot be routed there. A long text is not searched (a document
// to print is megabytes of base64): it is simply taken to be one.
bool MayStartPayment(const std::string& text) {
  constexpr size_t kSearched = 16 * 1024;
  return text.size() > kSearched || text.find('\\') != std::string::npos ||
         text.find("/transaction") != std::string::npos;
}

}  // namespace

int GravaLog(const std::string& text) { return GravaLogIn(platform::ExeDir(), text); }

void PrintQueueLog(const std::string& message) { GravaLog("[Impressora] " + message); }

TZentavoSiTefService* ZentavoSiTefService() { return g_service; }

TZentavoSiTefService::TZentavoSiTefService() {
  FIniConfig =
      std::make_unique<platform::TIniFile>(platform::ChangeFileExt(platform::ExePath(), ".ini"));
  FDmSitef = std::make_unique<core::TDmSitef>(*this);
  g_service = this;
}

TZentavoSiTefService::~TZentavoSiTefService() {
  if (FServerThread) StopServer();
  g_service = nullptr;
  FDmSitef.reset();
  FIniConfig.reset();
}

endpoint::TServerThread* TZentavoSiTefService::ServerThread() { return Server().get(); }

std::shared_ptr<endpoint::TServerThread> TZentavoSiTefService::Server() {
  std::lock_guard<std::mutex> lock(FServerLock);
  return FServerThread;
}

void TZentavoSiTefService::SendClientMessage(const std::string& msg) {
  if (auto server = Server()) server->SendClientMessage(msg);
}

std::string TZentavoSiTefService::DecodeWebSocketFrame() {
  auto server = Server();
  return server ? server->DecodeWebSocketFrame() : std::string();
}

std::shared_ptr<endpoint::TConnection> TZentavoSiTefService::CurrentConnection() {
  auto server = Server();
  return server ? server->CurrentConnection() : nullptr;
}

bool TZentavoSiTefService::WaitForClientData(int timeout_ms) {
  auto server = Server();
  if (server) return server->WaitForClientData(timeout_ms);
  platform::DefaultEnv().SleepMillis(timeout_ms);
  return false;
}

void TZentavoSiTefService::SendPrompt(const std::string& msg) {
  if (auto server = Server()) server->SendPrompt(msg);
}

void TZentavoSiTefService::PromptAnswered() {
  if (auto server = Server()) server->PromptAnswered();
}

void TZentavoSiTefService::BeginPayment() {
  if (auto server = Server()) server->BeginPayment();
}

void TZentavoSiTefService::EndPayment() {
  if (auto server = Server()) server->EndPayment();
}

std::shared_ptr<print::TPrintQueue> TZentavoSiTefService::PrintQueue() {
  std::lock_guard<std::mutex> lock(FPrintLock);
  return FPrintQueue;
}

bool TZentavoSiTefService::Serving() {
  std::shared_ptr<endpoint::TServerThread> server = Server();
  return server != nullptr && !server->Deactivating();
}

void TZentavoSiTefService::StartServer() {
  try {
    GravaLog("Iniciando servidor socket.");
    long port = FIniConfig->ReadInteger("sitef", "server_port", 0);
    if (port <= 0) port = 443;
    // A larger value would wrap to some other port.
    if (port > 65535) {
      throw std::runtime_error("Porta inválida em [sitef] server_port: " + std::to_string(port) +
                               " (máximo 65535). O servidor não foi iniciado.");
    }
    EnsureCACertTrusted(platform::ExeDir() + "Certificado/ca_cert.pem", GravaLog);
    EnsureFirewallRule(static_cast<int>(port), GravaLog);
    endpoint::TServerThread::THandlers h;
    core::TDmSitef* dm = FDmSitef.get();
    h.Route = [dm](std::string&& text, endpoint::TConnection& c) {
      dm->RouteTargeting(std::move(text), c);
    };
    h.AfterMessage = [dm] { dm->MessageHandled(); };
    h.Disconnect = [dm] { dm->ConnectionClosed(); };
    h.Log = [](const std::string& line) { GravaLog(line); };
    h.AnswersPrompt = [](const std::string& text) { return core::TDmSitef::IsPromptAnswer(text); };
    h.WaitsForFrontEnd = MayStartPayment;
    auto thread = std::make_shared<endpoint::TServerThread>(
        static_cast<int>(port), platform::ExeDir() + "Certificado/", std::move(h));
    endpoint::TServerThread* raw = thread.get();
    {
      std::lock_guard<std::mutex> lock(FServerLock);
      FServerThread = std::move(thread);
    }
    raw->Start();
  } catch (const std::exception& e) {
    GravaLog(e.what());
  } catch (...) {
  }
}

void TZentavoSiTefService::StopServer() {
  std::shared_ptr<endpoint::TServerThread> thread;
  {
    std::lock_guard<std::mutex> lock(FServerLock);
    if (!FServerThread) return;
    thread = std::move(FServerThread);
  }
  try {
    thread->Deactivate();
    thread->WaitFor();
  } catch (const std::exception& e) {
    GravaLog(std::string("StopServer erro: ") + e.what());
  }
  thread.reset();
}

void TZentavoSiTefService::ServiceStart(bool& Started) {
  // Payments an earlier run left unresolved are settled before any front end
  // can connect.
  FDmSitef->RecoverPayments();
  try {
    StartServer();
    const std::string printer = FIniConfig->ReadString("sitef", "printer", "");
    auto queue = std::make_shared<print::TPrintQueue>(printer);
    queue->FOnLog = PrintQueueLog;
    {
      std::lock_guard<std::mutex> lock(FPrintLock);
      FPrintQueue = queue;
    }
    queue->Start();
    Started = true;
    GravaLog("O serviço foi inciado.");
  } catch (const std::exception& e) {
    Started = false;
    GravaLog(std::string("Erro ao iniciar serviço: ") + e.what());
  }
}

void TZentavoSiTefService::ServiceStop(bool& Stopped) {
  try {
    std::shared_ptr<print::TPrintQueue> queue;
    {
      std::lock_guard<std::mutex> lock(FPrintLock);
      queue = std::move(FPrintQueue);
    }
    queue.reset();  // ends its thread once no request holds it
    StopServer();
    GravaLog("O serviço foi parado.");
    Stopped = true;
  } catch (...) {
    Stopped = false;
  }
}

void TZentavoSiTefService::ServicePause(bool& /*Paused*/) {
  StopServer();
  GravaLog("O serviço foi pausado.");
}

void TZentavoSiTefService::ServiceContinue(bool& /*Continued*/) {
  StartServer();
  GravaLog("O serviço foi retomado.");
}

void TZentavoSiTefService::ServiceExecute() {
  bool paused = false;
  while (true) {
    for (platform::TControlRequest r = platform::TakeControlRequest();
         r != platform::TControlRequest::None; r = platform::TakeControlRequest()) {
      bool ok = true;
      switch (r) {
        case platform::TControlRequest::Stop:
          ServiceStop(ok);
          if (ok) return;
          break;
        case platform::TControlRequest::Pause:
          if (!paused) {
            ServicePause(ok);
            paused = true;
          }
          break;
        case platform::TControlRequest::Continue:
          if (paused) {
            ServiceContinue(ok);
            paused = false;
          }
          break;
        default:
          break;
      }
    }
    platform::DefaultEnv().SleepMillis(100);
  }
}

}  // namespace service
