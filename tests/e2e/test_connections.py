"""Several connections at once: a stalled or silent peer, a second front end and a
reconnecting one must not freeze, crash or misroute a payment."""

import asyncio
import socket
import ssl
import struct
import threading
import time

from conftest import FrontEnd, default_claims, make_token, session_start, transaction

TEF_BUSY = {"type": "error", "message": "Transação TEF em andamento."}


class BioPeer:
    """A TLS client whose encrypted bytes the test sends itself, so that it can
    stop in the middle of a TLS record."""

    def __init__(self, svc):
        self.sock = socket.create_connection(("127.0.0.1", svc.port), timeout=10)
        self.incoming, self.outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.tls = svc.ssl_context().wrap_bio(self.incoming, self.outgoing,
                                              server_hostname="localhost")
        while True:
            try:
                self.tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self._flush()
                self.incoming.write(self._recv())
        self._flush()
        self.write(b"GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n"
                   b"Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                   b"Sec-WebSocket-Version: 13\r\n\r\n")
        reply = b""
        while b"\r\n\r\n" not in reply:
            try:
                reply += self.tls.read(4096)
            except ssl.SSLWantReadError:
                self.incoming.write(self._recv())
        assert reply.startswith(b"HTTP/1.1 101")

    def _recv(self):
        data = self.sock.recv(65536)
        if not data:
            raise ConnectionError("closed")
        return data

    def _flush(self):
        data = self.outgoing.read()
        if data:
            self.sock.sendall(data)

    def write(self, data):
        self.tls.write(data)
        self._flush()

    def partial_record(self, data, keep):
        """Sends only the first `keep` bytes of the TLS record holding data."""
        self.tls.write(data)
        self.sock.sendall(self.outgoing.read()[:keep])

    def close(self):
        self.sock.close()


def masked_frame(payload):
    key = b"\x01\x02\x03\x04"
    return bytes([0x81, 0x80 | len(payload)]) + key + \
        bytes(b ^ key[i % 4] for i, b in enumerate(payload))


def timed(fn):
    start = time.monotonic()
    value = fn()
    return value, time.monotonic() - start


def test_a_stalled_peer_delays_nobody(tef_service, tef_client, tef_session):
    tef_client.send(transaction(tef_session, operation=0, transaction_value="12,00"))
    fe = FrontEnd(tef_client, menu=["Credito"])
    menu = tef_client.recv()
    while menu["type"] != "menu":
        menu = tef_client.recv()
    # One peer stops inside a TLS record, the other inside a frame header.
    stalled = [BioPeer(tef_service), BioPeer(tef_service)]
    stalled[0].partial_record(masked_frame(b'{"route":"/version"}'), 3)
    stalled[1].write(b"\x81")
    time.sleep(0.5)  # both are now reading what will not come

    other = tef_service.connect()
    reply, took = timed(lambda: other.request({}))
    assert reply["message"] == "Campo route nao encontrado." and took < 1.0
    fe.answer(menu)
    nxt, took = timed(tef_client.recv)
    assert nxt["type"] != "result" and took < 1.0
    fe.seen.append(nxt)
    fe.answer(nxt)
    result = fe.until_result()
    assert result["status"] == "approved"
    other.close()
    for p in stalled:
        p.close()


def test_session_start_raced_with_a_transaction(tef_service, tef_client, tef_session):
    url = tef_service.sales_api.url
    other = tef_service.connect(timeout=60)
    paid = 0
    for i in range(20):
        # A changed store code reconfigures the library under the race.
        token = make_token(default_claims(sale_id=5000 + i, callback_url=url,
                                          store_code="0000000%d" % (i % 2)))
        other.send({"route": "/session/start", "type": "session", "token": token})
        tef_client.send(transaction(tef_session, operation=3, transaction_value="11,00"))
        result = FrontEnd(tef_client).until_result()
        if result["type"] == "error":
            assert result == TEF_BUSY
        else:
            assert result["status"] == "approved", result
            assert result["transaction_data"][0]["sale_id"] == 1001
            paid += 1
        while True:
            reply = other.recv(timeout=30)
            if reply["type"] != "message":
                break
        assert reply == TEF_BUSY or reply["status"] == "created", reply
    requests = tef_service.sales_api.requests
    assert len(requests) == paid
    assert all(r.json["transaction_data"][0]["sale_id"] == 1001 for r in requests)
    other.close()


def test_another_connection_is_answered_on_its_own(tef_service, tef_client, tef_session):
    tef_client.send(transaction(tef_session, operation=0, transaction_value="12,00"))
    first = tef_client.recv()
    other = tef_service.connect()
    assert other.request({"route": "/nada", "session_uuid": "x"}) == \
        {"type": "error", "message": "Sessão inválida."}
    assert other.request({"route": "/initialize", "session_uuid": tef_session,
                          "type": "initialize"}) == TEF_BUSY
    assert session_start(other, callback_url=tef_service.sales_api.url) == TEF_BUSY
    other.send(transaction(tef_session, operation=3, transaction_value="99,00"))
    other.nothing_within(1.0)  # a second transaction stays silent

    fe = FrontEnd(tef_client)
    fe.seen.append(first)
    fe.answer(first)
    result = fe.until_result()
    assert result["status"] == "approved"
    assert result["transaction_data"][0]["transaction_value"] == 12
    assert "error" not in fe.kinds()  # nothing of the other connection came here
    assert len(tef_service.sales_api.requests) == 1
    # Once the payment is over (the result may just precede its end), the
    # other connection may start a session again.
    for _ in range(20):
        reply = session_start(other, callback_url=tef_service.sales_api.url)
        if reply != TEF_BUSY:
            break
        time.sleep(0.05)
    assert reply["status"] == "created"
    other.close()


def test_a_reconnecting_front_end_takes_the_payment_over(tef_service, tef_client, tef_session):
    tef_client.send(transaction(tef_session, operation=0, transaction_value="12,00"))
    menu = tef_client.recv()
    while menu["type"] != "menu":
        menu = tef_client.recv()
    # The browser's socket goes silent (no pong, no FIN): it is found out.
    tef_service.wait_log("Conexão do pagamento sem resposta: encerrada.", timeout=25)
    back = tef_service.connect(timeout=30)
    back.send({"route": "/session/start", "type": "session",
               "token": make_token(default_claims(callback_url=tef_service.sales_api.url))})
    got = [back.recv(), back.recv()]
    assert TEF_BUSY in got
    again = next(m for m in got if m != TEF_BUSY)
    assert again == menu  # the pending prompt, sent again
    fe = FrontEnd(back, menu=["Credito"])
    fe.answer(again)
    result = fe.until_result()
    assert result["status"] == "approved"
    assert len(tef_service.sales_api.requests) == 1
    back.close()


def test_a_late_cancel_changes_nothing(tef_service, tef_client, tef_session):
    api = tef_service.sales_api
    api.respond(200, {"data": 4242}, delay=1.5)
    other = tef_service.connect()
    fe = FrontEnd(tef_client)
    tef_client.send(transaction(tef_session, operation=3, transaction_value="13,00"))
    cancel_sent = False
    while True:
        try:
            msg = tef_client.recv(timeout=0.2)
        except asyncio.TimeoutError:
            msg = None
        if msg is not None:
            fe.seen.append(msg)
            if msg["type"] == "result":
                break
            fe.answer(msg)
        if api.requests and not cancel_sent:
            # The library has returned its final result; the sales API is answering.
            other.send({"route": "/transaction/cancel", "session_uuid": tef_session,
                        "type": "cancellation"})
            cancel_sent = True
    assert cancel_sent and msg["status"] == "approved"
    assert msg["transaction_data"][0]["payment_id"] == 4242
    tef_client.nothing_within(1.0)  # no "canceled" result after it
    fin = [j for j in tef_service.journal() if j.get("call") == "FinalizaFuncaoSiTefInterativo"]
    assert fin[-1]["args"]["confirm"] == 1
    tef_service.wait_log("Não pode cancelar")
    other.nothing_within(0.2)
    other.close()


def test_a_payment_goes_on_while_another_connection_sends_megabytes(tef_service, tef_client,
                                                                     tef_session):
    # The payment's request and answers are long enough to be kept as shared
    # text while the payment runs; meanwhile another front end sends documents
    # of megabytes, each answered on its own connection.
    other = tef_service.connect(timeout=60)
    done, answers = threading.Event(), []

    def send_documents():
        while not done.is_set():
            answers.append(other.request({"route": "/print", "type": "print", "file_type": "pdf",
                                          "data": "QUJD" * (1 << 20)}))

    sender = threading.Thread(target=send_documents)
    sender.start()
    padded = FrontEnd(tef_client)
    send = tef_client.send
    tef_client.send = lambda m: send(dict(m, note="n" * 5000))
    try:
        result = padded.run(transaction(tef_session, operation=3, transaction_value="12,00"))
    finally:
        done.set()
        sender.join()
        tef_client.send = send
    other.close()
    assert result["status"] == "approved"
    fin = [j for j in tef_service.journal() if j.get("call") == "FinalizaFuncaoSiTefInterativo"]
    assert fin[-1]["args"]["confirm"] == 1
    assert answers and all(a == {"type": "error", "message": "Impressora não definida."}
                           for a in answers), answers[:2]
