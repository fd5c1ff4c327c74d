// Registration of a transaction result with the shop's sales API: the
// request (POST of the result to <callback base>/v1/sales/tef/callback/<token>)
// and the reading of its answer, as pure functions of what the data module
// holds. The data module keeps the state (callback URL, company), the log and
// the front-end connection; it writes the log entries and sends the error
// reply that PostTransactionResult hands back, in that order.
//
// No shared state: any thread may call these with its own values and
// transport (the payment's thread does, synchronously).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.h"
#include "core/rest/restclient.h"

namespace core::rest {

inline constexpr char kCallbackPath[] = "v1/sales/tef/callback/";
inline constexpr char kMsgRegisterApiError[] = "Erro ao registrar transação na API: ";
inline constexpr char kMsgRegisterError[] = "Erro ao registrar transação: ";

// Appends "/" to url when it is not empty and does not end with one.
void EnsureTrailingSlash(std::string& url);

// The callback URL: the base with a trailing "/" (EnsureTrailingSlash), then
// kCallbackPath, then the token as the last path segment.
std::string CallbackURL(std::string callbackBase, std::string_view token);

// Sets member Name of the first element of Result's "transaction_data" to
// Value: an existing member of that name is removed and Name is appended
// last. False, with Result unchanged, when Result has no "transaction_data",
// it is not an array, it is empty, or its first element is not an object.
bool SetTransactionDataValue(TJsonValue& Result, std::string_view Name, TJsonValue Value);

// How the sales API answered.
struct TCallbackAnswer {
  bool Registered = false;  // status 200..204
  long long PaymentId = 0;  // "data" of the answer; 0 when absent or not registered
  std::string LogText;      // what to log, empty when nothing
};

// Reads an answer: 200..204 registers with "data" (in text form, as an
// integer) as the payment identifier, 0 when the body is not a JSON object or
// has no "data". An accepted answer whose "data" is not an integer still
// counts as registered, with identifier 0 and a log line: the API has the
// sale, so the payment must be confirmed rather than left unconfirmed.
// Any other status: not registered, LogText = kMsgRegisterApiError +
// "Code: <status> - Message: <message>" when the body is a JSON object with
// "message", else "<status> - <status text>".
TCallbackAnswer ReadCallbackAnswer(const TRestResponse& response);

// The outcome of PostTransactionResult for the data module.
struct TRegisterOutcome {
  bool Registered = false;
  long long PaymentId = 0;
  std::vector<std::string> LogEntries;    // service log lines, in order
  std::optional<std::string> ErrorReply;  // text of an error reply to send after the logs
};

// Posts Result (serialised as it is) to CallbackURL(callbackBase, token)
// through transport, then sets "payment_id" (the identifier, 0 on failure)
// and "company_id" (companyId) in the first transaction entry. A request
// error gives the log entries kMsgRegisterApiError + M and the whole result
// serialised (with those two members), and ErrorReply kMsgRegisterError + M,
// where M is the "Request Error ..." message. Does not throw on request or
// answer failures.
TRegisterOutcome PostTransactionResult(TJsonValue& Result, const std::string& callbackBase,
                                       long long companyId, std::string_view token,
                                       IHttpTransport& transport);

}  // namespace core::rest
