// The result of an approved function: entries with receipts, registration
// with the sales API, confirmation or undo in the library, and the message
// to the front end.
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "core/jwt.h"
#include "core/paymentjournal.h"
#include "core/rest/curltransport.h"
#include "core/rest/salesapicallback.h"
#include "core/transactionresult.h"
#include "platform/regional.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"
#include "tef/ruviriduza_resp.h"
#include "tef/ruviriduza_respostaspendentes.h"

namespace core {

TJsonValue TDmSitef::BuildTransactionEntry(const tef::TRuVirIdUzaResp& R) {
  TEntrySale sale;
  sale.SaleId = fVenda_Id;
  sale.PayerName = fPayerName;
  sale.Cancellation = RuVirIdUza().TEFCliSiTef().CancelandoTransacaoTEF();
  sale.CanceledNsu = fNsuCancelamento;
  return TransactionEntry(R, sale);
}

void TDmSitef::RuVirIdUzaDepoisConfirmarTransacoes(
    tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes) {
  const std::string documento = RuVirIdUza().Resp().DocumentoVinculado();
  FErroRegistro.reset();
  // The library has returned its final result: a cancellation arriving from
  // now on is refused, so a confirmed payment is never reported cancelled.
  if (MarkResultadoFinal()) {
    UndoCancelledApproval(RespostasPendentes, documento);
    return;
  }
  TApproval approval;
  try {
    CollectApproval(RespostasPendentes, approval);
    DecideApproval(approval, documento);
  } catch (...) {
    // Whatever failed before the decision, the library must not be left
    // holding an approved transaction.
    if (!approval.Confirmed) {
      RuVirIdUza().ConfirmarTransacao(false, documento);
      // The sales API may have taken it before the failure.
      if (approval.Journalled) JournalDecision(false, true);
    }
    RespostasPendentes.Clear();
    throw;
  }
  SendDecision(approval);
}

void TDmSitef::JournalDecision(bool confirma, bool reconcile) {
  // The journal records a decision only when the library acknowledged it;
  // otherwise the payment stays unresolved and is finished again later.
  if (RuVirIdUza().TEFCliSiTef().ResultadoFinalizacao() != 0) {
    Log("Diário de pagamentos: a biblioteca TEF não confirmou a finalização.");
    return;
  }
  TJsonValue f = TJsonValue::MakeObject();
  if (!confirma) f.AddBoolean("reconcile", reconcile);
  JournalStepAfter(confirma ? journalstep::kConfirmed : journalstep::kUndone, f);
}

void TDmSitef::UndoCancelledApproval(tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes,
                                     const std::string& documento) {
  // The library approved and waits for a decision: undo it now rather
  // than leave it pending, and keep its copy out of the next result.
  RuVirIdUza().ConfirmarTransacao(false, documento);
  JournalDecision(false, false);
  RespostasPendentes.Clear();
  SendClientMessage(frontend::ResultNotRealised("unauthorized").Serialize());
}

void TDmSitef::CollectApproval(tef::TRuVirIdUzaRespostasPendentes& RespostasPendentes,
                               TApproval& approval) {
  std::string nsu, autorizacao;
  if (RespostasPendentes.Count() > 0) {
    nsu = RespostasPendentes[0].NSUComprovante();
    autorizacao = RespostasPendentes[0].CodigoAutorizacaoTransacao();
  }
  TJsonValue entries = TJsonValue::MakeArray();
  while (RespostasPendentes.Count() > 0) {
    entries.Push(BuildTransactionEntry(RespostasPendentes[0]));
    RespostasPendentes.Delete(0);
  }
  approval.Any = !entries.Items().empty();
  fConcluido.store(true);
  approval.Result = frontend::ResultApproved(std::move(entries));
  if (approval.Any) {
    TJsonValue f = TJsonValue::MakeObject();
    f.AddString("nsu", nsu).AddString("authorization", autorizacao).Add("result", approval.Result);
    JournalStep(journalstep::kApproved, f);
    approval.Journalled = true;
  }
}

void TDmSitef::DecideApproval(TApproval& approval, const std::string& documento) {
  if (approval.Any && RegisterTransaction(approval.Result)) {
    TJsonValue f = TJsonValue::MakeObject();
    if (const TJsonValue* data = approval.Result.Find("transaction_data");
        data && !data->Items().empty()) {
      f.AddString("payment_id", MemberText(data->Items()[0], "payment_id").value_or("0"));
    }
    JournalStep(journalstep::kRegistered, f);
    approval.Confirmed = RuVirIdUza().ConfirmarTransacao(true, documento);
    JournalDecision(true, false);
    return;
  }
  if (approval.Any) {
    TJsonValue f = TJsonValue::MakeObject();
    f.AddBoolean("answered", !FRegistroSemResposta);
    JournalStep(journalstep::kRefused, f);
  }
  RuVirIdUza().ConfirmarTransacao(false, documento);
  JournalDecision(false, approval.Any && FRegistroSemResposta);
}

void TDmSitef::SendDecision(const TApproval& approval) {
  // The decision is taken: only now may the front end be written to.
  if (FErroRegistro) {
    const std::string reply = BuildErrorReply(*FErroRegistro);
    FErroRegistro.reset();
    try {
      SendClientMessage(reply);
    } catch (const endpoint::EConnectionClosed&) {
      // The front end left; the result below goes nowhere either.
    }
  }
  fNsuCancelamento.clear();
  if (approval.Confirmed) {
    SendClientMessage(approval.Result.Serialize());
  } else {
    // Not confirmed: status and message move behind the entries.
    SendClientMessage(
        frontend::ResultNotConfirmed(approval.Result.Find("transaction_data")).Serialize());
  }
  JournalStepAfter(journalstep::kDelivered, TJsonValue());
}

bool TDmSitef::RegisterTransaction(TJsonValue& Result) {
  rest::EnsureTrailingSlash(fCallbackURL);
  const std::string token = GenerateJWT(kJWTSharedKey);
  rest::TCurlTransport curl;
  rest::IHttpTransport& transport = FOptions.HttpTransport ? *FOptions.HttpTransport : curl;
  rest::TRegisterOutcome outcome =
      rest::PostTransactionResult(Result, fCallbackURL, fEmpresa_Id, token, transport);
  FRegistroSemResposta = outcome.ErrorReply.has_value();
  for (const std::string& line : outcome.LogEntries) Log(line);
  // Answered after the library has been told to confirm or undo, so that no
  // write to the front end can hold an approval open.
  FErroRegistro = outcome.ErrorReply;
  return outcome.Registered;
}

void TDmSitef::RuVirIdUzaDepoisCancelarTransacoes(tef::TRuVirIdUzaRespostasPendentes&) {}

void TDmSitef::RuVirIdUzaComandaECFImprimeVia(tef::TRuVirIdUzaTipoRelatorio /*TipoRelatorio*/,
                                              int Via, const tef::TStringList& ImagemComprovante,
                                              int& RetornoECF) {
  try {
    SendClientMessage(frontend::Receipt(Via, ImagemComprovante).Serialize());
  } catch (...) {
    // The copy counts as printed whatever happened to the message.
  }
  RetornoECF = 1;
}

}  // namespace core
