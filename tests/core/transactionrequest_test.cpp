#include "core/transactionrequest.h"

#include <gtest/gtest.h>

#include "core/dmsitef.h"

namespace core {
namespace {

std::optional<TTransactionRequest> Read(const std::string& json) {
  return ReadTransactionRequest(*ParseJson(json));
}

// The error reply's text for a request, "" when it is accepted.
std::string Refusal(const std::string& json) {
  try {
    Read(json);
    return "";
  } catch (const EDmSitefErro& e) {
    return e.what();
  }
}

TEST(TransactionRequestTest, RefusedRequestsSayWhy) {
  struct Case {
    const char* json;
    const char* error;
  } cases[] = {
      {R"({"operation":"2"})", "Campo type nao encontrado."},
      {R"({"type":"menu","operation":"2"})", "O campo type diferente de transaction"},
      {R"({"type":"transaction","payer_name":"A"})", "Campo operation nao encontrado."},
      {R"({"type":"transaction","operation":"x","payer_name":"A"})",
       "'x' is not a valid integer value"},
      {R"({"type":"transaction","operation":"2"})", "Campo payer_name nao encontrado."},
      {R"({"type":"cancellation","operation":"2","cancellation_nsu":" ","transaction_date":"2025-01-05"})",
       "O campo \"cancellation_nsu\" não foi preenchido."},
      {R"({"type":"cancellation","operation":"2","cancellation_nsu":"1","transaction_date":""})",
       "O campo \"transaction_date\" não foi preenchido."},
      {R"({"type":"cancellation","operation":"2","cancellation_nsu":"1","transaction_date":"05/01/2025"})",
       "O campo \"transaction_date\" não foi preenchido corretamente."},
      {R"({"type":"cancellation","operation":"2","cancellation_nsu":"1","transaction_date":"2025-02-30"})",
       "O campo \"transaction_date\" não foi preenchido corretamente."},
      {R"({"type":"transaction","operation":"2","payer_name":"A","number_of_installments":"2x"})",
       "'2x' is not a valid integer value"},
  };
  for (const Case& c : cases) EXPECT_EQ(Refusal(c.json), c.error) << c.json;
}

TEST(TransactionRequestTest, AcceptedRequestsByType) {
  EXPECT_FALSE(Read(R"({"type":"confirmation"})"));

  const auto pay =
      Read(R"({"type":"transaction","operation":"3","payer_name":"Ana",)"
           R"("sale_id":"9","transaction_value":"1000,50","number_of_installments":2})");
  ASSERT_TRUE(pay);
  EXPECT_EQ(pay->Operation, 3);
  EXPECT_EQ(pay->PayerName, "Ana");
  EXPECT_EQ(pay->SaleId, 9);
  EXPECT_EQ(pay->Value, tef::TCurrency::FromCents(100050));  // a text is a regional amount
  EXPECT_EQ(pay->Installments, 2);

  const auto number = Read(R"({"type":"transaction","operation":"3","payer_name":"",)"
                           R"("transaction_value":12.5})");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->Value, tef::TCurrency::FromCents(1250));  // a JSON number has a point
  EXPECT_FALSE(number->SaleId);

  const auto undo = Read(R"({"type":"cancellation","operation":"1","cancellation_nsu":"123",)"
                         R"("transaction_date":"2025-01-05 10:20:30"})");
  ASSERT_TRUE(undo);
  EXPECT_EQ(undo->CancellationNsu, "123");
  EXPECT_EQ(undo->CancellationDate, (platform::TDateTime{2025, 1, 5, 10, 20, 30, 0}));
  EXPECT_EQ(undo->PayerName, "");

  // A reprint reads no sale members, even invalid ones.
  const auto reprint = Read(R"({"type":"reprint","operation":"4","sale_id":"x"})");
  ASSERT_TRUE(reprint);
  EXPECT_FALSE(reprint->SaleId);
}

TEST(TransactionRequestTest, ConvertTransactionDate) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"2025-01-05", "05/01/2025"},
               {"2025-01-05 10:20:30", "05/01/2025 10:20:30"},
               {"2025-01-05 10:20", "05/01/2025 Formato de hora inválido"},
               {"05/01/25", "Formato de data inválido"},
               {"", "Formato de data inválido"}};
  for (const Case& c : cases) EXPECT_EQ(ConvertTransactionDate(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace core
