"""WebSocket handshake and framing, seen from the wire."""

import asyncio
import codecs
import gzip
import json
import os
import socket
import ssl
import struct

from conftest import default_claims, make_token

SAMPLE_KEY = "dGhlIHNhbXBsZSBub25jZQ=="
SAMPLE_ACCEPT = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo="


class RawClient:
    """A TLS socket speaking WebSocket by hand, to see exact bytes."""

    def __init__(self, svc):
        ctx = svc.ssl_context()
        raw = socket.create_connection(("127.0.0.1", svc.port), timeout=10)
        self.sock = ctx.wrap_socket(raw, server_hostname="localhost")
        self.buf = b""

    def handshake(self, key_line="Sec-WebSocket-Key: " + SAMPLE_KEY):
        req = ("GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n"
               "Connection: Upgrade\r\n%s\r\nSec-WebSocket-Version: 13\r\n\r\n" % key_line)
        self.sock.sendall(req.encode())
        while b"\r\n\r\n" not in self.buf:
            self.buf += self.sock.recv(4096)
        head, self.buf = self.buf.split(b"\r\n\r\n", 1)
        return head.decode().split("\r\n")

    def frame(self, payload, opcode=1, fin=True, mask=True):
        b0 = (0x80 if fin else 0) | opcode
        n = len(payload)
        if n <= 125:
            head = bytes([b0, (0x80 if mask else 0) | n])
        elif n <= 65535:
            head = bytes([b0, (0x80 if mask else 0) | 126]) + struct.pack(">H", n)
        else:
            head = bytes([b0, (0x80 if mask else 0) | 127]) + struct.pack(">Q", n)
        if not mask:
            return head + payload
        key = os.urandom(4)
        return head + key + bytes(b ^ key[i % 4] for i, b in enumerate(payload))

    def send(self, data):
        self.sock.sendall(data)

    def read_exact(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed")
            self.buf += chunk
        out, self.buf = self.buf[:n], self.buf[n:]
        return out

    def read_frame(self):
        head = self.read_exact(2)
        n = head[1] & 0x7F
        ext = b""
        if n == 126:
            ext = self.read_exact(2)
            n = struct.unpack(">H", ext)[0]
        elif n == 127:
            ext = self.read_exact(8)
            n = struct.unpack(">Q", ext)[0]
        return head + ext, self.read_exact(n)

    def close(self):
        self.sock.close()


def test_handshake_answers_the_sample_key_with_cors_headers(svc):
    c = RawClient(svc)
    assert c.handshake() == [
        "HTTP/1.1 101 Switching Protocols",
        "Upgrade: websocket",
        "Connection: Upgrade",
        "Sec-WebSocket-Accept: " + SAMPLE_ACCEPT,
        "Access-Control-Allow-Origin: *",
        "Access-Control-Allow-Methods: GET, POST, OPTIONS",
        "Access-Control-Allow-Headers: Content-Type",
        "Access-Control-Allow-Credentials: true",
    ]
    c.close()


def test_lower_case_key_header_is_not_recognised(svc):
    c = RawClient(svc)
    lines = c.handshake("sec-websocket-key: " + SAMPLE_KEY)
    # accept of the empty key
    assert lines[3] == "Sec-WebSocket-Accept: Kfh9QIsMVZcl6xEPYxPHzW8SZ8w="
    c.close()


def test_fragments_binary_and_back_to_back_messages(svc):
    c = RawClient(svc)
    c.handshake()
    empty = b"{}"
    expected = {"type": "error", "message": "Campo route nao encontrado."}
    # three fragments; gzip binary; plain binary; two messages in one write
    c.send(c.frame(b"{", fin=False) + c.frame(b" ", opcode=0, fin=False) + c.frame(b"}", opcode=0))
    c.send(c.frame(gzip.compress(json.dumps({"a": "ç"}).encode()), opcode=2))
    c.send(c.frame(empty, opcode=2, mask=False))  # unmasked is accepted
    c.send(c.frame(empty) + c.frame(empty))
    for _ in range(5):
        _, payload = c.read_frame()
        assert json.loads(payload) == expected
    c.close()


def test_damaged_gzip_is_logged_and_not_routed(svc):
    c = RawClient(svc)
    c.handshake()
    c.send(c.frame(b"\x1f\x8bnot really gzip", opcode=2))
    c.send(c.frame(b"{}"))
    _, payload = c.read_frame()
    assert json.loads(payload)["message"] == "Campo route nao encontrado."
    svc.wait_log("Erro na conversão: ")
    c.close()


def test_close_frame_is_answered_and_logged(svc):
    c = RawClient(svc)
    c.handshake()
    c.send(c.frame(b"", opcode=8))
    assert c.read_exact(2) == b"\x88\x00"
    svc.wait_log("Disconectado")
    c.close()


def reply_of_length(c, total):
    prefix = '{"type":"error","message":"\''
    suffix = '\' is not a valid integer value"}'
    filler = "x" * (total - len(prefix) - len(suffix))
    token = make_token(default_claims(sale_id=filler))
    c.send(c.frame(json.dumps({"route": "/session/start", "type": "session",
                               "token": token}).encode()))
    while True:
        head, payload = c.read_frame()
        if json.loads(payload)["type"] != "message":
            assert len(payload) == total
            return head


def test_replies_use_the_three_length_forms(svc):
    c = RawClient(svc)
    c.handshake()
    assert reply_of_length(c, 125) == b"\x81\x7d"
    assert reply_of_length(c, 126) == b"\x81\x7e\x00\x7e"
    assert reply_of_length(c, 65536) == b"\x81\x7f\x00\x00\x00\x00\x00\x01\x00\x00"
    c.close()


def test_browser_grade_client_fragments_and_binary(svc):
    client = svc.connect()
    client._run(client.ws.send(["{", '"route":', '"x"}']))  # fragmented text
    assert client.recv()["message"] == "Campo session_uuid nao encontrado."
    client._run(client.ws.send(b"{}"))
    assert client.recv()["message"] == "Campo route nao encontrado."
    client.close()


def test_silent_peers_hold_no_door_and_reconnections_are_served(svc):
    # Connections that never finish their TLS handshake (more than the
    # threads kept waiting for one) leave the door open to the next.
    silent = [socket.create_connection(("127.0.0.1", svc.port), timeout=10) for _ in range(4)]
    silent[0].sendall(b"\x16\x03\x01\x02\x00\x01")  # a ClientHello that stops
    try:
        for _ in range(6):  # each closes before the next comes, as a reload does
            c = RawClient(svc)
            assert c.handshake()[0] == "HTTP/1.1 101 Switching Protocols"
            c.send(c.frame(b'{"route":"/nope"}'))
            _, body = c.read_frame()
            assert json.loads(body) == {"type": "error",
                                        "message": "Campo session_uuid nao encontrado."}
            c.close()
    finally:
        for s in silent:
            s.close()


def each_bad_byte_replaced(data):
    """The service's repair: every byte of a bad sequence becomes one U+FFFD."""
    return data.decode("utf-8", "each-bad-byte")


codecs.register_error("each-bad-byte", lambda e: ("\ufffd" * (e.end - e.start), e.end))


def test_large_text_cut_anywhere_is_read_whole_with_bad_bytes_replaced(svc):
    # A message of 800 KB of 1- to 4-byte characters, with a character cut
    # short and a stray byte at every 16 KiB (TLS records, the reader's pieces,
    # its 64 KiB check steps), in fragments of odd sizes with pings and pongs
    # between them: masked, unmasked and gzipped. The sale_id error echoes it.
    c = RawClient(svc)
    c.handshake()
    token = make_token(default_claims())
    c.send(c.frame(json.dumps({"route": "/session/start", "type": "session",
                               "token": token}).encode()))
    while True:
        reply = json.loads(c.read_frame()[1])
        if reply["type"] != "message":
            break
    head = ('{"route":"/transaction/status","type":"status","session_uuid":"%s","sale_id":"'
            % reply["session_uuid"]).encode()
    message = bytearray(head + ("aé€😀" * 80000).encode() + b'"}')
    for at in range(16384, len(message) - 16, 16384):
        message[at - 2:at] = b"\xF0\x9F"
        message[at + 1] = 0xFF
    message = bytes(message)
    expected = "'%s' is not a valid integer value" % each_bad_byte_replaced(message[len(head):-2])

    def fragments(data, opcode, mask):
        out, at, sizes = b"", 0, [65537, 7, 16383, 1, 100003]
        for i in range(len(data)):
            n = sizes[i % len(sizes)]
            last = at + n >= len(data)
            out += c.frame(data[at:at + n], opcode if at == 0 else 0, fin=last, mask=mask)
            at += n
            if last:
                return out
            if i % 2:
                out += c.frame(b"p", opcode=9 if i % 4 == 1 else 10, mask=mask)

    for name, frames in [("masked", fragments(message, 1, True)),
                         ("unmasked", fragments(message, 1, False)),
                         ("gzip", fragments(gzip.compress(message), 2, True))]:
        c.send(frames)
        assert json.loads(c.read_frame()[1])["message"] == expected, name
    c.close()
