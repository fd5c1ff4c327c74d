#include "core/transactionrequest.h"

#include <vector>

#include "core/conversions.h"
#include "core/dmsitef.h"
#include "platform/regional.h"

namespace core {
namespace {

// The cancellation's NSU and date, each filled in and the date valid.
void ReadCancellation(const TJsonValue& message, TTransactionRequest& r) {
  r.CancellationNsu = TDmSitef::GetJSONField(message, "cancellation_nsu");
  if (TrimControl(r.CancellationNsu).empty()) {
    throw EDmSitefErro("O campo \"cancellation_nsu\" não foi preenchido.");
  }
  const std::string when = TDmSitef::GetJSONField(message, "transaction_date");
  if (TrimControl(when).empty()) {
    throw EDmSitefErro("O campo \"transaction_date\" não foi preenchido.");
  }
  if (!platform::TryParseDayFirst(ConvertTransactionDate(when), r.CancellationDate)) {
    throw EDmSitefErro("O campo \"transaction_date\" não foi preenchido corretamente.");
  }
}

// Sale, amount and installments, each optional.
void ReadSaleMembers(const TJsonValue& message, TTransactionRequest& r) {
  if (std::optional<std::string> s = MemberText(message, "sale_id")) r.SaleId = StrToInt(*s);
  if (const TJsonValue* v = message.Find("transaction_value")) {
    // A JSON number has a decimal point (12.5); a text is a regional
    // amount (12,50), where "1.000" is a thousand and not a one.
    const std::string text(v->Text());
    r.Value = v->IsNumber() ? StrToCurr(text) : RegionalStrToCurr(text);
  }
  if (std::optional<std::string> n = MemberText(message, "number_of_installments")) {
    r.Installments = StrToInt(*n);
  }
}

}  // namespace

std::optional<TTransactionRequest> ReadTransactionRequest(const TJsonValue& message) {
  TTransactionRequest r;
  r.Type = TDmSitef::GetJSONField(message, "type");
  if (r.Type == "confirmation") return std::nullopt;
  if (r.Type != "transaction" && r.Type != "cancellation" && r.Type != "reprint") {
    throw EDmSitefErro("O campo type diferente de transaction");
  }
  r.Operation = StrToInt(TDmSitef::GetJSONField(message, "operation"));
  if (r.Type == "transaction") r.PayerName = TDmSitef::GetJSONField(message, "payer_name");
  if (r.Type == "cancellation") ReadCancellation(message, r);
  if (r.Type != "reprint") ReadSaleMembers(message, r);
  return r;
}

std::string ConvertTransactionDate(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t sp = text.find(' ', start);
    parts.push_back(text.substr(start, sp == std::string::npos ? std::string::npos : sp - start));
    if (sp == std::string::npos) break;
    start = sp + 1;
  }
  const std::string& date = parts[0];
  if (date.size() != 10) return "Formato de data inválido";
  std::string out = date.substr(8, 2) + "/" + date.substr(5, 2) + "/" + date.substr(0, 4);
  if (parts.size() > 1) {
    const std::string& time = parts[1];
    if (time.size() >= 8) {
      out += " " + time.substr(0, 2) + ":" + time.substr(3, 2) + ":" + time.substr(6, 2);
    } else {
      out += " Formato de hora inválido";
    }
  }
  return out;
}

}  // namespace core
