// "/transaction" and "/transaction/cancel".
#include <cstdio>

#include "core/conversions.h"
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "core/paymentjournal.h"
#include "core/transactionrequest.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace core {
namespace {

constexpr char kMsgPagamentoPendente[] =
    "Há um pagamento anterior ainda não resolvido no TEF; tente novamente.";

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

// On every way out of a transaction: the busy flag is cleared and the claim
// released before the paying front end is, so that the front end's next
// request, handled once the payment has ended, finds the library free.
class TPaymentScope {
 public:
  TPaymentScope(TDmSitefHost& host, std::atomic<bool>& busy, TTEFClaim& claim)
      : FHost(host), FBusy(busy), FClaim(claim) {
    FBusy.store(true);
    FHost.BeginPayment();
  }
  ~TPaymentScope() {
    FBusy.store(false);
    FClaim.Release();
    FHost.EndPayment();
  }
  TPaymentScope(const TPaymentScope&) = delete;
  TPaymentScope& operator=(const TPaymentScope&) = delete;

 private:
  TDmSitefHost& FHost;
  std::atomic<bool>& FBusy;
  TTEFClaim& FClaim;
};

// Forgets the running payment on every way out of the transaction.
template <typename F>
class TOnExit {
 public:
  explicit TOnExit(F f) : FAction(std::move(f)) {}
  ~TOnExit() { FAction(); }

 private:
  F FAction;
};

}  // namespace

bool TDmSitef::IsPromptAnswer(const std::string& text) {
  const TJsonMessage message = ParseJsonObject(text);
  if (!message) return false;
  const std::optional<std::string> route = MemberText(*message, "route");
  const std::optional<std::string> type = MemberText(*message, "type");
  return route && type && *route == "/transaction" && *type != "transaction" &&
         *type != "cancellation" && *type != "reprint";
}

bool TDmSitef::MarkResultadoFinal() {
  std::lock_guard<std::mutex> lock(FCancelLock);
  FResultadoFinal = true;
  return fCancelado.load();
}

void TDmSitef::StartTransaction(const std::string& pContent, const TSessionPtr& pSession) {
  const std::optional<TTransactionRequest> request = ReadTransaction(pContent);
  if (!request) return;
  TTEFClaim claim(FTEFClaim, TTEFClaim::usoTransacao);
  if (!claim.Owns()) {
    // Another transaction is running: drop this one without touching its
    // state. A session start or an initialisation under way is said so.
    if (claim.Holder() != TTEFClaim::usoTransacao) {
      SendClientMessage(BuildErrorReply(kMsgTEFEmAndamento));
    }
    return;
  }
  TPaymentScope payment(FHost, fProcessando, claim);
  TakeTransactionData(*request, pSession);
  auto end_payment = [this] { JournalEndPayment(); };
  TOnExit<decltype(end_payment)> payment_scope(end_payment);
  try {
    RunTransaction(*request, pSession);
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
  }
}

std::optional<TTransactionRequest> TDmSitef::ReadTransaction(const std::string& pContent) {
  try {
    const TJsonMessage message = ParseJsonObject(pContent);
    if (!message) throw EDmSitefErro("Os dados recebidos são inválidos.");
    // Empty for a confirmation: an answer nobody waits for any more.
    return ReadTransactionRequest(*message);
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return std::nullopt;
  }
}

void TDmSitef::TakeTransactionData(const TTransactionRequest& request,
                                   const TSessionPtr& pSession) {
  // The payment belongs to the sale of the session it names, even when
  // another session was started since.
  if (pSession && pSession->Session_UUID() != FSaleSession) {
    fVenda_Id = pSession->Sale().Venda_Id;
    fEmpresa_Id = pSession->Sale().Empresa_Id;
    fCallbackURL = pSession->Sale().CallbackURL;
    FSaleSession = pSession->Session_UUID();
  }
  fNsuCancelamento = request.CancellationNsu;
  fOperacao = request.Operation;
  if (request.Type == "transaction") fPayerName = request.PayerName;
  if (request.Type != "reprint") {
    if (request.SaleId) fVenda_Id = *request.SaleId;
    fValorTransacao = request.Value;
    fQtdParcelas = request.Installments;
  }
}

void TDmSitef::RunTransaction(const TTransactionRequest& request, const TSessionPtr& pSession) {
  tef::TRuVirIdUza& c = RuVirIdUza();
  if (!c.Inicializado(tef::gpCliSiTef)) c.Inicializar(tef::gpCliSiTef);
  if (!c.Inicializado(tef::gpCliSiTef)) {
    SendClientMessage(BuildErrorReply("SiTef não inicializado."));
    return;
  }
  // A payment of an earlier function that the library has not finished
  // is finished first: a new function would make the library undo it.
  if (request.Type != "reprint") {
    if (!ResolveUnresolvedPayments(false)) {
      SendClientMessage(BuildErrorReply(kMsgPagamentoPendente));
      return;
    }
    JournalBeginPayment(request.Type, pSession);
  }
  ResetFunctionState();
  CallFunction(request);
  EndUnlessConcluded();
}

void TDmSitef::ResetFunctionState() {
  fConcluido.store(false);
  fPodeCancelar.store(false);
  std::lock_guard<std::mutex> lock(FCancelLock);
  fCancelado.store(false);
  FResultadoFinal = false;
}

void TDmSitef::CallFunction(const TTransactionRequest& request) {
  tef::TRuVirIdUza& c = RuVirIdUza();
  tef::TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
  m.SetOperacaoCRT(fOperacao);
  m.SetCancelandoTransacaoTEF(false);
  // A copy left by an earlier function must not become part of this result.
  c.RespostasPendentes().Clear();
  if (request.Type == "reprint") {
    c.CRT(1.0, std::to_string(fOperacao), "0", 0, "", "", "", "0");
    return;
  }
  if (request.Type == "cancellation") {
    m.SetCancelandoTransacaoNSU(fNsuCancelamento);
    m.SetCancelandoTransacaoDATA(request.CancellationDate);
    m.SetCancelandoTransacaoVALOR(fValorTransacao);
    m.SetCancelandoTransacaoTEF(true);
  } else {
    c.RespostasPendentes().Clear();
    c.RespostasPendentes().SetValorDinheiro(fValorTransacao);
    c.RespostasPendentes().SetValorTotalAPagar(fValorTransacao);
    m.SetCancelandoTransacaoTEF(false);
  }
  c.CRT(fValorTransacao, "02", std::to_string(fVenda_Id), 0, "", "", "", TwoDigits(fQtdParcelas));
}

void TDmSitef::EndUnlessConcluded() {
  // A cancellation that arrives from here on changes nothing.
  const bool cancelado = MarkResultadoFinal();
  if (!cancelado && fConcluido.load()) return;
  tef::TRuVirIdUza& c = RuVirIdUza();
  if (c.Inicializado(tef::gpCliSiTef)) c.CancelarTransacoesPendentes();
  const TJsonValue result = frontend::ResultNotRealised(cancelado ? "canceled" : "unauthorized");
  const bool ending = JournalEnded(result);
  SendClientMessage(result.Serialize());
  if (ending) JournalStepAfter(journalstep::kDelivered, TJsonValue());
}

void TDmSitef::CancelTransactionInProgress(const std::string& pContent) {
  const TJsonMessage message = ParseJsonObject(pContent);
  if (!message) return;
  if (GetJSONField(*message, "type") != "cancellation") return;
  Log("Entrou no cancelamento.");
  bool set = false;
  {
    // Once the library has returned its final result, nothing is cancelled.
    std::lock_guard<std::mutex> lock(FCancelLock);
    if (fPodeCancelar.load() && !FResultadoFinal) {
      fCancelado.store(true);
      set = true;
    }
  }
  Log(set ? "Setou no cancelamento = true" : "Não pode cancelar");
}

}  // namespace core
