// The catalogue of messages the service writes to the front end: each one
// is built here, members in the order the front end's protocol gives them,
// as a JSON object the caller serialises (and, for a result, may still
// extend or journal before it is sent). Pure functions: any thread.
#pragma once

#include <string>
#include <vector>

#include "core/json.h"

namespace core::frontend {

inline constexpr char kMsgNaoRealizada[] = "Transação TEF não realizada.";
inline constexpr char kMsgConcluida[] = "Transação TEF concluída com sucesso.";
inline constexpr char kMsgNaoConfirmada[] =
    "Ocorreu um erro durante o processo, a transação TEF não será confirmada.";

// --- replies to requests
// {"type":"error","message":text}
TJsonValue ErrorReply(const std::string& text);
// {"type":"session","status":"created","message",...}: the new session.
TJsonValue SessionCreated(const std::string& expiration, const std::string& sessionUuid,
                          const std::string& storeCode, const std::string& terminalNumber);
// {"type":"session","status":"finished","message"}
TJsonValue SessionFinished();
// {"type":"initialize","message"}
TJsonValue Initialized();
// "/pinpad/status": {"type":"status","status","message"}
TJsonValue PinpadStatus(const std::string& status, const std::string& message);
// "/version": {"type":"version","category","version","updating","pdv_number"}
TJsonValue VersionReply(const std::string& category, const std::string& version, bool updating,
                        const std::string& pdvNumber);
// "/transaction/status" without a result: {"type":"status","status"}
// ("unknown", "processing").
TJsonValue TransactionStatus(const std::string& status);
// "/transaction/status" with a result: the result and "pending_reconciliation".
TJsonValue TransactionStatus(TJsonValue result, bool pendingReconciliation);

// --- the payment's dialogue
// {"type":"message","message":text,"options":[],"can_cancel":false}; "" clears it.
TJsonValue Notice(const std::string& text);
// {"type":"can_cancel","can_cancel":value}
TJsonValue CanCancel(bool value);
// {"type":"qrcode","data":qrcode}
TJsonValue QRCode(const std::string& qrcode);
// {"type":"question"|"confirmation","message","options","can_cancel":false}:
// prompts answered with a choice (question) or an acknowledgement.
TJsonValue Question(const std::string& message, const std::vector<std::string>& options);
TJsonValue Confirmation(const std::string& message, const std::vector<std::string>& options);
// {"type":"menu","title","options","can_cancel":false,"back_menu":false}
TJsonValue Menu(const std::string& title, const std::vector<std::string>& options);
// A data-entry prompt: {"type":"collect","title","minimum_size","maximum_size",
// "field_type","field_operation","can_cancel":false,"back_menu","typed"}.
struct TCollectPrompt {
  std::string Title;
  int MinimumSize = 0;
  int MaximumSize = 0;
  int FieldType = 0;
  std::string FieldOperation;
  bool BackMenu = false;
  bool Typed = false;
};
TJsonValue Collect(const TCollectPrompt& prompt);
// A receipt copy the library prints itself: {"type":"receipt","copy_number","data"}.
TJsonValue Receipt(int copyNumber, const std::vector<std::string>& lines);

// --- the "result" of a function
// Approved: {"type":"result","status":"approved","message",
// "transaction_data":entries}.
TJsonValue ResultApproved(TJsonValue entries);
// Not realised: {"type":"result","status":status,"message"} ("unauthorized",
// "canceled").
TJsonValue ResultNotRealised(const std::string& status);
// Approved but not confirmed: {"type":"result","transaction_data","status":
// "canceled","message"}; "transaction_data" only when data is not null.
TJsonValue ResultNotConfirmed(const TJsonValue* transactionData);

}  // namespace core::frontend
