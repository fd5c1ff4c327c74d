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
  tef::TRuVirIdUzaCliSiTef& gerenciador = RuVirIdUza().TEFCliSiTef();
  // The journal records a decision only when the library acknowledged it;
  // otherwise the payment stays unresolved and is finished again later.
  const auto journal_decision = [&](bool confirma, bool reconcile) {
    if (gerenciador.ResultadoFinalizacao() != 0) {
      Log("Diário de pagamentos: a biblioteca TEF não confirmou a finalização.");
      return;
    }
    TJsonValue f = TJsonValue::MakeObject();
    if (!confirma) f.AddBoolean("reconcile", reconcile);
    JournalStepAfter(confirma ? journalstep::kConfirmed : journalstep::kUndone, f);
  };
  fErroRegistro.reset();
  // The library has returned its final result: a cancellation arriving from
  // now on is refused, so a confirmed payment is never reported cancelled.
  if (MarkResultadoFinal()) {
    // The library approved and waits for a decision: undo it now rather
    // than leave it pending, and keep its copy out of the next result.
    RuVirIdUza().ConfirmarTransacao(false, documento);
    journal_decision(false, false);
    RespostasPendentes.Clear();
    SendClientMessage(frontend::ResultNotRealised("unauthorized").Serialize());
    return;
  }
  bool confirmed = false;
  bool journalled = false;  // the approval is in the journal
  TJsonValue approved;
  try {
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
    const bool any = !entries.Items().empty();
    fConcluido.store(true);
    approved = frontend::ResultApproved(std::move(entries));
    if (any) {
      TJsonValue f = TJsonValue::MakeObject();
      f.AddString("nsu", nsu).AddString("authorization", autorizacao).Add("result", approved);
      JournalStep(journalstep::kApproved, f);
      journalled = true;
    }
    if (any && RegisterTransaction(approved)) {
      TJsonValue f = TJsonValue::MakeObject();
      if (const TJsonValue* data = approved.Find("transaction_data");
          data && !data->Items().empty()) {
        f.AddString("payment_id", MemberText(data->Items()[0], "payment_id").value_or("0"));
      }
      JournalStep(journalstep::kRegistered, f);
      confirmed = RuVirIdUza().ConfirmarTransacao(true, documento);
      journal_decision(true, false);
    } else {
      if (any) {
        TJsonValue f = TJsonValue::MakeObject();
        f.AddBoolean("answered", !fRegistroSemResposta);
        JournalStep(journalstep::kRefused, f);
      }
      RuVirIdUza().ConfirmarTransacao(false, documento);
      journal_decision(false, any && fRegistroSemResposta);
    }
  } catch (...) {
    // Whatever failed before the decision, the library must not be left
    // holding an approved transaction.
    if (!confirmed) {
      RuVirIdUza().ConfirmarTransacao(false, documento);
      // The sales API may have taken it before the failure.
      if (journalled) journal_decision(false, true);
    }
    RespostasPendentes.Clear();
    throw;
  }
  // The decision is taken: only now may the front end be written to.
  if (fErroRegistro) {
    const std::string reply = BuildErrorReply(*fErroRegistro);
    fErroRegistro.reset();
    try {
      SendClientMessage(reply);
    } catch (const endpoint::EConnectionClosed&) {
      // The front end left; the result below goes nowhere either.
    }
  }
  fNsuCancelamento.clear();
  if (confirmed) {
    SendClientMessage(approved.Serialize());
    JournalStepAfter(journalstep::kDelivered, TJsonValue());
    return;
  }
  // Not confirmed: status and message move behind the entries.
  SendClientMessage(frontend::ResultNotConfirmed(approved.Find("transaction_data")).Serialize());
  JournalStepAfter(journalstep::kDelivered, TJsonValue());
}

bool TDmSitef::RegisterTransaction(TJsonValue& Result) {
  rest::EnsureTrailingSlash(fCallbackURL);
  const std::string token = GenerateJWT(kJWTSharedKey);
  rest::TCurlTransport curl;
  rest::IHttpTransport& transport = FOptions.HttpTransport ? *FOptions.HttpTransport : curl;
  rest::TRegisterOutcome outcome =
      rest::PostTransactionResult(Result, fCallbackURL, fEmpresa_Id, token, transport);
  fRegistroSemResposta = outcome.ErrorReply.has_value();
  for (const std::string& line : outcome.LogEntries) Log(line);
  // Answered after the library has been told to confirm or undo, so that no
  // write to the front end can hold an approval open.
  fErroRegistro = outcome.ErrorReply;
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
