#include "core/transactionresult.h"

#include <gtest/gtest.h>

#include "platform/ansi.h"
#include "tef/clisitef_protocol.h"
#include "tef/ruviriduza_resp_clisitef.h"

namespace core {
namespace {

std::string MemberNames(const TJsonValue& v) {
  std::string out;
  for (const TJsonMember& m : v.Members()) out += (out.empty() ? "" : ",") + m.Name;
  return out;
}

TEST(TransactionResultTest, DecimalNumberHasNoTrailingZeros) {
  struct Case {
    long long cents;
    const char* text;
  } cases[] = {{1250, "12.5"}, {1000, "10"}, {1, "0.01"}, {-1999, "-19.99"}, {0, "0"}};
  for (const Case& c : cases) {
    EXPECT_EQ(DecimalNumber(tef::TCurrency::FromCents(c.cents)), c.text) << c.cents;
  }
}

TEST(TransactionResultTest, EntryMembersByKindOfFunction) {
  const std::string common =
      "payer_name,institution,payment_method_code,payment_method_description,hash,nsu_code,"
      "authorization_code,establishment_code,number_of_installments,transaction_value,"
      "transaction_date_time,gateway,receipt";
  struct Case {
    const char* name;
    const char* indice;
    const char* modalidade;  // "01..." debit, "02..." credit
    bool cancellation;
    std::string operation, members;
  } cases[] = {
      {"reprint", "113", "", false, "reprint", "sale_id,operation,receipt"},
      {"reprint 114 even when cancelling", "114", "", true, "reprint", "sale_id,operation,receipt"},
      {"cancellation", "", "01", true, "cancellation",
       "sale_id,operation,operator,canceled_nsu," + common},
      {"debit", "", "0100", false, "debit", "sale_id,operation,card_number,operator," + common},
      {"credit", "", "0200", false, "credit", "sale_id,operation,card_number,operator," + common},
      {"pix", "", "", false, "pix", "sale_id,operation,operator," + common},
  };
  for (const Case& c : cases) {
    tef::TRuVirIdUzaRespCliSiTef r;
    if (*c.modalidade)
      r.GravaInformacao(tef::clisitef::kCampoModalidadePagto, platform::Utf8ToAnsi(c.modalidade));
    r.GravaInformacao(tef::clisitef::kCampoRede, platform::Utf8ToAnsi("REDE X"));
    r.ConteudoToProperty();
    r.SetIndiceFPG_ECF(c.indice);
    TEntrySale sale{42, "Ana", c.cancellation, "999"};
    const TJsonValue e = TransactionEntry(r, sale);
    EXPECT_EQ(MemberNames(e), c.members) << c.name;
    EXPECT_EQ(e.Find("operation")->Text(), c.operation) << c.name;
    EXPECT_EQ(e.Find("sale_id")->Serialize(), "42") << c.name;
    if (c.cancellation && c.operation == "cancellation") {
      EXPECT_EQ(e.Find("canceled_nsu")->Text(), "999");
    }
    if (c.operation != "reprint") {
      EXPECT_EQ(e.Find("payer_name")->Text(), "Ana") << c.name;
      EXPECT_EQ(e.Find("operator")->Text(), "REDE X") << c.name;
    }
    EXPECT_EQ(e.Find("receipt")->Serialize(), "[]") << c.name;  // no copy has lines
  }
}

TEST(TransactionResultTest, ReceiptLeavesOutACopyWithoutLines) {
  tef::TRuVirIdUzaRespCliSiTef r;
  r.GravaInformacao(tef::clisitef::kCampoComprovante2aVia, platform::Utf8ToAnsi("VIA LOJA\nNSU 1"));
  r.ConteudoToProperty();
  EXPECT_EQ(ReceiptCopies(r).Serialize(), R"([{"copy_number":2,"data":["VIA LOJA","NSU 1"]}])");
  r.GravaInformacao(tef::clisitef::kCampoComprovante1aVia, platform::Utf8ToAnsi("VIA CLIENTE"));
  r.ConteudoToProperty();
  EXPECT_EQ(
      ReceiptCopies(r).Serialize(),
      R"([{"copy_number":1,"data":["VIA CLIENTE"]},{"copy_number":2,"data":["VIA LOJA","NSU 1"]}])");
}

}  // namespace
}  // namespace core
