#include "core/frontendmessages.h"

namespace core::frontend {
namespace {

TJsonValue Strings(const std::vector<std::string>& items) {
  TJsonValue a = TJsonValue::MakeArray();
  for (const std::string& s : items) a.Push(TJsonValue::MakeString(s));
  return a;
}

TJsonValue Prompt(const char* type, const std::string& message,
                  const std::vector<std::string>& options) {
  TJsonValue m = TJsonValue::MakeObject();
  m.AddString("type", type)
      .AddString("message", message)
      .Add("options", Strings(options))
      .AddBoolean("can_cancel", false);
  return m;
}

TJsonValue Typed(const char* type) {
  TJsonValue m = TJsonValue::MakeObject();
  m.AddString("type", type);
  return m;
}

}  // namespace

TJsonValue ErrorReply(const std::string& text) {
  TJsonValue m = Typed("error");
  m.AddString("message", text);
  return m;
}

TJsonValue SessionCreated(const std::string& expiration, const std::string& sessionUuid,
                          const std::string& storeCode, const std::string& terminalNumber) {
  TJsonValue m = Typed("session");
  m.AddString("status", "created")
      .AddString("message", "Sessão criada com sucesso.")
      .AddString("expiration", expiration)
      .AddString("session_uuid", sessionUuid)
      .AddString("store_code", storeCode)
      .AddString("terminal_number", terminalNumber);
  return m;
}

TJsonValue SessionFinished() {
  TJsonValue m = Typed("session");
  m.AddString("status", "finished").AddString("message", "Sessão finalizada com sucesso.");
  return m;
}

TJsonValue Initialized() {
  TJsonValue m = Typed("initialize");
  m.AddString("message", "Inicializado com sucesso.");
  return m;
}

TJsonValue PinpadStatus(const std::string& status, const std::string& message) {
  TJsonValue m = Typed("status");
  m.AddString("status", status).AddString("message", message);
  return m;
}

TJsonValue VersionReply(const std::string& category, const std::string& version, bool updating,
                        const std::string& pdvNumber) {
  TJsonValue m = Typed("version");
  m.AddString("category", category)
      .AddString("version", version)
      .AddBoolean("updating", updating)
      .AddString("pdv_number", pdvNumber);
  return m;
}

TJsonValue TransactionStatus(const std::string& status) {
  TJsonValue m = Typed("status");
  m.AddString("status", status);
  return m;
}

TJsonValue TransactionStatus(TJsonValue result, bool pendingReconciliation) {
  result.AddBoolean("pending_reconciliation", pendingReconciliation);
  return result;
}

TJsonValue Notice(const std::string& text) { return Prompt("message", text, {}); }

TJsonValue CanCancel(bool value) {
  TJsonValue m = Typed("can_cancel");
  m.AddBoolean("can_cancel", value);
  return m;
}

TJsonValue QRCode(const std::string& qrcode) {
  TJsonValue m = Typed("qrcode");
  m.AddString("data", qrcode);
  return m;
}

TJsonValue Question(const std::string& message, const std::vector<std::string>& options) {
  return Prompt("question", message, options);
}

TJsonValue Confirmation(const std::string& message, const std::vector<std::string>& options) {
  return Prompt("confirmation", message, options);
}

TJsonValue Menu(const std::string& title, const std::vector<std::string>& options) {
  TJsonValue m = Typed("menu");
  m.AddString("title", title)
      .Add("options", Strings(options))
      .AddBoolean("can_cancel", false)
      .AddBoolean("back_menu", false);
  return m;
}

TJsonValue Collect(const TCollectPrompt& p) {
  TJsonValue m = Typed("collect");
  m.AddString("title", p.Title)
      .AddInteger("minimum_size", p.MinimumSize)
      .AddInteger("maximum_size", p.MaximumSize)
      .AddInteger("field_type", p.FieldType)
      .AddString("field_operation", p.FieldOperation)
      .AddBoolean("can_cancel", false)
      .AddBoolean("back_menu", p.BackMenu)
      .AddBoolean("typed", p.Typed);
  return m;
}

TJsonValue Receipt(int copyNumber, const std::vector<std::string>& lines) {
  TJsonValue m = Typed("receipt");
  m.AddInteger("copy_number", copyNumber).Add("data", Strings(lines));
  return m;
}

TJsonValue ResultApproved(TJsonValue entries) {
  TJsonValue m = Typed("result");
  m.AddString("status", "approved")
      .AddString("message", kMsgConcluida)
      .Add("transaction_data", std::move(entries));
  return m;
}

TJsonValue ResultNotRealised(const std::string& status) {
  TJsonValue m = Typed("result");
  m.AddString("status", status).AddString("message", kMsgNaoRealizada);
  return m;
}

TJsonValue ResultNotConfirmed(const TJsonValue* transactionData) {
  TJsonValue m = Typed("result");
  if (transactionData != nullptr) m.Add("transaction_data", *transactionData);
  m.AddString("status", "canceled").AddString("message", kMsgNaoConfirmada);
  return m;
}

}  // namespace core::frontend
