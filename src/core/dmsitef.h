// TDmSitef: the central data module. It routes each client message, keeps
// the sessions and the sale data, owns the TEF component and bridges its
// dialogue to the front end. One instance, created by the service module.
//
// Route handlers run on the networking thread of the connection that sent
// the message; a whole payment runs there.
#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/json.h"
#include "core/session.h"
#include "endpoint/connection.h"

namespace platform {
class TIniFile;
}
namespace core {

// What the data module needs from the service module that owns it.
class TDmSitefHost {
 public:
  virtual ~TDmSitefHost() = default;
  virtual platform::TIniFile& IniConfig() = 0;
  // GravaLog.
  virtual int Log(const std::string& text) = 0;
  // The server thread's SendClientMessage; nothing while there is no server.
  virtual void SendClientMessage(const std::string& msg) = 0;
  // The server thread's DecodeWebSocketFrame; "" while there is no server.
  virtual std::string DecodeWebSocketFrame() = 0;
  // The current connection, or null.
  virtual std::shared_ptr<endpoint::TConnection> CurrentConnection() = 0;
};

// A failure with the Portuguese message the front end receives.
class EDmSitefErro : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The missing-field error: "Campo <name> nao encontrado.".
class ECampoNaoEncontrado : public EDmSitefErro {
 public:
  explicit ECampoNaoEncontrado(const std::string& name)
      : EDmSitefErro("Campo " + name + " nao encontrado.") {}
};

using TSessionPtr = std::shared_ptr<TSession>;

class TDmSitef {
 public:
  // DataModuleCreate: the session list and the TEF log name.
  explicit TDmSitef(TDmSitefHost& host);
  ~TDmSitef();

  // --- routing and the reply envelope
  // Dispatches one client message (called by the server's execute event).
  void RouteTargeting(const std::string& pContent, endpoint::TConnection& pIdContext);
  // The named member in text form, or ECampoNaoEncontrado.
  static std::string GetJSONField(const TJsonValue& object, const std::string& name);
  static std::string BuildErrorReply(const std::string& text);
  void SendSampleMsg(const std::string& pMsg);
  // The only way to write to the front end; nothing without a server.
  void SendClientMessage(const std::string& pMsg);
  // Reads one client message from the current connection ("" when none).
  void DecodeWebSocketFrame(std::string& DecodedMessage);

  // --- sessions
  void CreateSession(const std::string& pConfig, endpoint::TConnection& pIdContext);
  bool ValidateSession(const std::string& pContent, TSessionPtr& pSession);
  void FinishSession(const std::string& pContent, const TSessionPtr& pSession);
  TSessionList& Sessions() { return FSessionList; }

  // --- routes built by later parts of the system
  void InitializeSiTef(const std::string& pContent, const TSessionPtr& pSession);
  void CheckPinpad(const std::string& pContent, const TSessionPtr& pSession);
  void CheckFileVersion(const std::string& pContent, const TSessionPtr& pSession);
  void StartTransaction(const std::string& pContent, const TSessionPtr& pSession);
  void CancelTransactionInProgress(const std::string& pContent);
  void Print(const std::string& pContent, const TSessionPtr& pSession);

  // After each routed message: no client answer is being read any more.
  void MessageHandled() { FProcessandoMsg.store(false); }
  // A connection ended: the TEF component cancels pending transactions.
  void ConnectionClosed();

  // The TEF log file name chosen at creation.
  const std::string& TefLogFileName() const { return fTefLogFileName; }
  int Log(const std::string& text) { return host_.Log(text); }

  // Sale data of the latest session start.
  int fVenda_Id = 0;
  int fEmpresa_Id = 0;
  std::string fCallbackURL;

  std::atomic<bool> FProcessandoMsg{false};
  std::atomic<bool> fProcessando{false};

 private:
  // Applies the TEF settings of the token's claims (step 5 of CreateSession).
  void ConfigureTEF(const TJsonValue& claims);

  TDmSitefHost& host_;
  TSessionList FSessionList;
  std::string fTefLogFileName;
  std::string fStoreCode;       // TEF settings now configured
  std::string fTerminalNumber;
};

// Parses pContent and returns it when it is a JSON object; nullopt otherwise.
std::optional<TJsonValue> ParseJsonObject(const std::string& pContent);

}  // namespace core
