"""A connection's reader answers what cannot start a payment itself: attacks on
that shortcut from outside (spelled-out routes, bursts, a second front end,
connections that leave mid-route, odd upgrade requests)."""

import time

import pytest

from conftest import FrontEnd, default_claims, make_token, session_start, transaction
from test_websocket import SAMPLE_ACCEPT, RawClient

TEF_BUSY = {"type": "error", "message": "Transação TEF em andamento."}
NO_ROUTE = {"type": "error", "message": "Campo route nao encontrado."}
BAD_SESSION = {"type": "error", "message": "Sessão inválida."}


@pytest.mark.parametrize("route", ["\\/transaction", "\\/tr\\u0061nsaction",
                                   "\\u002ftransaction"])
def test_a_payment_route_written_with_escapes_still_pays(tef_service, tef_client, tef_session,
                                                         route):
    # Without "/transaction" in its raw text, the message still asks for a
    # payment: its dialogue must get the front end's answers.
    text = ('{"route":"%s","session_uuid":"%s","type":"transaction","operation":0,'
            '"transaction_value":"12,00","payer_name":"Fulano"}' % (route, tef_session))
    fe = FrontEnd(tef_client, menu=["Credito"])
    tef_client.send(text)
    result = fe.until_result(timeout=30)
    assert result["status"] == "approved", result
    assert len(tef_service.sales_api.requests) == 1


def test_routes_that_only_look_like_a_payment_start_nothing(tef_service, tef_client,
                                                              tef_session):
    for route in ["/TRANSACTION", "/Transaction", " /transaction", "/transaction/",
                  "/transactio\u006e/cancel", "/transaction\u0000"]:
        text = ('{"route":"%s","session_uuid":"%s","type":"transaction","operation":0,'
                '"transaction_value":"12,00","payer_name":"Fulano"}' % (route, tef_session))
        tef_client.send(text)
    assert tef_client.request({}) == NO_ROUTE  # nothing else was said before it
    calls = [j.get("call") for j in tef_service.journal()]
    assert "IniciaFuncaoSiTefInterativo" not in calls, calls
    assert tef_service.sales_api.requests == []


def test_a_burst_then_a_transaction_keeps_its_order(tef_service, tef_client, tef_session):
    burst = [{} if i % 3 else {"route": "/nada", "session_uuid": "x"} for i in range(100)]
    for m in burst:
        tef_client.send(m)
    tef_client.send(transaction(tef_session, operation=3, transaction_value="11,00"))
    replies = [tef_client.recv() for _ in burst]
    assert replies == [NO_ROUTE if m == {} else BAD_SESSION for m in burst]
    result = FrontEnd(tef_client).until_result()
    assert result["status"] == "approved", result
    # After the payment, the connection is answered again, in order.
    for m in burst[:6]:
        tef_client.send(m)
    assert [tef_client.recv() for _ in range(6)] == \
        [NO_ROUTE if m == {} else BAD_SESSION for m in burst[:6]]


def test_another_front_end_asking_at_every_prompt(tef_service, tef_client, tef_session):
    url = tef_service.sales_api.url
    other = tef_service.connect(timeout=30)
    token = make_token(default_claims(callback_url=url, sale_id=4321))
    asks = [
        # Refused in silence while a payment holds the library.
        ({"route": "/pinpad/status", "session_uuid": tef_session, "type": "status"}, None),
        ({"route": "/initialize", "session_uuid": tef_session, "type": "initialize"}, TEF_BUSY),
        ({"route": "/session/start", "type": "session", "token": token}, TEF_BUSY),
        ({"route": "/nada", "session_uuid": "x"}, BAD_SESSION),
    ]
    fe = FrontEnd(tef_client, menu=["Credito"])
    tef_client.send(transaction(tef_session, operation=0, transaction_value="12,00"))
    prompts = 0
    while True:
        msg = tef_client.recv()
        fe.seen.append(msg)
        if msg["type"] in ("result", "error"):
            break
        if msg["type"] in ("menu", "collect", "question"):
            prompts += 1
            for ask, expected in asks:
                started = time.monotonic()
                other.send(ask)
                if expected is not None:
                    reply = other.recv()
                    assert reply == expected and time.monotonic() - started < 2.0, (ask, reply)
        fe.answer(msg)
    assert prompts >= 2 and msg["status"] == "approved", fe.seen[-3:]
    assert msg["transaction_data"][0]["sale_id"] == 1001
    assert len(tef_service.sales_api.requests) == 1
    other.close()


def test_connections_leaving_in_the_middle_of_a_route(tef_service, tef_client, tef_session):
    url = tef_service.sales_api.url
    token = make_token(default_claims(callback_url=url))
    for i in range(10):
        c = tef_service.connect()
        c.send({"route": "/session/start", "type": "session", "token": token})
        c.send({"route": "/pinpad/status", "session_uuid": tef_session, "type": "status"})
        c.close()
    # Whatever the routes were doing, the library is free again for a payment.
    for _ in range(40):
        tef_client.send(transaction(tef_session, operation=3, transaction_value="11,00"))
        result = FrontEnd(tef_client).until_result()
        if result != TEF_BUSY:
            break
        time.sleep(0.1)
    assert result["status"] == "approved", result


@pytest.mark.parametrize("filler", [0, 1990, 5000])  # 1990: the key line straddles 2 KiB
def test_upgrade_in_odd_pieces_with_a_frame_right_behind(svc, filler):
    request = ("GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n"
               "Connection: Upgrade\r\nX-Filler: %s\r\n"
               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
               "Sec-WebSocket-Version: 13\r\n\r\n" % ("f" * filler)).encode()
    c = RawClient(svc)
    frame = c.frame(b"{}") + c.frame(b'{"route":"/nada","session_uuid":"x"}')
    # One TLS record per piece: a byte, then 7, then 13, the rest glued to two frames.
    c.send(request[:1])
    c.send(request[1:8])
    time.sleep(0.1)
    c.send(request[8:21])
    c.send(request[21:] + frame)
    while b"\r\n\r\n" not in c.buf:
        c.buf += c.sock.recv(4096)
    head, c.buf = c.buf.split(b"\r\n\r\n", 1)
    assert head.startswith(b"HTTP/1.1 101") and SAMPLE_ACCEPT.encode() in head
    assert c.read_frame()[1] == b'{"type":"error","message":"Campo route nao encontrado."}'
    assert b"Sess" in c.read_frame()[1]
    c.close()


def test_upgrade_request_over_the_limit_is_closed(svc):
    c = RawClient(svc)
    c.send(b"GET / HTTP/1.1\r\nHost: localhost\r\n")
    filler = b"X-Filler: " + b"a" * 1000 + b"\r\n"
    try:
        for _ in range(70):
            c.send(filler)
        c.send(b"\r\n")
        got = c.sock.recv(4096)
    except (ConnectionError, OSError):
        got = b""
    assert not got.startswith(b"HTTP/1.1 101")
    c.close()
    other = svc.connect()
    assert other.request({}) == NO_ROUTE
    other.close()


def test_a_stalled_half_upgrade_holds_nobody(svc):
    c = RawClient(svc)
    c.send(b"GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: webs")
    other = svc.connect()
    assert other.request({}) == NO_ROUTE
    other.close()
    started = time.monotonic()
    assert svc.stop() == 0 and time.monotonic() - started < 10
    c.close()
