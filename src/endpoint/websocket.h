// WebSocket codec of the front-end connection: the server side of the opening
// handshake, reading one client message out of one or more frames, and
// encoding one outgoing text frame. Only what browsers send is handled: no
// extensions, subprotocols, ping replies or close status codes.
//
// These functions hold no state between calls and take no lock. The server
// reads each connection on that connection's reader thread only and writes
// every frame under the connection's WriteLock().
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "endpoint/connection.h"

namespace endpoint {

// Receives the codec's log lines ("Disconectado", "Erro na conversão: ...").
using TLogFn = std::function<void(const std::string&)>;

// The accept value of the handshake: Base64 (with padding) of the SHA-1 of the
// key followed by the protocol's fixed GUID.
std::string GenerateSecWebSocketAccept(const std::string& SecWebSocketKey);

// Reads the HTTP upgrade request up to its empty line and writes the 101
// response in one write. Only a line beginning exactly "Sec-WebSocket-Key:"
// is looked at (the last one wins; none means an empty key). Creates the
// connection's TClientData when missing and sets State to csConnected.
// Waits for the request as long as it takes; a request above 64 KiB closes
// the connection. Throws EConnectionClosed when the stream ends or fails.
void WebSocketHandshake(TConnection& conn);

// Limits of the message reader; tests shorten the stall time.
struct TWebSocketLimits {
  // Largest message (declared payloads of one message added up, and the
  // decompressed size of a gzip message).
  size_t MaxPayload = size_t{64} << 20;
  // Longest wait for the next byte once a message has begun.
  int StallTimeoutMs = 30000;
  // Longest wait for the first byte (negative: no limit). A caller that has
  // already seen input waiting on the connection bounds it by the stall
  // limit, so that a TLS record cut short cannot hold the read for ever.
  int FirstByteTimeoutMs = -1;
};

// Reads one complete client message and returns its text (UTF-8; invalid
// sequences become U+FFFD), or an empty text when there is none:
// - the first byte is awaited up to FirstByteTimeoutMs (by default as long
//   as it takes); after it, a gap of StallTimeoutMs without a byte closes the
//   connection and throws;
// - fragments (opcode 0) are joined; a ping or pong between them is passed
//   over (above 125 bytes it closes the connection and throws); a frame with
//   another data opcode after the first one drops what was gathered and
//   starts a new message;
// - a close frame (opcode 8) is answered with 88 00, the connection is closed,
//   "Disconectado" is logged and the result is empty;
// - a binary message starting 1F 8B is a gzip stream and is decompressed; a
//   damaged one logs "Erro na conversão: " + reason and yields empty;
// - a message above MaxPayload closes the connection without reading it and
//   throws EConnectionClosed; one that only its U+FFFD would take past it
//   logs "Erro na conversão: " + reason and yields empty.
// Reads exactly the bytes of the message: what follows stays in the
// connection for the next call. Unmasked frames are accepted.
// Read errors propagate (EConnectionClosed).
std::string ReadWebSocketMessage(TConnection& conn, const TLogFn& log,
                                 const TWebSocketLimits& limits = {});

// The ping the server sends to probe a front end: FIN, opcode 9, no payload.
// The peer's pong carries no payload either, so it reads as an empty message.
inline constexpr char kWebSocketPing[2] = {static_cast<char>(0x89), 0x00};

// One unmasked text frame with FIN set holding the UTF-8 text, header and
// payload in one buffer so that it goes out in a single write.
std::string EncodeWebSocketTextFrame(std::string_view text);

}  // namespace endpoint
