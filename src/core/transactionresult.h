// The entries of an approved function's "result": one per pending response
// of the TEF library, with its receipt copies. Pure functions of the
// response and the sale it belongs to: any thread.
#pragma once

#include <string>

#include "core/json.h"
#include "tef/currency.h"

namespace tef {
class TRuVirIdUzaResp;
}

namespace core {

// What the entry takes from the running payment rather than the response.
struct TEntrySale {
  int SaleId = 0;
  std::string PayerName;
  // The function undoes an earlier payment (its NSU is CanceledNsu).
  bool Cancellation = false;
  std::string CanceledNsu;
};

// An entry of "transaction_data". A reprint (payment index 113 or 114) has
// only "sale_id", "operation" and "receipt"; a cancellation, a card payment
// and a PIX payment have their own members after "operation", then the
// common ones, "receipt" last.
TJsonValue TransactionEntry(const tef::TRuVirIdUzaResp& R, const TEntrySale& sale);

// The receipt copies of R: {"copy_number":n,"data":[lines]} for the first
// and second copy, a copy without lines left out.
TJsonValue ReceiptCopies(const tef::TRuVirIdUzaResp& R);

// General decimal form with a point: 12,50 is 12.5 and 10,00 is 10.
std::string DecimalNumber(tef::TCurrency v);

}  // namespace core
