// Token verification under arbitrary text: only the two documented failures
// may escape. When the input is a JSON object, a token generated for it as
// claims must verify and give the same claims back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json.h"
#include "core/jwt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const core::TJWTVerification v = core::VerifyJWT(text);
    if (v.Verified != v.Claims.IsObject()) abort();
  } catch (const core::EJWTMalformed&) {
  } catch (const core::EJWTUndecodable&) {
  }

  const auto claims = core::ParseJson(text, core::JWTPartLimits());
  if (claims && claims->IsObject()) {
    const std::string token = core::GenerateJWT("fuzz key", *claims);
    try {
      const core::TJWTVerification v = core::VerifyJWT(token, "fuzz key");
      if (!v.Verified || v.Claims.Serialize() != claims->Serialize()) abort();
    } catch (const core::EJWTUndecodable&) {
      // Only when the claims grew past the token size limit.
      if (token.size() <= core::kJWTMaxTokenBytes) abort();
    }
  }
  return 0;
}
