#include "endpoint/websocket.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "endpoint/memory_connection.h"
#include "platform/ansi.h"

namespace endpoint {
namespace {

using testing::TMemoryConnection;

// A client frame; masked with a fixed key unless masked is false.
std::string Frame(int opcode, const std::string& payload, bool fin = true, bool masked = true) {
  std::string f;
  f += static_cast<char>((fin ? 0x80 : 0) | opcode);
  const char mask_bit = masked ? static_cast<char>(0x80) : 0;
  const uint64_t n = payload.size();
  if (n <= 125) {
    f += static_cast<char>(mask_bit | static_cast<char>(n));
  } else if (n <= 0xFFFF) {
    f += static_cast<char>(mask_bit | 126);
    f += static_cast<char>(n >> 8);
    f += static_cast<char>(n & 0xFF);
  } else {
    f += static_cast<char>(mask_bit | 127);
    for (int s = 56; s >= 0; s -= 8) f += static_cast<char>((n >> s) & 0xFF);
  }
  const char key[4] = {0x37, static_cast<char>(0xFA), 0x21, 0x3D};
  if (masked) f.append(key, 4);
  for (size_t i = 0; i < payload.size(); ++i)
    f += masked ? static_cast<char>(payload[i] ^ key[i % 4]) : payload[i];
  return f;
}

std::string Gzip(const std::string& data) {
  z_stream zs{};
  EXPECT_EQ(
      deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
      Z_OK);
  std::string out(deflateBound(&zs, data.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

class WebSocketReadTest : public ::testing::Test {
 protected:
  std::string Read(const TWebSocketLimits& limits = {}) {
    return ReadWebSocketMessage(
        conn, [this](const std::string& l) { log.push_back(l); }, limits);
  }
  TMemoryConnection conn;
  std::vector<std::string> log;
};

// --- Handshake ------------------------------------------------------------

TEST(WebSocketHandshakeTest, AcceptValueOfTheRfcSampleAndOfAnEmptyKey) {
  EXPECT_EQ(GenerateSecWebSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
  EXPECT_EQ(GenerateSecWebSocketAccept(""), "Kfh9QIsMVZcl6xEPYxPHzW8SZ8w=");
}

TEST(WebSocketHandshakeTest, AnswersTheSampleRequestInOneWriteAndKeepsTheFirstFrame) {
  const std::string request =
      "GET /chat HTTP/1.1\r\nHost: server.example.com\r\nUpgrade: websocket\r\n"
      "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
      "Origin: http://example.com\r\nSec-WebSocket-Protocol: chat, superchat\r\n"
      "Sec-WebSocket-Version: 13\r\n\r\n";
  // Whole, split inside the key and inside the final empty line; with and
  // without peeking.
  for (const size_t split : {request.size(), size_t{80}, request.size() - 1}) {
    for (const bool can_peek : {true, false}) {
      TMemoryConnection conn;
      conn.can_peek = can_peek;
      conn.Push(request.substr(0, split));
      conn.Push(request.substr(split) + Frame(1, "hi"));
      WebSocketHandshake(conn);
      ASSERT_EQ(conn.writes.size(), 1u);
      EXPECT_EQ(
          conn.writes[0],
          "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
          "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"
          "Access-Control-Allow-Origin: *\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
          "Access-Control-Allow-Headers: Content-Type\r\nAccess-Control-Allow-Credentials: "
          "true\r\n\r\n");
      ASSERT_NE(conn.Data(), nullptr);
      EXPECT_EQ(conn.Data()->State, csConnected);
      EXPECT_EQ(conn.Unread(), Frame(1, "hi"));
    }
  }
}

TEST(WebSocketHandshakeTest, KeyLineMatching) {
  const std::string kSample = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";
  const std::string kEmpty = "Kfh9QIsMVZcl6xEPYxPHzW8SZ8w=";
  struct Case {
    const char* request;
    const std::string& accept;
  } cases[] = {
      {"GET / HTTP/1.1\r\nsec-websocket-key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n", kEmpty},
      {"GET / HTTP/1.1\r\nSEC-WEBSOCKET-KEY: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n", kEmpty},
      {"GET / HTTP/1.1\r\n\r\n", kEmpty},
      {"GET / HTTP/1.1\nSec-WebSocket-Key:dGhlIHNhbXBsZSBub25jZQ==\n\n", kSample},
      {"GET / HTTP/1.1\r\nSec-WebSocket-Key: \t dGhlIHNhbXBsZSBub25jZQ== \t\r\n\r\n", kSample},
      {"GET / HTTP/1.1\r\nSec-WebSocket-Key: other\r\nSec-WebSocket-Key: "
       "dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       kSample},
  };
  for (const auto& c : cases) {
    TMemoryConnection conn;
    conn.Push(c.request);
    WebSocketHandshake(conn);
    EXPECT_NE(conn.Written().find("Sec-WebSocket-Accept: " + c.accept + "\r\n"), std::string::npos)
        << c.request;
  }
}

TEST(WebSocketHandshakeTest, KeepsExistingClientDataAndClosesOnAnEndlessRequest) {
  TMemoryConnection conn;
  conn.SetData(std::make_unique<TClientData>());
  TClientData* data = conn.Data();
  conn.Push("GET / HTTP/1.1\r\n\r\n");
  WebSocketHandshake(conn);
  EXPECT_EQ(conn.Data(), data);
  EXPECT_EQ(data->State, csConnected);

  TMemoryConnection endless;
  endless.Push("GET / HTTP/1.1\r\nX: " + std::string(70000, 'a'));
  EXPECT_THROW(WebSocketHandshake(endless), EConnectionClosed);
  EXPECT_FALSE(endless.Connected());
  EXPECT_TRUE(endless.writes.empty());
}

// --- Reading messages -----------------------------------------------------

TEST_F(WebSocketReadTest, DeliversEachKindOfMessageAsOneText) {
  const std::string json = R"({"route":"/session/start","x":"Sessão"})";
  const std::string big(70000, 'z');
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"masked text", Frame(1, json), json},
      {"unmasked text", Frame(1, json, true, false), json},
      {"three fragments", Frame(1, "{\"a\":", false) + Frame(0, "\"b", false) + Frame(0, "c\"}"),
       "{\"a\":\"bc\"}"},
      {"plain binary", Frame(2, json), json},
      {"gzip binary", Frame(2, Gzip(json)), json},
      {"gzip in fragments",
       Frame(2, Gzip(json).substr(0, 5), false) + Frame(0, Gzip(json).substr(5)), json},
      {"two gzip members", Frame(2, Gzip("ab") + Gzip("cd")), "abcd"},
      {"16-bit length", Frame(1, std::string(300, 'y')), std::string(300, 'y')},
      {"64-bit length", Frame(1, big), big},
      {"invalid UTF-8 replaced",
       Frame(1,
             "a\xFF"
             "b\xC3"),
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"},
      {"ends in a broken sequence", Frame(1, "ok\xB7"), "ok\xEF\xBF\xBD"},
      {"empty text", Frame(1, ""), ""},
      {"ping with data", Frame(9, "x"), "x"},
      {"new opcode drops fragments", Frame(1, "lost", false) + Frame(1, "kept"), "kept"},
      {"pong between fragments", Frame(1, "{\"a\":", false) + Frame(10, "") + Frame(0, "1}"),
       "{\"a\":1}"},
      {"ping between fragments", Frame(1, "ab", false) + Frame(9, "p", true, false) + Frame(0, "c"),
       "abc"},
  };
  for (const auto& c : cases) {
    TMemoryConnection fresh;
    fresh.Push(c.bytes);
    EXPECT_EQ(ReadWebSocketMessage(fresh, nullptr), c.text) << c.name;
    EXPECT_TRUE(fresh.Connected()) << c.name;
    EXPECT_EQ(fresh.Unread(), "") << c.name;
    EXPECT_TRUE(fresh.writes.empty()) << c.name;
  }
}

// A long text is unmasked and its UTF-8 checked read by read: characters cut
// between reads, frames or check steps, and bad bytes anywhere, must come out
// as from one pass over the whole.
TEST_F(WebSocketReadTest, LongTextCheckedAsItArrivesMatchesOnePass) {
  std::string payload;
  for (int i = 0; payload.size() < 300000; ++i) {
    payload += "ab\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 1, 2, 3 and 4-byte characters
    if (i % 9000 == 8999) payload += "\xF0\x9F";          // a character cut short
    if (i % 7001 == 7000) payload += "\xFF";              // a byte no character has
  }
  const std::string clean = payload.substr(0, 100000) + "z";
  struct Case {
    const char* name;
    std::string text;
    std::vector<size_t> reads;  // sizes the bytes arrive in, repeated
  } cases[] = {
      {"valid, odd reads", clean, {4093, 1, 3, 7}},
      {"valid, byte by byte at first", clean, {1}},
      {"bad bytes, odd reads", payload, {65537, 2, 16384}},
      {"bad bytes, tiny reads", payload, {5, 11}},
  };
  for (const auto& c : cases) {
    const size_t half = c.text.size() / 2 + 1;  // inside a character
    const std::string bytes =
        Frame(1, c.text.substr(0, half), false) + Frame(0, c.text.substr(half));
    TMemoryConnection fresh;
    size_t at = 0;
    for (size_t i = 0; at < bytes.size(); ++i) {
      const size_t n = c.reads[i % c.reads.size()];
      fresh.Push(bytes.substr(at, n));
      at += n;
      if (i > 200000) break;  // byte by byte only at first
    }
    fresh.Push(bytes.substr(std::min(at, bytes.size())));
    EXPECT_EQ(ReadWebSocketMessage(fresh, nullptr), *platform::ToValidUtf8(c.text)) << c.name;
  }
}

TEST_F(WebSocketReadTest, MessagesBackToBackAreReadByTwoCalls) {
  conn.Push(Frame(1, "{\"answer\":1}") + Frame(1, "{\"route\":\"/transaction/cancel\"}"));
  EXPECT_EQ(Read(), "{\"answer\":1}");
  EXPECT_EQ(conn.Unread(), Frame(1, "{\"route\":\"/transaction/cancel\"}"));
  EXPECT_EQ(Read(), "{\"route\":\"/transaction/cancel\"}");
}

TEST_F(WebSocketReadTest, SlowPayloadIsReadWhole) {
  const std::string payload(20000, 'p');
  const std::string f = Frame(1, payload);
  conn.Push(f.substr(0, 1), 5000);  // the first byte may take as long as it likes
  conn.Push(f.substr(1, 100), 200);
  conn.Push(f.substr(101, 9000), 29000);
  conn.Push(f.substr(9101), 1000);
  EXPECT_EQ(Read(), payload);
  ASSERT_FALSE(conn.read_timeouts.empty());
  EXPECT_EQ(conn.read_timeouts.front(), -1);
  for (size_t i = 1; i < conn.read_timeouts.size(); ++i) EXPECT_EQ(conn.read_timeouts[i], 30000);
}

TEST_F(WebSocketReadTest, StallInsideAMessageClosesTheConnection) {
  const std::string f = Frame(1, "hello");
  const std::string split_points[] = {"header", "payload", "next fragment"};
  for (const auto& where : split_points) {
    TMemoryConnection c;
    if (where == "header") {
      c.Push(f.substr(0, 1));
      c.Push(f.substr(1), 51);
    } else if (where == "payload") {
      c.Push(f.substr(0, 8));
      c.Push(f.substr(8), 51);
    } else {
      c.Push(Frame(1, "hel", false));
      c.Push(Frame(0, "lo"), 51);
    }
    EXPECT_THROW(ReadWebSocketMessage(c, nullptr, {size_t{1} << 20, 50}), EConnectionClosed)
        << where;
    EXPECT_FALSE(c.Connected()) << where;
  }
  // Just inside the limit is still one message.
  conn.Push(f.substr(0, 8));
  conn.Push(f.substr(8), 50);
  EXPECT_EQ(Read({size_t{1} << 20, 50}), "hello");
}

TEST_F(WebSocketReadTest, CloseFrameIsAnsweredAndClosesTheConnection) {
  conn.Push(Frame(8, "\x03\xE8"));
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(conn.Written(), std::string("\x88\x00", 2));
  EXPECT_FALSE(conn.Connected());
  EXPECT_EQ(log, std::vector<std::string>{"Disconectado"});

  TMemoryConnection gone;
  gone.fail_writes = true;
  gone.Push(Frame(8, ""));
  std::vector<std::string> lines;
  EXPECT_EQ(ReadWebSocketMessage(gone, [&](const std::string& l) { lines.push_back(l); }), "");
  EXPECT_FALSE(gone.Connected());
  EXPECT_EQ(lines, std::vector<std::string>{"Disconectado"});
}

TEST_F(WebSocketReadTest, DamagedGzipYieldsEmptyTextAndALogLine) {
  const std::string gz = Gzip(R"({"route":"/version"})");
  std::string corrupt = gz;
  corrupt[12] = static_cast<char>(corrupt[12] ^ 0x55);
  const std::string bomb = Gzip(std::string(5000, '0'));
  const struct {
    const char* name;
    std::string payload;
  } cases[] = {
      {"corrupt", corrupt},
      {"truncated", gz.substr(0, gz.size() - 6)},
      {"bare magic", "\x1F\x8B"},
      {"over the size limit", bomb},
  };
  for (const auto& c : cases) {
    TMemoryConnection fresh;
    fresh.Push(Frame(2, c.payload) + Frame(1, "next"));
    std::vector<std::string> lines;
    const auto logger = [&](const std::string& l) { lines.push_back(l); };
    EXPECT_EQ(ReadWebSocketMessage(fresh, logger, {4096, 30000}), "") << c.name;
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0].rfind("Erro na conversão: ", 0), 0u) << lines[0];
    EXPECT_GT(lines[0].size(), std::string("Erro na conversão: ").size()) << c.name;
    EXPECT_TRUE(fresh.Connected()) << c.name;
    EXPECT_EQ(ReadWebSocketMessage(fresh, logger), "next") << c.name;
  }
}

// Each bad byte becomes a three-byte U+FFFD: a message whose repair would
// pass the limit is dropped before it is built (a 64 KB gzip message of bad
// bytes inflates to the limit and would take three times that again).
TEST_F(WebSocketReadTest, RepairPastTheLimitDropsTheMessage) {
  const std::string bad(2000, '\xFF');
  const struct {
    const char* name;
    std::string frame;
  } cases[] = {{"text", Frame(1, bad)}, {"binary", Frame(2, bad)}, {"gzip", Frame(2, Gzip(bad))}};
  for (const auto& c : cases) {
    TMemoryConnection fresh;
    fresh.Push(c.frame + Frame(1, bad.substr(0, 1365)));
    std::vector<std::string> lines;
    const auto logger = [&](const std::string& l) { lines.push_back(l); };
    EXPECT_EQ(ReadWebSocketMessage(fresh, logger, {4096, 30000}), "") << c.name;
    EXPECT_EQ(lines, std::vector<std::string>{"Erro na conversão: texto acima do limite com os "
                                              "caracteres inválidos trocados"})
        << c.name;
    EXPECT_TRUE(fresh.Connected()) << c.name;
    std::string repaired;  // just within the limit
    for (int i = 0; i < 1365; ++i) repaired += "\xEF\xBF\xBD";
    EXPECT_EQ(ReadWebSocketMessage(fresh, logger, {4096, 30000}), repaired) << c.name;
  }
}

TEST_F(WebSocketReadTest, OversizeMessageClosesWithoutReadingIt) {
  // Header of a 64 MiB + 1 payload followed by a few bytes of it.
  std::string head = "\x81\xFF";
  const uint64_t n = (uint64_t{64} << 20) + 1;
  for (int s = 56; s >= 0; s -= 8) head += static_cast<char>((n >> s) & 0xFF);
  conn.Push(head + "KEY!" + "payload");
  EXPECT_THROW(Read(), EConnectionClosed);
  EXPECT_FALSE(conn.Connected());
  EXPECT_EQ(conn.Unread(), "KEY!payload");

  // Fragments count together.
  TMemoryConnection frags;
  frags.Push(Frame(1, std::string(60, 'a'), false) + Frame(0, std::string(60, 'b')));
  EXPECT_THROW(ReadWebSocketMessage(frags, nullptr, {100, 30000}), EConnectionClosed);
  EXPECT_FALSE(frags.Connected());

  // A 64-bit length with the top bit set is refused the same way.
  TMemoryConnection huge;
  huge.Push(std::string("\x81\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10));
  EXPECT_THROW(ReadWebSocketMessage(huge, nullptr), EConnectionClosed);
}

TEST_F(WebSocketReadTest, PeerEndingTheStreamPropagates) {
  conn.Push(Frame(1, "hello").substr(0, 7));
  EXPECT_THROW(Read(), EConnectionClosed);
}

// --- Writing --------------------------------------------------------------

TEST(WebSocketEncodeTest, UsesTheThreeLengthForms) {
  const struct {
    size_t n;
    std::string header;
  } cases[] = {
      {0, std::string("\x81\x00", 2)},
      {125, "\x81\x7D"},
      {126, std::string("\x81\x7E\x00\x7E", 4)},
      {65535, std::string("\x81\x7E\xFF\xFF", 4)},
      {65536, std::string("\x81\x7F\x00\x00\x00\x00\x00\x01\x00\x00", 10)},
  };
  for (const auto& c : cases) {
    const std::string payload(c.n, 'j');
    const std::string frame = EncodeWebSocketTextFrame(payload);
    ASSERT_EQ(frame.size(), c.header.size() + c.n) << c.n;
    EXPECT_EQ(frame.substr(0, c.header.size()), c.header) << c.n;
    EXPECT_EQ(frame.substr(c.header.size()), payload) << c.n;
  }
}

TEST(WebSocketEncodeTest, EncodedFrameReadsBackUnmasked) {
  TMemoryConnection conn;
  const std::string text = "{\"type\":\"message\",\"message\":\"Sess\\u00E3o\"}";
  conn.Push(EncodeWebSocketTextFrame(text) + EncodeWebSocketTextFrame(std::string(70000, 'k')));
  EXPECT_EQ(ReadWebSocketMessage(conn, nullptr), text);
  EXPECT_EQ(ReadWebSocketMessage(conn, nullptr), std::string(70000, 'k'));
}

}  // namespace
}  // namespace endpoint
