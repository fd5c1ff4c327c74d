#include "core/rest/restclient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/rest/recordingtransport.h"

namespace core::rest {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;
using testing::TRecordingTransport;

TEST(ExecuteRequest, PostsTheBodyAsJsonWithTheFixedHeadersAndTimeout) {
  TRecordingTransport transport;
  transport.Answer(500, R"({"message":"x"})", "Internal Server Error");
  TRestResponse r = ExecuteRequest(TRequestMethod::rmPOST, "https://api.example/v1/x/tok", {},
                                   R"({"type":"result"})", transport);
  // Every status, 500 included, comes back as an answer.
  EXPECT_EQ(r.StatusCode, 500);
  EXPECT_EQ(r.StatusText, "Internal Server Error");
  EXPECT_EQ(r.Content, R"({"message":"x"})");

  ASSERT_EQ(transport.requests.size(), 1u);
  const THttpRequest& sent = transport.requests[0];
  EXPECT_EQ(sent.Method, TRequestMethod::rmPOST);
  EXPECT_EQ(sent.Url, "https://api.example/v1/x/tok");
  EXPECT_EQ(sent.Body, R"({"type":"result"})");
  EXPECT_EQ(sent.TimeoutMs, 60000);
  EXPECT_EQ(sent.Headers, (Headers{{"Accept", "*/*"},
                                   {"Accept-Charset", "UTF-8, *;q=0.8"},
                                   {"Content-Type", "application/json"}}));
}

TEST(ExecuteRequest, AnEmptyBodySendsNoContentType) {
  TRecordingTransport transport;
  ExecuteRequest(TRequestMethod::rmGET, "https://api.example/", {}, "", transport);
  EXPECT_EQ(transport.requests.at(0).Headers,
            (Headers{{"Accept", "*/*"}, {"Accept-Charset", "UTF-8, *;q=0.8"}}));
  EXPECT_EQ(transport.requests.at(0).Body, "");
}

TEST(ExecuteRequest, ParametersGoWhereTheirKindSays) {
  using P = TRequestParamType;
  struct Case {
    const char* name;
    TRequestMethod method;
    std::string body;
    TArrayParamRequest params;
    std::string url;
    std::string sentBody;
    Headers extraHeaders;  // after Accept and Accept-Charset
  };
  const std::string base = "https://h/v1/{kind}/{id}";
  const Case cases[] = {
      {"segments, encoded or raw",
       TRequestMethod::rmGET,
       "",
       {{"id", "a b/c", P::rpURLSEGMENT, true}, {"kind", "x%20y", P::rpURLSEGMENT, false}},
       "https://h/v1/x%20y/a%20b%2Fc",
       "",
       {}},
      {"query of a GET",
       TRequestMethod::rmGET,
       "",
       {{"q", "1&2", P::rpGETorPOST, true}, {"r", "ã", P::rpGETorPOST, true}},
       base + "?q=1%262&r=%C3%A3",
       "",
       {}},
      {"form body of a POST without a body",
       TRequestMethod::rmPOST,
       "",
       {{"a", "1 2", P::rpGETorPOST, true}, {"b", "3", P::rpGETorPOST, true}},
       base,
       "a=1%202&b=3",
       {{"Content-Type", "application/x-www-form-urlencoded"}}},
      {"query of a POST with a body",
       TRequestMethod::rmPOST,
       "{}",
       {{"a", "1", P::rpGETorPOST, true}},
       base + "?a=1",
       "{}",
       {{"Content-Type", "application/json"}}},
      {"headers, encoded or raw; body parameters ignored",
       TRequestMethod::rmGET,
       "",
       {{"X-Enc", "a b", P::rpHTTPHEADER, true},
        {"Authorization", "Bearer a.b c", P::rpHTTPHEADER, false},
        {"ignored", "zzz", P::rpREQUESTBODY, true}},
       base,
       "",
       {{"X-Enc", "a%20b"}, {"Authorization", "Bearer a.b c"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TRecordingTransport transport;
    ExecuteRequest(c.method, base, c.params, c.body, transport);
    const THttpRequest& sent = transport.requests.at(0);
    EXPECT_EQ(sent.Url, c.url);
    EXPECT_EQ(sent.Body, c.sentBody);
    Headers expected{{"Accept", "*/*"}, {"Accept-Charset", "UTF-8, *;q=0.8"}};
    expected.insert(expected.end(), c.extraHeaders.begin(), c.extraHeaders.end());
    EXPECT_EQ(sent.Headers, expected);
  }
}

TEST(ExecuteRequest, FailuresBecomeRequestErrors) {
  TRecordingTransport transport;
  transport.Fail("Couldn't connect to server");
  try {
    ExecuteRequest(TRequestMethod::rmPOST, "https://127.0.0.1:1/", {}, "{}", transport);
    FAIL() << "no error";
  } catch (const ERequestError& e) {
    EXPECT_STREQ(e.what(), "Request Error Couldn't connect to server");
  }

  // A raw header value with a line break could inject headers: refused
  // before anything is sent.
  TRecordingTransport untouched;
  TArrayParamRequest params{{"X-A", "1\r\nX-Evil: 2", TRequestParamType::rpHTTPHEADER, false}};
  EXPECT_THAT([&] { ExecuteRequest(TRequestMethod::rmGET, "https://h/", params, "", untouched); },
              ::testing::ThrowsMessage<ERequestError>(::testing::StartsWith("Request Error ")));
  EXPECT_TRUE(untouched.requests.empty());
}

}  // namespace
}  // namespace core::rest
