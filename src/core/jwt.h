// Session and callback tokens: JWS compact serialisation with HMAC
// signatures (HS256, HS384, HS512) under one shared key. Verification of the
// session token presented in "/session/start", and generation of the token
// the service presents to the sales API. Pure functions, safe on any thread.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "core/json.h"

namespace core {

// The key shared with the token issuer and the sales API, used as its UTF-8
// bytes.
inline constexpr std::string_view kJWTSharedKey = "Hq4Lw8ZtNc2Vy6Rb1Xk9Pm3Ds7Gf5Ju0";

inline constexpr char kJWTMsgJWE[] =
    "Compact Serialization appears to be a JWE Token wich is not (yet) supported";
inline constexpr char kJWTMsgMalformed[] = "Malformed Compact Serialization";
// What the session start answers for a token that is not verified.
inline constexpr char kJWTMsgUnauthorized[] = "Acesso não autorizado.";
// What the router answers for a token that cannot be decoded.
inline constexpr char kJWTMsgUndecodable[] = "Dados de sessão inválidos.";

// The token is not three dot-separated parts: five parts (a JWE) give
// kJWTMsgJWE, any other count kJWTMsgMalformed. The message is meant for the
// front end as it is.
class EJWTMalformed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A part is not base64url, the header or claims are not JSON objects, the
// header has no "alg" or names one other than HS256/HS384/HS512 ("none"
// included), or the token is above the size limit. what() is
// kJWTMsgUndecodable.
class EJWTUndecodable : public std::runtime_error {
 public:
  EJWTUndecodable() : std::runtime_error(kJWTMsgUndecodable) {}
};

struct TJWTVerification {
  bool Verified = false;  // false: decodes, but the signature does not match
  TJsonValue Claims;      // the claims object; null unless Verified
};

// Longest token accepted (its claims carry the TEF settings of a session).
inline constexpr size_t kJWTMaxTokenBytes = 1 << 20;

// Parser limits for the decoded header and claims: small flat objects.
TJsonLimits JWTPartLimits();

// Verifies a session token with the key. Only "alg" of the header is looked
// at; no claim ("exp", "nbf", ...) is: a correctly signed token is accepted
// at any time. The signature is compared in constant time.
// Throws EJWTMalformed or EJWTUndecodable as described above.
TJWTVerification VerifyJWT(std::string_view token, std::string_view key = kJWTSharedKey);

// The compact serialisation of a token with header {"typ":"JWT","alg":"HS384"}
// and the given claims object (a null value: the empty object {}), both
// written by our JSON writer, signed with HMAC-SHA-384 under the key's bytes.
// std::invalid_argument when Claims is neither null nor an object.
std::string GenerateJWT(std::string_view SecretKey, const TJsonValue& Claims = {});

}  // namespace core
