// Frame reader under arbitrary client bytes. The first two bytes choose how
// the rest arrives (chunk size, simulated gaps, handshake first or not);
// the rest is what the client sends. Every text returned must be valid UTF-8
// and survive our own encoder, and, while no gap reaches the stall limit,
// the texts must not depend on how the bytes were cut into reads (payloads
// are unmasked and checked read by read).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "endpoint/memory_connection.h"
#include "endpoint/websocket.h"
#include "platform/ansi.h"

namespace {

bool IsValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    if (platform::DecodeUtf8(s, i) < 0) return false;
  }
  return true;
}

// The texts read until the connection closes, then "#closed".
std::vector<std::string> ReadAll(endpoint::testing::TMemoryConnection& conn, bool handshake,
                                 const endpoint::TWebSocketLimits& limits) {
  std::vector<std::string> texts;
  try {
    if (handshake) endpoint::WebSocketHandshake(conn);
    while (conn.Connected()) {
      std::string text = endpoint::ReadWebSocketMessage(conn, nullptr, limits);
      if (!IsValidUtf8(text)) abort();
      endpoint::testing::TMemoryConnection echo;
      echo.Push(endpoint::EncodeWebSocketTextFrame(text));
      if (!text.empty() && endpoint::ReadWebSocketMessage(echo, nullptr, limits) != text) abort();
      texts.push_back(std::move(text));
    }
  } catch (const endpoint::EConnectionClosed&) {
  }
  texts.emplace_back("#closed");
  return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t chunk = 1 + (data[0] & 0x7F);
  const bool handshake = (data[1] & 1) != 0;
  const int delay = ((data[1] >> 1) & 3) * 10;  // 30 ms exceeds the stall limit below
  const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);

  endpoint::TWebSocketLimits limits;
  limits.MaxPayload = 1 << 20;
  limits.StallTimeoutMs = 25;

  endpoint::testing::TMemoryConnection conn;
  for (size_t i = 0; i < bytes.size(); i += chunk)
    conn.Push(bytes.substr(i, chunk), i == 0 ? 0 : delay);
  const std::vector<std::string> texts = ReadAll(conn, handshake, limits);

  if (delay < limits.StallTimeoutMs) {
    endpoint::testing::TMemoryConnection whole;
    whole.Push(bytes);
    if (ReadAll(whole, handshake, limits) != texts) abort();
  }
  return 0;
}
