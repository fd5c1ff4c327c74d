#include "endpoint/websocket.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <optional>

#include "endpoint/unmask.h"
#include "platform/ansi.h"
#include "platform/text.h"

namespace endpoint {

namespace {

constexpr char kWebSocketGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr std::string_view kKeyHeader = "Sec-WebSocket-Key:";
constexpr size_t kMaxHandshakeBytes = 64 * 1024;
// Payloads are read in pieces of up to this size: a TLS record's worth.
constexpr size_t kReadPiece = 16 * 1024;

constexpr int kOpContinuation = 0;
constexpr int kOpBinary = 2;
constexpr int kOpClose = 8;

void Log(const TLogFn& log, const std::string& line) {
  if (log) log(line);
}

[[noreturn]] void CloseAndThrow(TConnection& conn, const char* why) {
  conn.Close();
  throw EConnectionClosed(why);
}

// Reads exactly n bytes. The first byte is awaited up to first_timeout_ms
// (negative: no limit), every later one up to stall_ms.
void ReadExact(TConnection& conn, uint8_t* buf, size_t n, int first_timeout_ms, int stall_ms) {
  size_t got = 0;
  int timeout = first_timeout_ms;
  while (got < n) {
    const size_t k = conn.Read(buf + got, n - got, timeout);
    if (k == 0) CloseAndThrow(conn, "Tempo esgotado aguardando dados do cliente.");
    got += k;
    timeout = stall_ms;
  }
}

// UTF-8 of a text message checked as its bytes arrive, a cache-sized step
// at a time while they are still in the cache, instead of in a pass over the
// whole message at the end. A character cut by a step's end waits for the
// next step.
class TUtf8Progress {
 public:
  // Checks the complete characters of text past those already checked, once
  // a step has gathered (everything, when final). text is what has arrived.
  void Advance(std::string_view text, bool final) {
    const size_t end = text.size();
    if (end - FChecked < kStep && !final) return;
    const size_t cut = final ? end : CompleteEnd(text, end);
    if (FValid) FValid = platform::IsValidUtf8(text.substr(FChecked, cut - FChecked));
    FChecked = cut;
  }
  bool Valid() const { return FValid; }

 private:
  static constexpr size_t kStep = 64 * 1024;

  // end, or the start of a character that end cuts short.
  size_t CompleteEnd(std::string_view text, size_t end) const {
    for (size_t back = 1; back <= 3 && back <= end - FChecked; ++back) {
      const auto b = static_cast<unsigned char>(text[end - back]);
      if ((b & 0xC0) == 0x80) continue;  // continuation: look further back
      const size_t needed = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      return needed > back ? end - back : end;
    }
    return end;
  }

  size_t FChecked = 0;
  bool FValid = true;
};

// Reads a frame's payload onto the end of out, unmasking each read where it
// lands (key null: not masked) and, when utf8 is given, checking it.
void AppendPayload(TConnection& conn, std::string& out, uint64_t length, int stall_ms,
                   const uint8_t* key = nullptr, TUtf8Progress* utf8 = nullptr) {
  // One allocation for the whole payload (its length is within the limit):
  // pages are touched as bytes arrive, not for the length a header claims.
  // Each read lands in a record-sized buffer that stays in the cache, is
  // unmasked there and appended, so no byte is zero-filled first.
  const size_t start = out.size();
  out.reserve(start + static_cast<size_t>(length));
  std::array<char, kReadPiece> piece;
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length, piece.size()));
    const size_t k = conn.Read(piece.data(), want, stall_ms);
    if (k == 0) CloseAndThrow(conn, "Tempo esgotado aguardando dados do cliente.");
    if (key) UnmaskInPlace(piece.data(), k, key, out.size() - start);
    out.append(piece.data(), k);
    length -= k;
    if (utf8) utf8->Advance(out, false);
  }
}

// Invalid sequences become U+FFFD, so that the text stays valid UTF-8. A
// text whose repair would pass max_bytes is dropped: a small gzip message
// inflates to the limit of bad bytes, which then triple.
std::string Repaired(std::string text, size_t max_bytes, const TLogFn& log) {
  std::optional<std::string> valid = platform::ToValidUtf8(std::move(text), max_bytes);
  if (valid) return std::move(*valid);
  Log(log, "Erro na conversão: texto acima do limite com os caracteres inválidos trocados");
  return {};
}

// RFC 1952 stream, concatenated members included. False with a reason on a
// damaged or truncated stream or when the output would pass max_bytes.
bool Gunzip(const std::string& in, size_t max_bytes, std::string& out, std::string& error) {
  z_stream zs{};
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
    error = "falha ao iniciar a descompactação";
    return false;
  }
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  std::array<Bytef, 64 * 1024> buf;
  bool ok = true;
  for (;;) {
    zs.next_out = buf.data();
    zs.avail_out = static_cast<uInt>(buf.size());
    const int rc = inflate(&zs, Z_NO_FLUSH);
    out.append(reinterpret_cast<const char*>(buf.data()), buf.size() - zs.avail_out);
    if (out.size() > max_bytes) {
      error = "dados descompactados acima do limite";
      ok = false;
      break;
    }
    if (rc == Z_STREAM_END) {
      if (zs.avail_in == 0) break;
      if (inflateReset(&zs) != Z_OK) {
        error = "falha ao reiniciar a descompactação";
        ok = false;
        break;
      }
      continue;
    }
    if (rc == Z_OK) continue;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
      error = "fim inesperado dos dados compactados";
    } else {
      error = zs.msg ? zs.msg : zError(rc);
    }
    ok = false;
    break;
  }
  inflateEnd(&zs);
  if (!ok) out.clear();
  return ok;
}

}  // namespace

std::string GenerateSecWebSocketAccept(const std::string& SecWebSocketKey) {
  const std::string input = SecWebSocketKey + kWebSocketGuid;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_len = 0;
  if (EVP_Digest(input.data(), input.size(), digest, &digest_len, EVP_sha1(), nullptr) != 1) {
    throw std::runtime_error("SHA-1 indisponível");
  }
  unsigned char b64[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
  const int n = EVP_EncodeBlock(b64, digest, static_cast<int>(digest_len));
  return std::string(reinterpret_cast<const char*>(b64), static_cast<size_t>(n));
}

void WebSocketHandshake(TConnection& conn) {
  std::string key;
  std::string line;
  size_t total = 0;
  bool ended = false;
  // Takes one byte of the request; true at its empty line.
  const auto take = [&](char ch) {
    if (++total > kMaxHandshakeBytes) CloseAndThrow(conn, "Pedido de handshake acima do limite.");
    if (ch != '\n') {
      line += ch;
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return true;
    if (line.compare(0, kKeyHeader.size(), kKeyHeader) == 0) {
      key = platform::TrimControle(std::string_view(line).substr(kKeyHeader.size()));
    }
    line.clear();
    return false;
  };
  std::array<uint8_t, 2048> chunk;
  while (!ended) {
    // The first frame may follow the request at once and must stay in the
    // connection: the request is looked at before it is taken, and only its
    // own bytes are taken (one at a time where the connection cannot peek).
    const size_t seen = conn.Peek(chunk.data(), chunk.size(), -1);
    if (seen == 0) {
      ReadExact(conn, chunk.data(), 1, -1, -1);
      ended = take(static_cast<char>(chunk[0]));
      continue;
    }
    size_t used = 0;
    while (used < seen && !ended) ended = take(static_cast<char>(chunk[used++]));
    ReadExact(conn, chunk.data(), used, -1, -1);
  }

  const std::string response =
      "HTTP/1.1 101 Switching Protocols\r\n"
      "Upgrade: websocket\r\n"
      "Connection: Upgrade\r\n"
      "Sec-WebSocket-Accept: " +
      GenerateSecWebSocketAccept(key) +
      "\r\n"
      "Access-Control-Allow-Origin: *\r\n"
      "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
      "Access-Control-Allow-Headers: Content-Type\r\n"
      "Access-Control-Allow-Credentials: true\r\n"
      "\r\n";
  conn.Write(response.data(), response.size());

  if (!conn.Data()) conn.SetData(std::make_unique<TClientData>());
  conn.Data()->State = csConnected;
}

std::string ReadWebSocketMessage(TConnection& conn, const TLogFn& log,
                                 const TWebSocketLimits& limits) {
  std::string message;
  TUtf8Progress utf8;
  int opcode = 0;
  bool first_frame = true;
  int first_byte_timeout = limits.FirstByteTimeoutMs;

  for (;;) {
    uint8_t head[2];
    ReadExact(conn, head, 2, first_byte_timeout, limits.StallTimeoutMs);
    // Once a message has begun, its next frame must not stall either.
    first_byte_timeout = limits.StallTimeoutMs;

    const bool fin = (head[0] & 0x80) != 0;
    const int frame_opcode = head[0] & 0x0F;
    const bool masked = (head[1] & 0x80) != 0;
    uint64_t length = head[1] & 0x7F;

    if (frame_opcode == kOpClose) {
      static constexpr uint8_t kCloseReply[2] = {0x88, 0x00};
      try {
        std::lock_guard<std::mutex> lock(conn.WriteLock());
        conn.Write(kCloseReply, sizeof kCloseReply);
      } catch (const std::exception&) {
        // The peer may already be gone; closing is all that is left to do.
      }
      conn.Close();
      Log(log, "Disconectado");
      return {};
    }

    // A ping or pong may come between the fragments of a message (a pong
    // answering our ping while the front end sends): it is passed over and
    // the message goes on, instead of being dropped.
    const bool control_inside = !first_frame && (frame_opcode & 0x08) != 0;
    if (control_inside) {
      // Nothing to do: read and dropped below.
    } else if (first_frame) {
      opcode = frame_opcode;
      first_frame = false;
    } else if (frame_opcode != kOpContinuation) {
      message.clear();
      opcode = frame_opcode;
    }

    if (length == 126 || length == 127) {
      uint8_t ext[8];
      const size_t n = length == 126 ? 2 : 8;
      ReadExact(conn, ext, n, limits.StallTimeoutMs, limits.StallTimeoutMs);
      length = 0;
      for (size_t i = 0; i < n; ++i) length = (length << 8) | ext[i];
    }
    // A control frame carries at most 125 bytes.
    if ((control_inside && length > 125) || length > limits.MaxPayload ||
        message.size() + length > limits.MaxPayload) {
      CloseAndThrow(conn, "Mensagem WebSocket acima do limite.");
    }

    uint8_t key[4] = {0, 0, 0, 0};
    if (masked) ReadExact(conn, key, 4, limits.StallTimeoutMs, limits.StallTimeoutMs);

    if (control_inside) {
      std::string dropped;
      AppendPayload(conn, dropped, length, limits.StallTimeoutMs);
      continue;
    }
    // A gzip message is checked once inflated; a new message after a
    // dropped one starts its check afresh.
    if (message.empty()) utf8 = TUtf8Progress();
    AppendPayload(conn, message, length, limits.StallTimeoutMs, masked ? key : nullptr,
                  opcode == kOpBinary ? nullptr : &utf8);
    if (fin) break;
  }

  if (message.empty()) return {};
  if (opcode == kOpBinary && message.size() >= 2 && static_cast<uint8_t>(message[0]) == 0x1F &&
      static_cast<uint8_t>(message[1]) == 0x8B) {
    std::string inflated, error;
    if (!Gunzip(message, limits.MaxPayload, inflated, error)) {
      Log(log, "Erro na conversão: " + error);
      return {};
    }
    message = std::move(inflated);  // the compressed bytes are let go first
  } else if (opcode != kOpBinary) {
    // A text was checked as it arrived: only a bad one is looked at again.
    utf8.Advance(message, true);
    if (utf8.Valid()) return message;
  }
  return Repaired(std::move(message), limits.MaxPayload, log);
}

std::string EncodeWebSocketTextFrame(std::string_view text) {
  const uint64_t n = text.size();
  std::string frame;
  frame.reserve(text.size() + 10);
  frame += static_cast<char>(0x81);
  if (n <= 125) {
    frame += static_cast<char>(n);
  } else if (n <= 0xFFFF) {
    frame += static_cast<char>(126);
    frame += static_cast<char>((n >> 8) & 0xFF);
    frame += static_cast<char>(n & 0xFF);
  } else {
    frame += static_cast<char>(127);
    for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>((n >> shift) & 0xFF);
  }
  frame.append(text);
  return frame;
}

}  // namespace endpoint
