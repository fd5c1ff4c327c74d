"""TEF settings from the session token: what reaches the library's configuration
and CONFITLS.INI."""

import os

from conftest import session_start

TLS = dict(connection_type="TLS", store_cnpj="12.345.678/0001-90",
           tef_cnpj="98.765.432/0001-10", registration_token="TOKEN-A")


def configurations(svc):
    return [j for j in svc.journal() if j.get("call") == "ConfiguraIntSiTefInterativoEx"]


def test_a_claim_with_a_line_break_is_refused_before_any_file(tef_service, tef_client):
    confitls = os.path.join(tef_service.dir, "dll", "CONFITLS.INI")
    url = tef_service.sales_api.url
    for claim, value in [("registration_token", "TOKEN\r\nURLTLS=evil.example"),
                         ("registration_token", "TOKEN\nX"),
                         ("operator", "CAIXA\r01"),
                         ("store_code", "0000\n0000")]:
        claims = dict(TLS, callback_url=url)
        claims[claim] = value
        reply = session_start(tef_client, **claims)
        assert reply == {"type": "error", "message": "Campo %s com quebra de linha." % claim}
        assert not os.path.exists(confitls)
    assert not configurations(tef_service)

    reply = session_start(tef_client, callback_url=url, **TLS)
    assert reply["status"] == "created", reply
    with open(confitls, "rb") as f:
        text = f.read().decode("cp1252")
    assert "TokenRegistro=TOKEN-A" in text and "evil" not in text


def test_additional_parameters_split_at_every_line_ending(tef_service, tef_client):
    reply = session_start(tef_client, callback_url=tef_service.sales_api.url,
                          additional_parameters="A=1\r\nB=2\rC=3\nD=4")
    assert reply["status"] == "created", reply
    assert configurations(tef_service)[-1]["args"]["parameters"] == \
        "[A=1;B=2;C=3;D=4];{ValorIncluiTaxa=0;};"


def test_terminal_number_counts_characters(tef_service, tef_client):
    reply = session_start(tef_client, callback_url=tef_service.sales_api.url,
                          secctional_code="1\u00e9")
    # The library refuses a terminal with a letter there; what it was given counts.
    assert reply["type"] == "error"
    assert configurations(tef_service)[-1]["args"]["terminal"] == "AG001\u00e903"
