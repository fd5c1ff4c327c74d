#include "core/rest/salesapicallback.h"

#include <charconv>

namespace core::rest {

namespace {

constexpr char kMsgBadPaymentId[] = "Identificador de pagamento inválido na resposta da API: ";

// Decimal integer with an optional sign, nothing else.
std::optional<long long> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  long long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<TJsonValue> ParseObject(const std::string& text) {
  std::optional<TJsonValue> parsed = ParseJson(text);
  if (!parsed || !parsed->IsObject()) return std::nullopt;
  return parsed;
}

// A copy of object with member name replaced by value (appended last).
TJsonValue WithMember(const TJsonValue& object, std::string_view name, TJsonValue value) {
  TJsonValue out = TJsonValue::MakeObject();
  for (const TJsonMember& m : object.Members()) {
    if (m.Name != name) out.Add(m.Name, m.Value);
  }
  out.Add(std::string(name), std::move(value));
  return out;
}

}  // namespace

void EnsureTrailingSlash(std::string& url) {
  if (!url.empty() && url.back() != '/') url += '/';
}

std::string CallbackURL(std::string callbackBase, std::string_view token) {
  EnsureTrailingSlash(callbackBase);
  return callbackBase + kCallbackPath + std::string(token);
}

bool SetTransactionDataValue(TJsonValue& Result, std::string_view Name, TJsonValue Value) {
  const TJsonValue* data = Result.Find("transaction_data");
  if (!data || !data->IsArray() || data->Items().empty() || !data->Items().front().IsObject()) {
    return false;
  }
  // The value type offers no in-place edit: rebuild the path to the entry.
  TJsonValue items = TJsonValue::MakeArray();
  items.Push(WithMember(data->Items().front(), Name, std::move(Value)));
  for (size_t i = 1; i < data->Items().size(); ++i) items.Push(data->Items()[i]);

  TJsonValue rebuilt = TJsonValue::MakeObject();
  bool replaced = false;
  for (const TJsonMember& m : Result.Members()) {
    if (m.Name == "transaction_data" && !replaced) {
      rebuilt.Add(m.Name, std::move(items));
      replaced = true;
    } else {
      rebuilt.Add(m.Name, m.Value);
    }
  }
  Result = std::move(rebuilt);
  return true;
}

TCallbackAnswer ReadCallbackAnswer(const TRestResponse& response) {
  TCallbackAnswer answer;
  std::optional<TJsonValue> body = ParseObject(response.Content);
  if (response.StatusCode >= 200 && response.StatusCode <= 204) {
    answer.Registered = true;
    std::optional<std::string> data = body ? MemberText(*body, "data") : std::nullopt;
    if (data) {
      if (std::optional<long long> id = ParseInteger(*data)) {
        answer.PaymentId = *id;
      } else {
        answer.LogText = kMsgBadPaymentId + *data;
      }
    }
    return answer;
  }
  std::string text;
  if (body) {
    if (std::optional<std::string> message = MemberText(*body, "message")) {
      text = "Code: " + std::to_string(response.StatusCode) + " - Message: " + *message;
    }
  }
  if (text.empty()) text = std::to_string(response.StatusCode) + " - " + response.StatusText;
  answer.LogText = kMsgRegisterApiError + text;
  return answer;
}

TRegisterOutcome PostTransactionResult(TJsonValue& Result, const std::string& callbackBase,
                                       long long companyId, std::string_view token,
                                       IHttpTransport& transport) {
  TRegisterOutcome outcome;
  auto setIds = [&](long long paymentId) {
    SetTransactionDataValue(Result, "payment_id", TJsonValue::MakeInteger(paymentId));
    SetTransactionDataValue(Result, "company_id", TJsonValue::MakeInteger(companyId));
  };
  TRestResponse response;
  try {
    response = ExecuteRequest(TRequestMethod::rmPOST, CallbackURL(callbackBase, token), {},
                              Result.Serialize(), transport);
  } catch (const std::exception& e) {
    outcome.LogEntries.push_back(kMsgRegisterApiError + std::string(e.what()));
    setIds(0);
    outcome.LogEntries.push_back(Result.Serialize());
    outcome.ErrorReply = kMsgRegisterError + std::string(e.what());
    return outcome;
  }
  TCallbackAnswer answer = ReadCallbackAnswer(response);
  if (!answer.LogText.empty()) outcome.LogEntries.push_back(answer.LogText);
  outcome.Registered = answer.Registered;
  outcome.PaymentId = answer.PaymentId;
  setIds(answer.PaymentId);
  return outcome;
}

}  // namespace core::rest
