#include "core/jwt.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <string>

#include "core/base64.h"

namespace core {
namespace {

// Tokens made outside this code base (Python's hmac) for the claims
// {"sale_id":42,"company_id":7,"callback_url":"https://api.example/v1","operator":"João","exp":946684800}
// with the header {"alg":...,"typ":"JWT"}; "exp" lies in the past.
constexpr const char* kClaimsPart =
    "eyJzYWxlX2lkIjo0MiwiY29tcGFueV9pZCI6NywiY2FsbGJhY2tfdXJsIjoiaHR0cHM6Ly9hcGkuZXhhbXBsZS92MSIsIm"
    "9wZXJhdG9y"
    "IjoiSm_Do28iLCJleHAiOjk0NjY4NDgwMH0";
const std::string kHS256 = std::string("eyJhbGciOiJIUzI1NiIsInR5cCI6IkpXVCJ9.") + kClaimsPart +
                           ".nQgZ5LOASzt_6ZTeGnqJ09PTx5TZEEoO3gjJnNKkTvo";
const std::string kHS384 = std::string("eyJhbGciOiJIUzM4NCIsInR5cCI6IkpXVCJ9.") + kClaimsPart +
                           ".rpbVi1cxBwC-nMqZff7YpEbUPbKcuBadyhbte38v0oTmclP2K2VaGt6c8iDaCwaW";
const std::string kHS512 =
    std::string("eyJhbGciOiJIUzUxMiIsInR5cCI6IkpXVCJ9.") + kClaimsPart +
    ".E0PSrQz9qsIhpVlebOtg12w_UKkbjgIfnpOs4WmO7bYXYanOCUsxOI6J3AgjW-KqlO3E1S8vHyyUaXOXVCHAYw";

// Signs any header and claims text with HMAC (md) under key.
std::string Sign(const EVP_MD* md, const std::string& header, const std::string& claims,
                 const std::string& key = std::string(kJWTSharedKey)) {
  const std::string input = Base64UrlEncode(header) + "." + Base64UrlEncode(claims);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  HMAC(md, key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(input.data()), input.size(), mac, &len);
  return input + "." + Base64UrlEncode(std::string(reinterpret_cast<char*>(mac), len));
}

TEST(JwtVerifyTest, AcceptsEachHmacAlgorithmAtAnyTime) {
  for (const auto& token : {kHS256, kHS384, kHS512}) {
    const TJWTVerification v = VerifyJWT(token);
    ASSERT_TRUE(v.Verified) << token;
    ASSERT_TRUE(v.Claims.IsObject());
    EXPECT_EQ(MemberText(v.Claims, "sale_id"), "42");
    EXPECT_EQ(MemberText(v.Claims, "operator"), "João");
    EXPECT_EQ(MemberText(v.Claims, "callback_url"), "https://api.example/v1");
  }
  const std::string other_key = "another key";
  EXPECT_TRUE(
      VerifyJWT(Sign(EVP_sha256(), R"({"alg":"HS256"})", "{}", other_key), other_key).Verified);
}

TEST(JwtVerifyTest, SignaturesThatDoNotMatchAreNotVerified) {
  const std::string header = R"({"alg":"HS256","typ":"JWT"})";
  const std::string good = Sign(EVP_sha256(), header, R"({"sale_id":1})");
  const std::string other = Sign(EVP_sha256(), header, R"({"sale_id":999})");
  const auto part = [](const std::string& t, int i) {
    const size_t a = t.find('.'), b = t.find('.', a + 1);
    return i == 0 ? t.substr(0, a) : i == 1 ? t.substr(a + 1, b - a - 1) : t.substr(b + 1);
  };
  const struct {
    const char* name;
    std::string token;
  } cases[] = {
      {"tampered claims", part(good, 0) + "." + part(other, 1) + "." + part(good, 2)},
      {"other key",
       Sign(EVP_sha256(), header, R"({"sale_id":1})", "Hq4Lw8ZtNc2Vy6Rb1Xk9Pm3Ds7Gf5Ju1")},
      {"empty signature", part(good, 0) + "." + part(good, 1) + "."},
      {"truncated signature", good.substr(0, good.size() - 4)},
      {"longer signature", good + "AAAA"},
      {"HS256 signature under an HS512 header",
       Base64UrlEncode(R"({"alg":"HS512"})") + "." + part(good, 1) + "." + part(good, 2)},
  };
  for (const auto& c : cases) {
    const TJWTVerification v = VerifyJWT(c.token);
    EXPECT_FALSE(v.Verified) << c.name;
    EXPECT_TRUE(v.Claims.IsNull()) << c.name;
  }
}

TEST(JwtVerifyTest, UndecodableTokensGiveTheSessionDataMessage) {
  const std::string claims = R"({"sale_id":1})";
  const std::string good = Sign(EVP_sha256(), R"({"alg":"HS256"})", claims);
  const struct {
    const char* name;
    std::string token;
  } cases[] = {
      {"alg none, empty signature",
       Base64UrlEncode(R"({"alg":"none"})") + "." + Base64UrlEncode(claims) + "."},
      {"no alg", Sign(EVP_sha256(), R"({"typ":"JWT"})", claims)},
      {"RS256", Sign(EVP_sha256(), R"({"alg":"RS256"})", claims)},
      {"lower-case alg", Sign(EVP_sha256(), R"({"alg":"hs256"})", claims)},
      {"alg not a string", Sign(EVP_sha256(), R"({"alg":256})", claims)},
      {"header not JSON", Sign(EVP_sha256(), R"({"alg":"HS256")", claims)},
      {"header an array", Sign(EVP_sha256(), R"(["HS256"])", claims)},
      {"claims not an object", Sign(EVP_sha256(), R"({"alg":"HS256"})", "[1]")},
      {"claims not JSON", Sign(EVP_sha256(), R"({"alg":"HS256"})", "sale_id=1")},
      {"bad base64 in header", "e$" + good.substr(2)},
      {"padded claims",
       Base64UrlEncode(R"({"alg":"HS256"})") + ".e30=." + good.substr(good.rfind('.') + 1)},
      {"bad base64 in signature", good + "+"},
      {"empty parts", ".."},
      {"too long", Sign(EVP_sha256(), R"({"alg":"HS256"})",
                        R"({"x":")" + std::string(kJWTMaxTokenBytes, 'a') + "\"}")},
  };
  for (const auto& c : cases) {
    try {
      VerifyJWT(c.token);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const EJWTUndecodable& e) {
      EXPECT_STREQ(e.what(), "Dados de sessão inválidos.") << c.name;
    }
  }
}

TEST(JwtVerifyTest, WrongNumberOfPartsIsMalformed) {
  const struct {
    std::string token;
    const char* message;
  } cases[] = {
      {"", "Malformed Compact Serialization"},
      {"abc", "Malformed Compact Serialization"},
      {kHS256.substr(0, kHS256.rfind('.')), "Malformed Compact Serialization"},
      {kHS256 + ".x", "Malformed Compact Serialization"},
      {"a.b.c.d.e", "Compact Serialization appears to be a JWE Token wich is not (yet) supported"},
      {"a.b.c.d.e.f", "Malformed Compact Serialization"},
  };
  for (const auto& c : cases) {
    try {
      VerifyJWT(c.token);
      ADD_FAILURE() << c.token << ": no exception";
    } catch (const EJWTMalformed& e) {
      EXPECT_STREQ(e.what(), c.message) << c.token;
    }
  }
}

TEST(JwtGenerateTest, CallbackTokenDependsOnTheKeyAlone) {
  // Computed outside this code base for header {"typ":"JWT","alg":"HS384"} and claims {}.
  const std::string expected =
      "eyJ0eXAiOiJKV1QiLCJhbGciOiJIUzM4NCJ9.e30."
      "aY9nEvDfAF73N9deAg_OA7uGA_oMVhBX9w4wZ4A-Q3FVfwFHqFMOwQ8jORkOYzXU";
  EXPECT_EQ(GenerateJWT(kJWTSharedKey), expected);
  EXPECT_EQ(GenerateJWT(kJWTSharedKey), expected);
  EXPECT_EQ(GenerateJWT(kJWTSharedKey, TJsonValue::MakeObject()), expected);
}

TEST(JwtGenerateTest, ClaimsAreWrittenByOurWriterAndVerify) {
  TJsonValue claims = TJsonValue::MakeObject();
  claims.AddString("url", "https://x").AddString("nome", "Sessão").AddInteger("n", 5);
  const std::string token = GenerateJWT("k", claims);
  const size_t a = token.find('.'), b = token.find('.', a + 1);
  EXPECT_EQ(Base64UrlDecode(token.substr(a + 1, b - a - 1), 1000),
            R"({"url":"https:\/\/x","nome":"Sess\u00E3o","n":5})");
  const TJWTVerification v = VerifyJWT(token, "k");
  ASSERT_TRUE(v.Verified);
  EXPECT_EQ(MemberText(v.Claims, "nome"), "Sessão");
  EXPECT_FALSE(VerifyJWT(token).Verified);
  EXPECT_THROW(GenerateJWT("k", TJsonValue::MakeArray()), std::invalid_argument);
}

}  // namespace
}  // namespace core
