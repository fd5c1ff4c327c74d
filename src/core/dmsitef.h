// TDmSitef: the central data module. It routes each client message, keeps
// the sessions and the sale data, owns the TEF component and bridges its
// dialogue to the front end. One instance, created by the service module.
//
// Route handlers run on the networking thread of the connection that sent
// the message; a whole payment runs there (see the class comment).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/json.h"
#include "core/session.h"
#include "core/tefclaim.h"
#include "core/transactionrequest.h"
#include "endpoint/connection.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "tef/currency.h"
#include "tef/ruviriduza_types.h"

namespace tef {
class TRuVirIdUza;
class TRuVirIdUzaResp;
}  // namespace tef
namespace core::rest {
class IHttpTransport;
}

namespace platform {
class TIniFile;
}
namespace print {
class TPrintQueue;
}
namespace core {
class TPaymentJournal;
struct TJournalledPayment;

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
  // The connection this thread talks to (during a payment the paying one),
  // or null.
  virtual std::shared_ptr<endpoint::TConnection> CurrentConnection() = 0;
  // Waits up to timeout_ms for a message of the paying front end; false when
  // none arrived or there is no connection.
  virtual bool WaitForClientData(int timeout_ms) = 0;
  // False while no server runs or it is stopping: no answer can arrive.
  virtual bool Serving() = 0;
  // A prompt that waits for the front end's answer. A front end that takes
  // the payment over on a new connection receives it again until
  // PromptAnswered.
  virtual void SendPrompt(const std::string& msg) { SendClientMessage(msg); }
  virtual void PromptAnswered() {}
  // The calling thread starts (ends) a payment for the front end whose
  // request it handles: until EndPayment, its messages go to and its reads
  // come from the paying front end, whichever connection that is by then.
  virtual void BeginPayment() {}
  virtual void EndPayment() {}
  // The print queue while the service runs, else null.
  virtual std::shared_ptr<print::TPrintQueue> PrintQueue() { return nullptr; }
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

class TJsonMessage;

// Settings fixed at construction. The defaults are the service's; tests
// shorten the waits and point the folders and the sales API elsewhere.
struct TDmSitefOptions {
  // How long GetClientResponse waits for the front end's answer.
  int RespostaTimeoutMs = 120000;
  // How long the receipt-highlight countdown lasts, and its step.
  int DestaqueViaMs = 3000;
  int DestaqueViaStepMs = 500;
  // Folder of the TEF library and its CONFITLS.INI; "" is <exe>/dll/.
  std::string PathDLL;
  // Folder of the payment journal; "" is <exe>/Journal/.
  std::string PathJournal;
  // The sales API transport; null is libcurl.
  std::shared_ptr<rest::IHttpTransport> HttpTransport;
};

// Threads: every route handler runs on the networking thread of the
// connection that sent the message, so several may run at once. The TEF
// component, its configuration and the sale data belong to whoever holds the
// TEF claim (TEFClaim()): a session start or "/initialize" (configuration),
// "/pinpad/status", or a transaction, whose thread then runs the whole
// payment, including the component's events (dialogue and result). Only
// "/transaction/cancel", MessageHandled and the status query reach into a
// running payment from other threads, through the atomics and locks below.
class TDmSitef {
 public:
  // DataModuleCreate: the session list and the TEF log name. env (clock,
  // sleeps, files; for this object and its TEF component) must outlive it.
  explicit TDmSitef(TDmSitefHost& host, TDmSitefOptions options = {},
                    platform::TEnv& env = platform::DefaultEnv());
  ~TDmSitef();
  TDmSitef(const TDmSitef&) = delete;
  TDmSitef& operator=(const TDmSitef&) = delete;

  // --- routing and the reply envelope
  // Dispatches one client message (called by the server's execute event).
  // Given the text to keep, a long string in it (a document to print) is
  // read where it lies instead of being copied.
  void RouteTargeting(const std::string& pContent, endpoint::TConnection& pIdContext);
  void RouteTargeting(std::string&& pContent, endpoint::TConnection& pIdContext);
  // The named member in text form, or ECampoNaoEncontrado.
  static std::string GetJSONField(const TJsonValue& object, const std::string& name);
  static std::string BuildErrorReply(const std::string& text);
  // The request of a route whose "type" must be `type`: on text that is no
  // JSON object, a missing "type" or another one, the error reply goes to the
  // front end (`wrongType` for another type) and the result is empty.
  TJsonMessage ReadRequest(const std::string& pContent, const std::string& type,
                           const std::string& wrongType);
  void SendSampleMsg(const std::string& pMsg);
  // The only way to write to the front end; nothing without a server.
  void SendClientMessage(const std::string& pMsg);
  // A prompt of the payment that waits for an answer (see TDmSitefHost).
  void SendPrompt(const std::string& pMsg) { FHost.SendPrompt(pMsg); }
  // Takes the paying front end's next message ("" when none).
  void DecodeWebSocketFrame(std::string& DecodedMessage);

  // --- sessions
  void CreateSession(const std::string& pConfig, endpoint::TConnection& pIdContext);
  bool ValidateSession(const std::string& pContent, TSessionPtr& pSession);
  void FinishSession(const std::string& pContent, const TSessionPtr& pSession);
  TSessionList& Sessions() { return FSessionList; }

  // --- TEF configuration
  void InitializeSiTef(const std::string& pContent, const TSessionPtr& pSession);

  // --- transactions
  void StartTransaction(const std::string& pContent, const TSessionPtr& pSession);
  void CancelTransactionInProgress(const std::string& pContent);
  // Whether a message answers a prompt ("/transaction" that is no request).
  static bool IsPromptAnswer(const std::string& text);

  // The one claim on the TEF library, its configuration and the sale data
  // (see TTEFClaim); every route that uses them runs holding it.
  std::atomic<int>& TEFClaim() { return FTEFClaim; }

  // --- dialogue bridge (handlers of the component's events)
  void RuVirIdUzaExibeMsg(tef::TRuVirIdUzaOperacaoMensagem Operacao, const std::string& Mensagem,
                          tef::TModalResult& AModalResult);
  void RuVirIdUzaExibeMenu(const std::string& Titulo, const tef::TStringList& Opcoes,
                           int& ItemSelecionado, bool& VoltarMenu);
  void RuVirIdUzaObtemCampo(const std::string& Titulo, int TamanhoMinimo, int TamanhoMaximo,
                            int TipoCampo, tef::TRuVirIdUzaCliSiTefOperacaoCampo Operacao,
                            std::string& Resposta, bool& Digitado, bool& VoltarMenu);
  void RuVirIdUzaExibeQRCode(const std::string& QRCode);
  void RuVirIdUzaAguardaResp(const std::string& Arquivo, int SegundosTimeOut, bool& Interromper);
  void RuVirIdUzaMudaEstadoResp(tef::TRuVirIdUzaRespEstado EstadoResp);
  void RuVirIdUzaMudaEstadoReq(tef::TRuVirIdUzaReqEstado EstadoReq);
  void RuVirIdUzaInfoECF(tef::TRuVirIdUzaInfoECF Operacao, std::string& RetornoECF);
  void ControlDisplayMessage(const std::string& pMessage,
                             tef::TRuVirIdUzaOperacaoMensagem pOperation, int& pModalResult);
  void GetClientResponse(std::string& text);
  void PollClientMessage();
  void SetCanCancel(bool value);
  void GetMenuResponse(const tef::TStringList& Opcoes, int& ItemSelecionado, bool& VoltarMenu);
  void GetCollectResponse(std::string& Resposta, bool& Digitado, bool& VoltarMenu);
  void GetQuestionResponse(int& ModalResult);

  // --- results
  void RuVirIdUzaDepoisConfirmarTransacoes(tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes);
  void RuVirIdUzaDepoisCancelarTransacoes(tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes);
  void RuVirIdUzaComandaECFImprimeVia(tef::TRuVirIdUzaTipoRelatorio TipoRelatorio, int Via,
                                      const tef::TStringList& ImagemComprovante, int& RetornoECF);
  // Registers the result with the sales API; adds "payment_id" and
  // "company_id" to the first entry. False when it was not accepted.
  bool RegisterTransaction(TJsonValue& Result);

  // --- payment journal (dmsitef_payments.cpp)
  // Before the server accepts connections: reads the payment journal and
  // resolves every payment an earlier run left unresolved.
  void RecoverPayments();
  // "/transaction/status": the last result of the session's sale.
  void TransactionStatus(const std::string& pContent, const TSessionPtr& pSession);
  // The journal, opened and read on first use.
  TPaymentJournal& PaymentJournal();
  // The result the front end would have received for a journalled payment,
  // with "pending_reconciliation".
  TJsonValue PaymentResult(const TJournalledPayment& p) const;

  // --- routes built by later parts of the system
  void CheckPinpad(const std::string& pContent, const TSessionPtr& pSession);
  void CheckFileVersion(const std::string& pContent, const TSessionPtr& pSession);
  void Print(const std::string& pContent, const TSessionPtr& pSession);

  tef::TRuVirIdUza& RuVirIdUza() { return *FRuVirIdUza; }

  // After each routed message: no client answer is being read any more.
  void MessageHandled() { FProcessandoMsg.store(false); }
  // A connection ended: the TEF component cancels pending transactions.
  void ConnectionClosed();

  // --- observers
  // The sale the next payment belongs to. REQUIRES: no other thread holds
  // the TEF claim (it guards the sale data).
  TSessionSale CurrentSale() const { return TSessionSale{fVenda_Id, fEmpresa_Id, fCallbackURL}; }
  // Whether the running function has reached its approved result.
  bool Concluido() const { return fConcluido.load(); }

  // The TEF log file name chosen at creation.
  const std::string& TefLogFileName() const { return FTefLogFileName; }
  int Log(const std::string& text) { return FHost.Log(text); }
  TDmSitefHost& Host() { return FHost; }
  platform::TEnv& Env() { return FEnv; }

 private:
  // RouteTargeting once the text is parsed (nullopt: not JSON).
  void RouteParsed(const std::string& pContent, std::optional<TJsonValue> parsed,
                   endpoint::TConnection& pIdContext);
  // Steps of StartTransaction (dmsitef_transaction.cpp). The checked
  // request, or empty (the error reply sent, or a confirmation).
  std::optional<TTransactionRequest> ReadTransaction(const std::string& pContent);
  // The sale and transaction data of the payment, under the claim.
  void TakeTransactionData(const TTransactionRequest& request, const TSessionPtr& pSession);
  // Library ready, earlier payments resolved, journal begun, the function
  // run and, without an approved result, ended.
  void RunTransaction(const TTransactionRequest& request, const TSessionPtr& pSession);
  void ResetFunctionState();
  // The library's function for the request (returns when it has ended).
  void CallFunction(const TTransactionRequest& request);
  // When the function ended without an approved result, or a cancellation
  // was flagged: pending work undone, the not-realised result journalled
  // and sent.
  void EndUnlessConcluded();

  // Steps of CreateSession (dmsitef_sessions.cpp). The verified token's
  // claims, or empty with the error reply sent.
  std::optional<TJsonValue> ReadSessionClaims(const std::string& pConfig);
  // The TEF configured and the sale data taken from the claims; false with
  // the error reply sent.
  bool TakeSessionSale(const TJsonValue& claims);
  // The session added and its reply sent.
  void OpenSession(endpoint::TConnection& pIdContext);
  // Applies the TEF settings of the token's claims (a step of TakeSessionSale).
  void ConfigureTEF(const TJsonValue& claims);
  // Steps of ConfigureTEF: the manager's address, store, terminal,
  // parameters and operator (true when one that matters changed), then the
  // library (re)started when something changed or it is not running.
  bool ApplyManagerSettings(const TJsonValue& claims, const std::string& terminal);
  void RestartLibraryIf(bool changed);
  void BindComponentEvents();
  TJsonValue BuildTransactionEntry(const tef::TRuVirIdUzaResp& R);
  void AskCancelConfirmation();
  void SendDialog(const TJsonValue& message) { SendClientMessage(message.Serialize()); }

  // Steps of RuVirIdUzaDepoisConfirmarTransacoes (dmsitef_result.cpp).
  struct TApproval {
    TJsonValue Result;        // the approved "result"
    bool Any = false;         // it has entries
    bool Journalled = false;  // the approval is in the journal
    bool Confirmed = false;   // the library confirmed it
  };
  // A cancellation was flagged: the approval undone, "unauthorized" sent.
  void UndoCancelledApproval(tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes,
                             const std::string& documento);
  // The entries taken from the pending list; the approval journalled.
  void CollectApproval(tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes, TApproval& approval);
  // Registered with the sales API and confirmed, or undone; each step
  // journalled before its effect.
  void DecideApproval(TApproval& approval, const std::string& documento);
  // The decision, once the library acknowledged it, in the journal.
  void JournalDecision(bool confirma, bool reconcile);
  // The sales API's error reply, then the result; the delivery journalled.
  void SendDecision(const TApproval& approval);

  // Payment journal steps of the running payment (dmsitef_payments.cpp).
  // Resolves unresolved payments of earlier functions; false when some stay.
  bool ResolveUnresolvedPayments(bool configure);
  void ConfigureFromJournal(const TJournalledPayment& p);
  void JournalBeginPayment(const std::string& type, const TSessionPtr& pSession);
  void JournalFunctionStart(const std::string& doc, const std::string& date,
                            const std::string& time);
  // Appends a step of the running payment; EPaymentJournal when it failed.
  void JournalStep(const std::string& step, const TJsonValue& fields);
  // The same for a step after its effect: a failure is only logged (the
  // payment stays unresolved and is finished again at the next start).
  void JournalStepAfter(const std::string& step, const TJsonValue& fields);
  // The not-realised result of the running payment, before it is sent;
  // false when the payment already had its ending (nothing written).
  bool JournalEnded(const TJsonValue& result);
  void JournalEndPayment();
  std::string CurrentPaymentId() const;

  // The library has returned its final result; answers whether a
  // cancellation had been flagged before it.
  bool MarkResultadoFinal();

  // Constant after construction.
  TDmSitefHost& FHost;
  const TDmSitefOptions FOptions;
  platform::TEnv& FEnv;  // clock, sleeps and files
  std::string fPathDLL;  // FOptions.PathDLL or <exe>/dll/
  std::string FTefLogFileName;

  // Guarded by its own lock.
  TSessionList FSessionList;

  // The claim on the component, its configuration and the sale data.
  std::atomic<int> FTEFClaim{TTEFClaim::usoNenhum};

  // Sale data, written under FTEFClaim (session start or transaction): of
  // the latest session start, or of the session the running transaction
  // names (FSaleSession says which session they belong to).
  int fVenda_Id = 0;
  int fEmpresa_Id = 0;
  std::string fCallbackURL;
  std::string FSaleSession;
  // Written under the configuration claim (session start).
  bool FTLSConnection = false;

  // The running transaction, written by its thread under the transaction
  // claim; one set for the whole service.
  tef::TCurrency fValorTransacao;
  int fOperacao = 0;
  int fQtdParcelas = 0;
  std::string fPayerName;
  std::string fNsuCancelamento;
  // Whether the last RegisterTransaction got no answer from the sales API
  // (request error): the API may hold the sale all the same.
  bool FRegistroSemResposta = false;
  // The error reply of a failed sales API request, sent after the decision.
  std::optional<std::string> FErroRegistro;
  // Dialogue state of the payment thread.
  std::string fUltimaMsg;
  std::string fLastContentReceived;
  std::atomic<bool> FAguardandoRespCanc{false};

  // Flags of the running transaction, written by its thread and read by
  // others ("/transaction/cancel", MessageHandled): atomics.
  std::atomic<bool> fProcessando{false};
  std::atomic<bool> fConcluido{false};
  std::atomic<bool> fPodeCancelar{false};
  // Set by the payment thread while it reads a message of the front end;
  // cleared by each routed message's thread once the message is handled.
  std::atomic<bool> FProcessandoMsg{false};
  // Set by "/transaction/cancel" and the dialogue, cleared by the payment.
  // Protected by FCancelLock where it meets FResultadoFinal: once the library
  // has returned the function's final result, a cancellation cannot change
  // it.
  std::mutex FCancelLock;
  std::atomic<bool> fCancelado{false};
  bool FResultadoFinal = false;  // protected by FCancelLock

  // The payment journal, opened on first use. Protected by FJournalLock (its
  // opening; the journal locks itself).
  std::mutex FJournalLock;
  std::unique_ptr<TPaymentJournal> FPaymentJournal;
  // The running payment: its journal id ("" when none), protected by
  // FPagamentoLock (the status query reads it); its started record until the
  // library starts the function, payment thread only.
  mutable std::mutex FPagamentoLock;
  std::string FPagamentoAtual;
  TJsonValue FPagamentoInicio;
  bool FPagamentoIniciado = false;

  // The component, set at construction and used under FTEFClaim. Declared
  // last, so destroyed first: its events reach the members above.
  std::unique_ptr<tef::TRuVirIdUza> FRuVirIdUza;
};

// A parsed client message, shared rather than copied: a large message (a
// document to print) is parsed once and read in place by every handler.
// Empty when the text was not a JSON object.
class TJsonMessage {
 public:
  TJsonMessage() = default;
  explicit TJsonMessage(std::shared_ptr<const TJsonValue> v) : FValue(std::move(v)) {}
  explicit operator bool() const { return FValue != nullptr; }
  const TJsonValue& operator*() const { return *FValue; }
  const TJsonValue* operator->() const { return FValue.get(); }
  // A copy, for callers that keep their own optional value.
  operator std::optional<TJsonValue>() const {
    return FValue ? std::optional<TJsonValue>(*FValue) : std::nullopt;
  }

 private:
  std::shared_ptr<const TJsonValue> FValue;
};

// Parses pContent and returns it when it is a JSON object; empty otherwise.
// While RouteTargeting routes a message, the handlers it calls get the
// router's own parse of that same text (the same string object) instead of
// parsing it again.
TJsonMessage ParseJsonObject(const std::string& pContent);

}  // namespace core
