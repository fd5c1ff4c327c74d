"""Routing, the reply envelope and the JSON the service writes."""

import json

import pytest

from conftest import default_claims, make_token, session_start


def test_error_replies_of_the_router(client, session):
    cases = [
        ({}, "Campo route nao encontrado."),
        ({"route": "/Version"}, "Campo session_uuid nao encontrado."),
        ({"route": "/transaction", "session_uuid": session}, "Campo type nao encontrado."),
        ({"route": "/nowhere", "session_uuid": "X"}, "Sessão inválida."),
    ]
    for message, expected in cases:
        reply = client.request(message)
        assert reply == {"type": "error", "message": expected}, message


def test_messages_that_get_no_reply(client, session):
    client.send("this is not json")
    client.send({"route": "/transaction", "type": "confirmation"})  # no session needed
    client.send({"route": "/nowhere", "session_uuid": session})
    client.nothing_within(1.0)
    # the connection is still usable
    assert client.request({})["message"] == "Campo route nao encontrado."


def test_a_json_array_closes_the_connection(client):
    client.send("[1,2]")
    with pytest.raises(Exception):
        client.recv_text(timeout=5)


def test_replies_escape_like_the_service_writer(client, session):
    client.send({"route": "/session/finish", "session_uuid": session, "type": "session"})
    assert client.recv_text() == ('{"type":"session","status":"finished","message":'
                                  '"Sess\\u00E3o finalizada com sucesso."}')
    client.send({"route": "/session/start", "type": "session",
                 "token": make_token(default_claims(sale_id="1/2"))})
    raws = [client.recv_text(timeout=30)]
    while json.loads(raws[-1])["type"] == "message":
        raws.append(client.recv_text(timeout=30))
    assert raws[-1] == '{"type":"error","message":"\'1\\/2\' is not a valid integer value"}'
