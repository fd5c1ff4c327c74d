#include "core/rest/salesapicallback.h"

#include <gtest/gtest.h>

#include "core/rest/recordingtransport.h"

namespace core::rest {
namespace {

using testing::TRecordingTransport;

TJsonValue Parse(const std::string& text) {
  std::optional<TJsonValue> v = ParseJson(text);
  EXPECT_TRUE(v) << text;
  return v ? *v : TJsonValue();
}

// A result as the payment flow builds it before registration.
const char kResult[] =
    R"({"type":"result","status":"approved","message":"Transação TEF concluída com sucesso.",)"
    R"("transaction_data":[{"sale_id":7,"operation":"credit","receipt":[]},{"sale_id":7}]})";

TEST(CallbackURL, GetsExactlyOneSlashBeforeThePathAndTheTokenLast) {
  const std::pair<std::string, std::string> cases[] = {
      {"https://api.shop/", "https://api.shop/v1/sales/tef/callback/h.c.s"},
      {"https://api.shop", "https://api.shop/v1/sales/tef/callback/h.c.s"},
      {"https://api.shop/base", "https://api.shop/base/v1/sales/tef/callback/h.c.s"},
  };
  for (const auto& [base, url] : cases) EXPECT_EQ(CallbackURL(base, "h.c.s"), url) << base;

  std::string stored = "https://api.shop";
  EnsureTrailingSlash(stored);
  EnsureTrailingSlash(stored);
  EXPECT_EQ(stored, "https://api.shop/");
  std::string empty;
  EnsureTrailingSlash(empty);
  EXPECT_EQ(empty, "");
}

TEST(SetTransactionDataValue, ReplacesTheMemberOfTheFirstEntryAndAppendsItLast) {
  TJsonValue result = Parse(
      R"({"type":"result","transaction_data":[{"payment_id":1,"sale_id":7},{"sale_id":8}],"z":1})");
  ASSERT_TRUE(SetTransactionDataValue(result, "payment_id", TJsonValue::MakeInteger(4711)));
  ASSERT_TRUE(SetTransactionDataValue(result, "company_id", TJsonValue::MakeInteger(3)));
  EXPECT_EQ(
      result.Serialize(),
      R"({"type":"result","transaction_data":[{"sale_id":7,"payment_id":4711,"company_id":3},)"
      R"({"sale_id":8}],"z":1})");

  // Each kind of value keeps its JSON type.
  const std::pair<TJsonValue, std::string> values[] = {
      {TJsonValue(), "null"},
      {TJsonValue::MakeInteger(-2), "-2"},
      {TJsonValue::MakeNumber("12.5"), "12.5"},
      {TJsonValue::MakeBoolean(true), "true"},
      {TJsonValue::MakeString("a/\"b"), R"("a\/\"b")"},
  };
  for (const auto& [value, written] : values) {
    TJsonValue r = Parse(R"({"transaction_data":[{}]})");
    ASSERT_TRUE(SetTransactionDataValue(r, "v", value));
    EXPECT_EQ(r.Serialize(), R"({"transaction_data":[{"v":)" + written + "}]}");
  }
}

TEST(SetTransactionDataValue, WithoutAFirstEntryObjectLeavesTheResultAlone) {
  for (const char* text : {R"({"type":"result"})", R"({"transaction_data":[]})",
                           R"({"transaction_data":{}})", R"({"transaction_data":[1,{}]})"}) {
    TJsonValue result = Parse(text);
    EXPECT_FALSE(SetTransactionDataValue(result, "payment_id", TJsonValue::MakeInteger(1))) << text;
    EXPECT_EQ(result.Serialize(), Parse(text).Serialize());
  }
}

TEST(ReadCallbackAnswer, StatusAndBodyDecideTheOutcome) {
  struct Case {
    long status;
    std::string statusText;
    std::string body;
    bool registered;
    long long paymentId;
    std::string log;
  };
  const std::string api = "Erro ao registrar transação na API: ";
  const Case cases[] = {
      {201, "Created", R"({"data": 4711})", true, 4711, ""},
      {200, "OK", R"({"data":"12","message":"ok"})", true, 12, ""},
      {204, "No Content", "", true, 0, ""},
      {200, "OK", "[1,2]", true, 0, ""},
      {200, "OK", R"({"id":5})", true, 0, ""},
      {202, "Accepted", R"({"data":9007199254740993})", true, 9007199254740993LL, ""},
      // The API took the sale: an identifier we cannot read must not make
      // the payment go unconfirmed.
      {200, "OK", R"({"data":"a1b2"})", true, 0,
       "Identificador de pagamento inválido na resposta da API: a1b2"},
      {199, "", R"({"data":1})", false, 0, api + "199 - "},
      {205, "Reset Content", "", false, 0, api + "205 - Reset Content"},
      {422, "Unprocessable Entity", R"({"message":"Venda já paga"})", false, 0,
       api + "Code: 422 - Message: Venda já paga"},
      {500, "Internal Server Error", "<html>oops</html>", false, 0,
       api + "500 - Internal Server Error"},
      {404, "Not Found", R"({"error":"x"})", false, 0, api + "404 - Not Found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
    TCallbackAnswer a = ReadCallbackAnswer(TRestResponse{c.status, c.statusText, c.body});
    EXPECT_EQ(a.Registered, c.registered);
    EXPECT_EQ(a.PaymentId, c.paymentId);
    EXPECT_EQ(a.LogText, c.log);
  }
}

TEST(PostTransactionResult, PostsTheResultAndAddsTheIdentifiersToTheFirstEntry) {
  TRecordingTransport transport;
  transport.Answer(201, R"({"data":4711})", "Created");
  TJsonValue result = Parse(kResult);
  const std::string before = result.Serialize();

  TRegisterOutcome outcome =
      PostTransactionResult(result, "https://api.shop", 42, "h.c.s", transport);
  EXPECT_TRUE(outcome.Registered);
  EXPECT_EQ(outcome.PaymentId, 4711);
  EXPECT_TRUE(outcome.LogEntries.empty());
  EXPECT_FALSE(outcome.ErrorReply);

  ASSERT_EQ(transport.requests.size(), 1u);
  EXPECT_EQ(transport.requests[0].Method, TRequestMethod::rmPOST);
  EXPECT_EQ(transport.requests[0].Url, "https://api.shop/v1/sales/tef/callback/h.c.s");
  EXPECT_EQ(transport.requests[0].Body, before);  // the result as it was before the call
  EXPECT_EQ(
      result.Serialize(),
      R"({"type":"result","status":"approved","message":"Transa\u00E7\u00E3o TEF conclu\u00EDda com sucesso.",)"
      R"("transaction_data":[{"sale_id":7,"operation":"credit","receipt":[],"payment_id":4711,"company_id":42},)"
      R"({"sale_id":7}]})");
}

TEST(PostTransactionResult, ARefusalIsLoggedButNotRepliedTo) {
  TRecordingTransport transport;
  transport.Answer(422, R"({"message":"Venda cancelada"})", "Unprocessable Entity");
  TJsonValue result = Parse(kResult);
  TRegisterOutcome outcome = PostTransactionResult(result, "https://api.shop/", 42, "t", transport);
  EXPECT_FALSE(outcome.Registered);
  EXPECT_EQ(outcome.LogEntries,
            std::vector<std::string>{
                "Erro ao registrar transação na API: Code: 422 - Message: Venda cancelada"});
  EXPECT_FALSE(outcome.ErrorReply);
  const TJsonValue& entry = result.Find("transaction_data")->Items()[0];
  EXPECT_EQ(MemberText(entry, "payment_id"), "0");
  EXPECT_EQ(MemberText(entry, "company_id"), "42");
}

TEST(PostTransactionResult, ARequestErrorIsLoggedWithTheResultAndRepliedTo) {
  TRecordingTransport transport;
  transport.Fail("Failed to connect to 127.0.0.1 port 1: Connection refused");
  TJsonValue result = Parse(kResult);
  TRegisterOutcome outcome =
      PostTransactionResult(result, "https://127.0.0.1:1", 42, "t", transport);
  const std::string m = "Request Error Failed to connect to 127.0.0.1 port 1: Connection refused";
  EXPECT_FALSE(outcome.Registered);
  ASSERT_EQ(outcome.LogEntries.size(), 2u);
  EXPECT_EQ(outcome.LogEntries[0], "Erro ao registrar transação na API: " + m);
  EXPECT_EQ(outcome.LogEntries[1], result.Serialize());  // with the identifiers set
  EXPECT_NE(outcome.LogEntries[1].find(R"("payment_id":0,"company_id":42)"), std::string::npos);
  EXPECT_EQ(outcome.ErrorReply, "Erro ao registrar transação: " + m);
}

}  // namespace
}  // namespace core::rest
