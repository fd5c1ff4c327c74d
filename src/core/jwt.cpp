#include "core/jwt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>

#include "core/base64.h"

namespace core {

namespace {

const EVP_MD* DigestOf(const TJsonValue& header) {
  const TJsonValue* alg = header.Find("alg");
  if (!alg || !alg->IsString()) return nullptr;
  if (alg->Text() == "HS256") return EVP_sha256();
  if (alg->Text() == "HS384") return EVP_sha384();
  if (alg->Text() == "HS512") return EVP_sha512();
  return nullptr;
}

std::string Hmac(const EVP_MD* md, std::string_view key, std::string_view data) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int out_len = 0;
  static const unsigned char kNoKey = 0;
  const void* key_ptr = key.empty() ? &kNoKey : static_cast<const void*>(key.data());
  if (!HMAC(md, key_ptr, static_cast<int>(key.size()),
            reinterpret_cast<const unsigned char*>(data.data()), data.size(), out, &out_len)) {
    throw std::runtime_error("HMAC indisponível");
  }
  return std::string(reinterpret_cast<const char*>(out), out_len);
}

TJsonValue DecodeObjectPart(std::string_view part) {
  const auto bytes = Base64UrlDecode(part, kJWTMaxTokenBytes);
  if (!bytes) throw EJWTUndecodable();
  auto value = ParseJson(*bytes, JWTPartLimits());
  if (!value || !value->IsObject()) throw EJWTUndecodable();
  return std::move(*value);
}

}  // namespace

TJsonLimits JWTPartLimits() {
  TJsonLimits l;
  l.MaxBytes = kJWTMaxTokenBytes;
  l.MaxDepth = 32;
  l.MaxValues = 10000;
  return l;
}

TJWTVerification VerifyJWT(std::string_view token, std::string_view key) {
  const size_t dots = static_cast<size_t>(std::count(token.begin(), token.end(), '.'));
  if (dots == 4) throw EJWTMalformed(kJWTMsgJWE);
  if (dots != 2) throw EJWTMalformed(kJWTMsgMalformed);
  if (token.size() > kJWTMaxTokenBytes) throw EJWTUndecodable();
  const size_t dot1 = token.find('.');
  const size_t dot2 = token.find('.', dot1 + 1);
  const std::string_view parts[3] = {token.substr(0, dot1), token.substr(dot1 + 1, dot2 - dot1 - 1),
                                     token.substr(dot2 + 1)};

  const TJsonValue header = DecodeObjectPart(parts[0]);
  TJsonValue claims = DecodeObjectPart(parts[1]);
  const EVP_MD* md = DigestOf(header);
  if (!md) throw EJWTUndecodable();
  const auto signature = Base64UrlDecode(parts[2], kJWTMaxTokenBytes);
  if (!signature) throw EJWTUndecodable();

  const std::string_view signing_input = token.substr(0, parts[0].size() + 1 + parts[1].size());
  const std::string expected = Hmac(md, key, signing_input);
  TJWTVerification result;
  result.Verified = signature->size() == expected.size() &&
                    CRYPTO_memcmp(signature->data(), expected.data(), expected.size()) == 0;
  if (result.Verified) result.Claims = std::move(claims);
  return result;
}

std::string GenerateJWT(std::string_view SecretKey, const TJsonValue& Claims) {
  if (!Claims.IsNull() && !Claims.IsObject())
    throw std::invalid_argument("JWT claims must be a JSON object");
  TJsonValue header = TJsonValue::MakeObject();
  header.AddString("typ", "JWT").AddString("alg", "HS384");
  const std::string claims_json = Claims.IsNull() ? std::string("{}") : Claims.Serialize();
  const std::string signing_input =
      Base64UrlEncode(header.Serialize()) + "." + Base64UrlEncode(claims_json);
  return signing_input + "." + Base64UrlEncode(Hmac(EVP_sha384(), SecretKey, signing_input));
}

}  // namespace core
