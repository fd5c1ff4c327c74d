// The "/transaction" request read and checked: its type, its operation and
// the members each type needs, before anything touches the TEF library.
// Pure functions: any thread.
#pragma once

#include <optional>
#include <string>

#include "core/json.h"
#include "platform/clock.h"
#include "tef/currency.h"

namespace core {

// A checked request. Members a type does not use keep their defaults.
struct TTransactionRequest {
  std::string Type;  // "transaction", "cancellation" or "reprint"
  int Operation = 0;
  std::string PayerName;        // "transaction" only
  std::string CancellationNsu;  // "cancellation" only
  platform::TDateTime CancellationDate;
  // Not for "reprint":
  std::optional<int> SaleId;  // when the request names one
  tef::TCurrency Value;
  int Installments = 0;
};

// Reads the request object of a "/transaction" message. Empty for a
// "confirmation" (an answer nobody waits for any more). EDmSitefErro with the
// text of the error reply otherwise: another type, a missing member
// (ECampoNaoEncontrado), a cancellation without its NSU or a valid date, a
// number that does not convert.
std::optional<TTransactionRequest> ReadTransactionRequest(const TJsonValue& message);

// "yyyy-mm-dd[ hh:nn:ss]" to the day-first text that is then converted;
// "Formato de data inválido" (or a time part "Formato de hora inválido")
// when it is not that shape.
std::string ConvertTransactionDate(const std::string& text);

}  // namespace core
