"""Opening, checking and finishing sessions with signed tokens."""

import base64
import datetime
import json
import re

import pytest

from conftest import SHARED_KEY, default_claims, make_token, session_start


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def test_session_reply_members_and_expiry(client):
    before = datetime.datetime.now(datetime.timezone.utc)
    reply = session_start(client)
    assert list(reply) == ["type", "status", "message", "expiration", "session_uuid",
                           "store_code", "terminal_number"]
    assert reply["type"] == "session" and reply["status"] == "created"
    assert reply["message"] == "Sessão criada com sucesso."
    assert re.fullmatch(r"[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}",
                        reply["session_uuid"])
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", reply["expiration"])
    expiry = datetime.datetime.strptime(reply["expiration"], "%Y-%m-%dT%H:%M:%S.%fZ").replace(
        tzinfo=datetime.timezone.utc)
    assert abs((expiry - before).total_seconds() - 1800) < 10


@pytest.mark.parametrize("alg", ["HS256", "HS384", "HS512"])
def test_every_hmac_algorithm_is_accepted_at_any_time(client, alg):
    claims = default_claims(exp=1000000000)  # long expired: not looked at
    assert session_start(client, make_token(claims, alg=alg))["status"] == "created"


def forged(parts):
    return ".".join(parts)


def token_cases():
    good = make_token()
    h, c, s = good.split(".")
    tampered_claims = b64url(json.dumps(default_claims(sale_id=9999)).encode())
    none_header = b64url(b'{"alg":"none","typ":"JWT"}')
    return [
        ("tampered claims", forged([h, tampered_claims, s]), "Acesso não autorizado."),
        ("other key", make_token(key="x" * 32), "Acesso não autorizado."),
        ("alg none", forged([none_header, c, ""]), "Dados de sessão inválidos."),
        ("RS256 header", forged([b64url(b'{"alg":"RS256"}'), c, s]), "Dados de sessão inválidos."),
        ("no alg", forged([b64url(b'{"typ":"JWT"}'), c, s]), "Dados de sessão inválidos."),
        ("bad base64", forged(["!!!", c, s]), "Dados de sessão inválidos."),
        ("claims not json", forged([h, b64url(b"nope"), s]), "Dados de sessão inválidos."),
        ("four parts", good + ".x", "Malformed Compact Serialization"),
        ("two parts", h + "." + c, "Malformed Compact Serialization"),
        ("five parts", good + ".x.y",
         "Compact Serialization appears to be a JWE Token wich is not (yet) supported"),
    ]


@pytest.mark.parametrize("name,token,expected", token_cases(), ids=[c[0] for c in token_cases()])
def test_token_failures(client, name, token, expected):
    reply = session_start(client, token)
    assert reply == {"type": "error", "message": expected}


def test_session_start_failures(client, svc):
    cases = [
        ({"route": "/session/start", "type": "login", "token": make_token()},
         'Configuração de entrada inválida: type diferente de "session".'),
        ({"route": "/session/start", "token": make_token()}, "Campo type nao encontrado."),
        ({"route": "/session/start", "type": "session"}, "Campo token nao encontrado."),
    ]
    for message, expected in cases:
        assert client.request(message) == {"type": "error", "message": expected}
    claim_cases = [
        (dict(sale_id=0), "ID de venda não informado."),
        (dict(sale_id=-5), "ID de venda não informado."),
        (dict(sale_id="abc"), "'abc' is not a valid integer value"),
        (dict(company_id="1.5"), "'1.5' is not a valid integer value"),
        (dict(callback_url="   "), "URL de callback não informada."),
        (dict(company_id=None), "Campo company_id nao encontrado."),
    ]
    for overrides, expected in claim_cases:
        reply = session_start(client, make_token(default_claims(**overrides)))
        assert reply == {"type": "error", "message": expected}, overrides
    svc.wait_log("Erro ao iniciar sessão: 'abc' is not a valid integer value")
    assert not any("ID de venda" in l for l in svc.log_lines())


def test_session_check_and_finish(client):
    uuid = session_start(client)["session_uuid"]
    finish = {"route": "/session/finish", "session_uuid": uuid}
    assert client.request(dict(finish, type="close")) == {
        "type": "error", "message": "Campo type diferente de session."}
    assert client.request({"route": "/session/finish", "session_uuid": uuid.lower(),
                           "type": "session"})["message"] == "Sessão inválida."
    assert client.request(dict(finish, type="session"))["status"] == "finished"
    assert client.request(dict(finish, type="session"))["message"] == "Sessão inválida."


def test_a_session_is_accepted_on_a_later_connection(svc):
    first = svc.connect()
    uuid = session_start(first)["session_uuid"]
    first.close()
    second = svc.connect()
    reply = second.request({"route": "/session/finish", "session_uuid": uuid, "type": "session"})
    assert reply["status"] == "finished"
    second.close()
