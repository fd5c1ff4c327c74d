#include "core/rest/curltransport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "core/rest/tlstestserver.h"

namespace core::rest {
namespace {

using ::testing::HasSubstr;
using testing::HttpAnswer;
using ::testing::StartsWith;
using testing::TReceivedRequest;
using testing::TTlsTestServer;

TEST(CurlTransport, PostsToASelfSignedServerWithTheServiceHeaders) {
  TTlsTestServer server([](const TReceivedRequest&) {
    return HttpAnswer(201, "Created", R"({"data":4711})", "Content-Type: application/json\r\n");
  });
  const std::string body = R"({"type":"result","message":"Transa\u00E7\u00E3o"})";
  TRestResponse r =
      ExecuteRequest(TRequestMethod::rmPOST, server.Url("/v1/sales/tef/callback/a.b.c"), {}, body);
  EXPECT_EQ(r.StatusCode, 201);
  EXPECT_EQ(r.StatusText, "Created");
  EXPECT_EQ(r.Content, R"({"data":4711})");

  std::vector<TReceivedRequest> seen = server.Requests();
  ASSERT_EQ(seen.size(), 1u);
  const TReceivedRequest& req = seen[0];
  EXPECT_EQ(req.method + " " + req.target + " " + req.version,
            "POST /v1/sales/tef/callback/a.b.c HTTP/1.1");
  EXPECT_EQ(req.body, body);
  ASSERT_TRUE(req.Header("Accept") && req.Header("Accept-Charset") && req.Header("Content-Type"));
  EXPECT_EQ(*req.Header("Accept"), "*/*");
  EXPECT_EQ(*req.Header("Accept-Charset"), "UTF-8, *;q=0.8");
  EXPECT_EQ(*req.Header("Content-Type"), "application/json");
  EXPECT_EQ(req.Header("User-Agent"), nullptr);
  EXPECT_EQ(req.Header("Expect"), nullptr);
}

TEST(CurlTransport, AcceptsTls10To13AndAnExpiredCertificateForAnotherHost) {
  const std::pair<int, const char*> versions[] = {{TLS1_VERSION, "TLSv1"},
                                                  {TLS1_1_VERSION, "TLSv1.1"},
                                                  {TLS1_2_VERSION, "TLSv1.2"},
                                                  {TLS1_3_VERSION, "TLSv1.3"}};
  for (const auto& [version, name] : versions) {
    SCOPED_TRACE(name);
    TTlsTestServer server([](const TReceivedRequest&) { return HttpAnswer(200, "OK", "{}"); },
                          {version, version, /*expiredCertificate=*/true, 0});
    TRestResponse r;
    ASSERT_NO_THROW(r = ExecuteRequest(TRequestMethod::rmPOST, server.Url("/x"), {}, "{}"));
    EXPECT_EQ(r.StatusCode, 200);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].tlsVersion, name);
  }
}

TEST(CurlTransport, FollowsRedirectsAndReturnsTheFinalStatusWhateverItIs) {
  TTlsTestServer server([](const TReceivedRequest& req) {
    if (req.target == "/moved")
      return HttpAnswer(307, "Temporary Redirect", "", "Location: /final\r\n");
    return HttpAnswer(500, "Internal Server Error", R"({"message":"falhou"})");
  });
  TRestResponse r = ExecuteRequest(TRequestMethod::rmPOST, server.Url("/moved"), {}, R"({"a":1})");
  EXPECT_EQ(r.StatusCode, 500);
  EXPECT_EQ(r.StatusText, "Internal Server Error");
  EXPECT_EQ(r.Content, R"({"message":"falhou"})");
  std::vector<TReceivedRequest> seen = server.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].method + " " + seen[1].target + " " + seen[1].body, R"(POST /final {"a":1})");
}

TEST(CurlTransport, NoAnswerInTimeARedirectLoopAndAClosedPortAreRequestErrors) {
  TCurlTransport transport;
  {
    TTlsTestServer slow([](const TReceivedRequest&) { return HttpAnswer(200, "OK", ""); },
                        {TLS1_2_VERSION, TLS1_3_VERSION, false, 5000});
    THttpRequest request{TRequestMethod::rmPOST, slow.Url("/slow"), {}, "{}", 300};
    auto start = std::chrono::steady_clock::now();
    EXPECT_THAT([&] { transport.Perform(request); },
                ::testing::ThrowsMessage<ERequestError>(HasSubstr("timed out")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  }
  {
    TTlsTestServer loop([](const TReceivedRequest&) {
      return HttpAnswer(302, "Found", "", "Location: /again\r\n");
    });
    EXPECT_THAT([&] { ExecuteRequest(TRequestMethod::rmGET, loop.Url("/again"), {}, ""); },
                ::testing::ThrowsMessage<ERequestError>(StartsWith("Request Error ")));
    EXPECT_EQ(loop.Requests().size(), 1u + TCurlTransport::kMaxRedirects);
  }
  TTlsTestServer closed([](const TReceivedRequest&) { return HttpAnswer(200, "OK", ""); });
  const std::string url = closed.Url("/");
  closed.Stop();
  EXPECT_THAT([&] { ExecuteRequest(TRequestMethod::rmPOST, url, {}, "{}"); },
              ::testing::ThrowsMessage<ERequestError>(StartsWith("Request Error ")));
}

}  // namespace
}  // namespace core::rest
