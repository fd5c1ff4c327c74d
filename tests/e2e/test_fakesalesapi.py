"""The fake sales API on its own, driven with urllib (no service involved)."""

import http.client
import json
import socket
import urllib.error
import urllib.request

import pytest

from fakesalesapi import FakeSalesApi, sales_api  # noqa: F401 (fixture)


def call(api, path, body=None, method="POST", timeout=5.0, headers=None):
    """(status, parsed body or text) of one request to the fake."""
    data = json.dumps(body).encode() if isinstance(body, (dict, list)) else body
    req = urllib.request.Request(api.url.rstrip("/") + path, data=data, method=method,
                                 headers=headers or {"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(req, timeout=timeout, context=api.client_ssl_context()) as r:
            status, raw = r.status, r.read()
    except urllib.error.HTTPError as e:
        status, raw = e.code, e.read()
    try:
        return status, json.loads(raw)
    except ValueError:
        return status, raw.decode()


def test_default_answer_and_the_record(sales_api):
    result = {"type": "result", "status": "approved", "transaction_data": [{"sale_id": 7}]}
    assert call(sales_api, "/v1/sales/tef/callback/abc.def.ghi", result,
                headers={"Content-Type": "application/json", "Accept": "*/*"}) == \
        (200, {"data": 1001})
    assert call(sales_api, "/other", b"not json") == (200, {"data": 1002})

    first, second = sales_api.wait_for_requests(2)
    assert (first.method, first.path, first.token) == \
        ("POST", "/v1/sales/tef/callback/abc.def.ghi", "abc.def.ghi")
    assert first.headers["accept"] == "*/*" and first.headers["Content-Type"] == "application/json"
    assert first.json == result and first.answer_body == {"data": 1001}
    assert (second.token, second.body, second.json) == (None, b"not json", None)


def test_queued_answers_come_before_path_answers_then_the_default(sales_api):
    sales_api.respond_for("/v1/sales/", 500, "falhou", reason="Server Broke")
    sales_api.respond_for("/v1/sales/tef/", 201, {"data": 4711})
    sales_api.respond(422, {"message": "Venda inexistente"})
    sales_api.respond(204)
    cases = [("/v1/sales/tef/callback/t", (422, {"message": "Venda inexistente"})),
             ("/v1/sales/tef/callback/t", (204, "")),
             ("/v1/sales/tef/callback/t", (201, {"data": 4711})),
             ("/v1/sales/x", (500, "falhou")),
             ("/elsewhere", (200, {"data": 1001}))]
    for path, expected in cases:
        assert call(sales_api, path, {}) == expected, path
    sales_api.reset_answers()
    assert call(sales_api, "/v1/sales/tef/callback/t", {}) == (200, {"data": 1002})


def test_stop_closes_the_port_and_start_listens_again(sales_api):
    port = sales_api.port
    sales_api.stop()
    with pytest.raises(ConnectionRefusedError):
        socket.create_connection(("127.0.0.1", port), timeout=2).close()
    sales_api.start()
    assert sales_api.port == port and call(sales_api, "/x", {})[0] == 200
    with pytest.raises(ConnectionRefusedError):
        host, port = FakeSalesApi.closed_port_url().split("//")[1].rstrip("/").split(":")
        socket.create_connection((host, int(port)), timeout=2).close()


def test_slow_and_dropped_answers(sales_api):
    sales_api.respond(200, {"data": 1}, delay=1.0)
    with pytest.raises((TimeoutError, socket.timeout, urllib.error.URLError)):
        call(sales_api, "/slow", {}, timeout=0.3)
    sales_api.respond(drop=True)
    with pytest.raises((http.client.RemoteDisconnected, urllib.error.URLError, ConnectionError)):
        call(sales_api, "/drop", {})
    assert [r.path for r in sales_api.wait_for_requests(2)] == ["/slow", "/drop"]


def test_expired_certificate_is_what_it_says():
    import ssl
    with FakeSalesApi(expired_certificate=True) as api:
        with pytest.raises(urllib.error.URLError) as failure:
            call(api, "/x", {})
        assert isinstance(failure.value.reason, ssl.SSLCertVerificationError)
        assert "expired" in str(failure.value.reason)
