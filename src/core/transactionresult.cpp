#include "core/transactionresult.h"

#include "platform/regional.h"
#include "tef/ruviriduza_resp.h"

namespace core {

std::string DecimalNumber(tef::TCurrency v) {
  const int64_t units = v.Units();
  const uint64_t mag = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string out = (units < 0 ? "-" : "") + std::to_string(mag / 10000);
  std::string frac = std::to_string(mag % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (!frac.empty()) out += "." + frac;
  return out;
}

TJsonValue ReceiptCopies(const tef::TRuVirIdUzaResp& R) {
  TJsonValue receipt = TJsonValue::MakeArray();
  int n = 1;
  for (const tef::TStringList* copy : {&R.ImagemComprovante1aVia(), &R.ImagemComprovante2aVia()}) {
    if (!copy->empty()) {
      TJsonValue lines = TJsonValue::MakeArray();
      for (const std::string& l : *copy) lines.Push(TJsonValue::MakeString(l));
      TJsonValue c = TJsonValue::MakeObject();
      c.AddInteger("copy_number", n).Add("data", std::move(lines));
      receipt.Push(std::move(c));
    }
    ++n;
  }
  return receipt;
}

TJsonValue TransactionEntry(const tef::TRuVirIdUzaResp& R, const TEntrySale& sale) {
  TJsonValue e = TJsonValue::MakeObject();
  e.AddInteger("sale_id", sale.SaleId);
  const bool reprint = R.IndiceFPG_ECF() == "113" || R.IndiceFPG_ECF() == "114";
  if (reprint) {
    e.AddString("operation", "reprint");
  } else {
    if (sale.Cancellation) {
      e.AddString("operation", "cancellation")
          .AddString("operator", R.Rede())
          .AddString("canceled_nsu", sale.CanceledNsu);
    } else if (R.Debito() || R.Credito()) {
      e.AddString("operation", R.Debito() ? "debit" : "credit")
          .AddString("card_number", R.NumeroCartao())
          .AddString("operator", R.Rede());
    } else {
      e.AddString("operation", "pix").AddString("operator", R.Rede());
    }
    e.AddString("payer_name", sale.PayerName)
        .AddString("institution", R.Instituicao())
        .AddString("payment_method_code", R.ModalidadePagto())
        .AddString("payment_method_description", R.ModalidadePagtoDescrita())
        .AddString("hash", R.CodigoHASH())
        .AddString("nsu_code", R.NSUComprovante())
        .AddString("authorization_code", R.CodigoAutorizacaoTransacao())
        .AddString("establishment_code", R.CodigoEstabelecimento())
        .AddInteger("number_of_installments", R.QtdParcelas())
        .AddNumber("transaction_value", DecimalNumber(R.ValorTotal()))
        .AddString("transaction_date_time",
                   platform::FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss\"Z\"",
                                            platform::LocalToUtc(R.DataHoraTransacaoHost())))
        .AddString("gateway", "Software Express");
  }
  e.Add("receipt", ReceiptCopies(R));
  return e;
}

}  // namespace core
