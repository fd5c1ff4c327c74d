// The payment journal on the payment road: the records of the running
// payment, the resolution of payments left unresolved (at start and before
// the next transaction) and "/transaction/status".
#include <cstdio>

#include "core/conversions.h"
#include "core/dmsitef.h"
#include "core/frontendmessages.h"
#include "core/paymentjournal.h"
#include "core/rest/salesapicallback.h"
#include "platform/appendfile.h"
#include "platform/guid.h"
#include "platform/paths.h"
#include "tef/ruviriduza.h"
#include "tef/ruviriduza_clisitef.h"

namespace core {
namespace {

constexpr uint64_t kJournalCompactAt = 256 * 1024;

std::string Amount(tef::TCurrency v) {
  const int64_t units = v.Units();
  const uint64_t mag = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", units < 0 ? "-" : "",
                static_cast<unsigned long long>(mag / 10000),
                static_cast<unsigned long long>(mag % 10000));
  return buf;
}

// Whether the library will end up confirming the payment.
bool ConfirmedOrBound(const TJournalledPayment& p) {
  return p.Has(journalstep::kConfirmed) ||
         (p.Has(journalstep::kRegistered) && !p.Has(journalstep::kUndone));
}

// The sales API may hold a payment that the library did not confirm: it was
// approved and the API's answer was not a refusal (none came, or it was an
// acceptance that could not be followed through).
bool PendingReconciliation(const TJournalledPayment& p) {
  if (!p.Has(journalstep::kApproved) || ConfirmedOrBound(p)) return false;
  return !(p.Has(journalstep::kRefused) && p.Text(journalstep::kRefused, "answered") == "true");
}

}  // namespace

std::string TDmSitef::CurrentPaymentId() const {
  std::lock_guard<std::mutex> lock(FPagamentoLock);
  return FPagamentoAtual;
}

TPaymentJournal& TDmSitef::PaymentJournal() {
  std::lock_guard<std::mutex> lock(FJournalLock);
  if (!FPaymentJournal) {
    const std::string folder =
        FOptions.PathJournal.empty() ? platform::ExeDir() + "Journal/" : FOptions.PathJournal;
    platform::ForceDirectories(folder);
    FPaymentJournal = std::make_unique<TPaymentJournal>(
        platform::OpenAppendFile(folder + "payments.journal"), kJournalCompactAt, 20);
    std::vector<std::string> notes;
    FPaymentJournal->Load(notes);
    for (const std::string& n : notes) Log(n);
  }
  return *FPaymentJournal;
}

// ---------------------------------------------------------------- the running payment

void TDmSitef::JournalBeginPayment(const std::string& type, const TSessionPtr& pSession) {
  const tef::TRuVirIdUza& c = RuVirIdUza();
  tef::TRuVirIdUzaCliSiTef& m = RuVirIdUza().TEFCliSiTef();
  TJsonValue params = TJsonValue::MakeArray();
  for (const std::string& l : m.ParametrosAdicionais()) params.Push(TJsonValue::MakeString(l));
  TJsonValue tefcfg = TJsonValue::MakeObject();
  tefcfg.AddString("address", m.EnderecoIP())
      .AddString("store", m.CodigoLoja())
      .AddString("terminal", m.NumeroTerminal())
      .Add("parameters", std::move(params))
      .AddString("store_cnpj", c.CNPJLoja())
      .AddString("tef_cnpj", c.CNPJZoVure())
      .AddString("operator", m.Operador());
  TJsonValue f = TJsonValue::MakeObject();
  f.AddString("session", pSession ? pSession->Session_UUID() : std::string())
      .AddInteger("sale_id", fVenda_Id)
      .AddInteger("company_id", fEmpresa_Id)
      .AddString("type", type)
      .AddInteger("operation", fOperacao)
      .AddNumber("amount", Amount(fValorTransacao))
      .AddInteger("installments", fQtdParcelas)
      .Add("tef", std::move(tefcfg));
  std::string id;
  try {
    const std::string g = platform::NewGuidString();
    id = g.substr(1, g.size() - 2);
  } catch (...) {
    id = std::to_string(PaymentJournal().Count() + 1) + "-" + std::to_string(fVenda_Id);
  }
  FPagamentoInicio = std::move(f);
  FPagamentoIniciado = false;
  std::lock_guard<std::mutex> lock(FPagamentoLock);
  FPagamentoAtual = id;
}

void TDmSitef::JournalFunctionStart(const std::string& doc, const std::string& date,
                                    const std::string& time) {
  const std::string id = CurrentPaymentId();
  if (id.empty() || FPagamentoIniciado) return;
  TJsonValue f = FPagamentoInicio;
  f.AddString("document", doc).AddString("date", date).AddString("time", time);
  PaymentJournal().Append(id, journalstep::kStarted, f);
  FPagamentoIniciado = true;
}

void TDmSitef::JournalStep(const std::string& step, const TJsonValue& fields) {
  const std::string id = CurrentPaymentId();
  if (id.empty() || !FPagamentoIniciado) return;
  // Nothing outside waits on a delivery: it is not flushed on its own, so
  // the payment's end (and the library's release) is not held up by the disk.
  PaymentJournal().Append(id, step, fields, step != journalstep::kDelivered);
}

void TDmSitef::JournalStepAfter(const std::string& step, const TJsonValue& fields) {
  try {
    JournalStep(step, fields);
  } catch (const std::exception& e) {
    Log(std::string("Diário de pagamentos (") + step + "): " + e.what());
  }
}

bool TDmSitef::JournalEnded(const TJsonValue& result) {
  const std::string id = CurrentPaymentId();
  if (id.empty() || !FPagamentoIniciado) return false;
  std::optional<TJournalledPayment> p = PaymentJournal().Find(id);
  // An approval already has its own ending (confirmed, undone, or left to
  // be finished again).
  if (!p || p->Resolved() || p->Has(journalstep::kApproved)) return false;
  TJsonValue f = TJsonValue::MakeObject();
  f.Add("result", result);
  JournalStepAfter(journalstep::kEnded, f);
  return true;
}

void TDmSitef::JournalEndPayment() {
  std::lock_guard<std::mutex> lock(FPagamentoLock);
  FPagamentoAtual.clear();
  FPagamentoIniciado = false;
  FPagamentoInicio = TJsonValue();
}

// ---------------------------------------------------------------- resolution

void TDmSitef::ConfigureFromJournal(const TJournalledPayment& p) {
  const TJsonValue* started = p.Step(journalstep::kStarted);
  const TJsonValue* cfg = started ? started->Find("tef") : nullptr;
  if (cfg == nullptr) throw EDmSitefErro("Configuração do TEF ausente no diário.");
  auto text = [cfg](const char* name) { return MemberText(*cfg, name).value_or(std::string()); };
  tef::TRuVirIdUza& c = RuVirIdUza();
  tef::TRuVirIdUzaCliSiTef& m = c.TEFCliSiTef();
  tef::TStringList params;
  if (const TJsonValue* ps = cfg->Find("parameters")) {
    for (const TJsonValue& l : ps->Items()) params.emplace_back(l.Text());
  }
  const bool same = m.EnderecoIP() == text("address") && m.CodigoLoja() == text("store") &&
                    m.NumeroTerminal() == text("terminal") && m.ParametrosAdicionais() == params &&
                    c.CNPJLoja() == text("store_cnpj") && c.CNPJZoVure() == text("tef_cnpj");
  if (same && m.Inicializado()) return;
  c.SetModoServico(true);
  m.SetModoServico(true);
  m.SetPathDLL(fPathDLL);
  c.SetCNPJLoja(text("store_cnpj"));
  c.SetCNPJZoVure(text("tef_cnpj"));
  m.SetEnderecoIP(text("address"));
  m.SetCodigoLoja(text("store"));
  m.SetNumeroTerminal(text("terminal"));
  m.SetParametrosAdicionais(params);
  m.SetOperador(text("operator"));
  Log("Inicializando CliSiTef para a recuperação de pagamentos...");
  if (c.Inicializado(tef::gpCliSiTef)) {
    c.DesInicializar(tef::gpNenhum);
    m.DesInicializar();
  }
  c.Inicializar(tef::gpCliSiTef);
  if (!m.Inicializado()) m.Inicializar();
}

bool TDmSitef::ResolveUnresolvedPayments(bool configure) {
  TPaymentJournal& journal = PaymentJournal();
  const std::string running = CurrentPaymentId();
  bool all = true;
  for (const TJournalledPayment& p : journal.Unresolved()) {
    if (p.Id == running) continue;
    const bool confirm = ConfirmedOrBound(p);
    const bool reconcile = !confirm && PendingReconciliation(p);
    const std::string what = "Pagamento " + p.Id + " (venda " +
                             p.Text(journalstep::kStarted, "sale_id") + ", NSU " +
                             p.Text(journalstep::kApproved, "nsu") + ")";
    try {
      if (configure) ConfigureFromJournal(p);
      tef::TRuVirIdUzaCliSiTef& m = RuVirIdUza().TEFCliSiTef();
      const int rc = m.FinalizarFuncao(confirm, p.Text(journalstep::kStarted, "document"),
                                       p.Text(journalstep::kStarted, "date"),
                                       p.Text(journalstep::kStarted, "time"));
      if (rc != 0) throw EDmSitefErro("a biblioteca TEF respondeu " + std::to_string(rc));
      TJsonValue f = TJsonValue::MakeObject();
      f.AddBoolean("recovered", true).AddBoolean("reconcile", reconcile);
      journal.Append(p.Id, confirm ? journalstep::kConfirmed : journalstep::kUndone, f);
      Log(what + (confirm ? " confirmado" : " desfeito") + " na recuperação." +
          (reconcile ? " Pendente de conciliação com a API de vendas." : ""));
    } catch (const std::exception& e) {
      all = false;
      Log(what + " não resolvido: " + e.what());
    }
  }
  return all;
}

void TDmSitef::RecoverPayments() {
  try {
    const size_t n = PaymentJournal().Unresolved().size();
    if (n == 0) return;
    Log("Recuperação: " + std::to_string(n) + " pagamento(s) não resolvido(s) no diário.");
    ResolveUnresolvedPayments(true);
  } catch (const std::exception& e) {
    Log(std::string("Recuperação de pagamentos: ") + e.what());
  }
}

// ---------------------------------------------------------------- status

TJsonValue TDmSitef::PaymentResult(const TJournalledPayment& p) const {
  TJsonValue result;
  const TJsonValue* approved = p.Step(journalstep::kApproved);
  const TJsonValue* registered = approved ? approved->Find("result") : nullptr;
  if (registered != nullptr && registered->IsObject()) {
    TJsonValue r = *registered;
    const TJsonValue* answer = p.Step(journalstep::kRegistered);
    const bool bound = ConfirmedOrBound(p);
    long long payment_id = 0;
    if (bound && answer != nullptr) {
      try {
        payment_id = std::stoll(MemberText(*answer, "payment_id").value_or("0"));
      } catch (...) {
        payment_id = 0;
      }
    }
    rest::SetTransactionDataValue(r, "payment_id", TJsonValue::MakeInteger(payment_id));
    rest::SetTransactionDataValue(
        r, "company_id",
        TJsonValue::MakeInteger(std::stoll(p.Text(journalstep::kStarted, "company_id").empty()
                                               ? "0"
                                               : p.Text(journalstep::kStarted, "company_id"))));
    if (bound) {
      result = std::move(r);
    } else {
      result = frontend::ResultNotConfirmed(r.Find("transaction_data"));
    }
  } else if (const TJsonValue* ended = p.Step(journalstep::kEnded);
             ended != nullptr && ended->Find("result") != nullptr &&
             ended->Find("result")->IsObject()) {
    result = *ended->Find("result");
  } else {
    result = frontend::ResultNotRealised("unauthorized");
  }
  return frontend::TransactionStatus(std::move(result), PendingReconciliation(p));
}

void TDmSitef::TransactionStatus(const std::string& pContent, const TSessionPtr& pSession) {
  long long sale = pSession ? pSession->Sale().Venda_Id : fVenda_Id;
  const long long company = pSession ? pSession->Sale().Empresa_Id : fEmpresa_Id;
  try {
    std::optional<TJsonValue> message = ParseJsonObject(pContent);
    if (!message) throw EDmSitefErro("Os dados recebidos são inválidos.");
    if (GetJSONField(*message, "type") != "status") {
      SendClientMessage(BuildErrorReply("Campo type diferente de status."));
      return;
    }
    if (std::optional<std::string> s = MemberText(*message, "sale_id")) sale = StrToInt(*s);
  } catch (const endpoint::EConnectionClosed&) {
    throw;
  } catch (const std::exception& e) {
    SendClientMessage(BuildErrorReply(e.what()));
    return;
  }
  TJsonValue reply;
  std::optional<TJournalledPayment> p = PaymentJournal().LastOfSale(sale, company);
  if (!p) {
    reply = frontend::TransactionStatus("unknown");
  } else if (p->Id == CurrentPaymentId() && !p->Resolved()) {
    reply = frontend::TransactionStatus("processing");
  } else {
    reply = PaymentResult(*p);
  }
  SendClientMessage(reply.Serialize());
}

}  // namespace core
