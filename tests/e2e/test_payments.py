"""Payments end to end: the real service, the TEF library simulator and a fake
sales API, driven as a front end would."""

import datetime
import os
import threading
import time

import pytest

from conftest import FrontEnd, default_claims, make_token, session_start, transaction

CREDIT_MEMBERS = ["sale_id", "operation", "card_number", "operator", "payer_name", "institution",
                  "payment_method_code", "payment_method_description", "hash", "nsu_code",
                  "authorization_code", "establishment_code", "number_of_installments",
                  "transaction_value", "transaction_date_time", "gateway", "receipt",
                  "payment_id", "company_id"]


def finishes(svc):
    return [j for j in svc.journal() if j.get("call") == "FinalizaFuncaoSiTefInterativo"]


def test_credit_payment_with_installments(tef_service, tef_client, tef_session):
    # Function 0 lets the front end choose: every prompt kind reaches it.
    fe = FrontEnd(tef_client, menu=["Credito", "Parcelado pelo Estabelecimento"], collect={505: "3"})
    result = fe.run(transaction(tef_session, operation=0, transaction_value="12,50",
                                sale_id=4321))
    assert list(result) == ["type", "status", "message", "transaction_data"]
    assert result["status"] == "approved"
    assert result["message"] == "Transação TEF concluída com sucesso."
    entry = result["transaction_data"][0]
    assert list(entry) == CREDIT_MEMBERS
    assert entry["operation"] == "credit"
    assert entry["sale_id"] == 4321
    assert entry["transaction_value"] == 12.5
    assert entry["number_of_installments"] == 3
    assert entry["payment_method_code"] == "0202"
    assert entry["payer_name"] == "Fulano de Tal"
    assert entry["gateway"] == "Software Express"
    assert entry["company_id"] == 7
    assert entry["transaction_date_time"].endswith("Z")
    copies = entry["receipt"]
    assert [c["copy_number"] for c in copies] == [1, 2]
    assert "PARCELADO EM 03 VEZES" in copies[0]["data"]
    assert "VISA - CRÉDITO" in copies[0]["data"]  # the accented line arrives intact

    api = tef_service.sales_api.requests
    assert len(api) == 1
    req = api[0]
    assert req.method == "POST" and req.path.startswith("/v1/sales/tef/callback/")
    assert req.headers["Accept"] == "*/*"
    assert req.json["status"] == "approved" and "payment_id" not in req.json["transaction_data"][0]
    assert entry["payment_id"] == int(req.answer_body["data"])

    assert {"menu", "collect", "question", "can_cancel"} <= set(fe.kinds())
    menus = [m for m in fe.seen if m["type"] == "menu"]
    assert menus[0]["options"] == ["1:Cartao de Debito", "2:Cartao de Credito", "3:PIX"]
    start = [j for j in tef_service.journal() if j.get("call") == "IniciaFuncaoSiTefInterativo"][-1]
    assert start["args"]["value"] in ("12.50", "12,50")
    fin = finishes(tef_service)
    assert fin and fin[-1]["args"]["confirm"] == 1 and fin[-1]["outcome"] == "confirmed"
    assert fin[-1]["args"]["document"] == start["args"]["document"]
    assert fin[-1]["args"]["date"] == start["args"]["date"]


def test_debit_and_credit_answered_by_the_automatic_rules(tef_service, tef_client, tef_session):
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=3, transaction_value="15,00",
                                number_of_installments=4))
    assert result["status"] == "approved"
    assert "menu" not in fe.kinds() and "collect" not in fe.kinds()
    assert result["transaction_data"][0]["number_of_installments"] == 4
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=2, transaction_value=10))
    assert "menu" not in fe.kinds()
    entry = result["transaction_data"][0]
    assert result["status"] == "approved"
    assert entry["operation"] == "debit"
    assert entry["transaction_value"] == 10
    assert entry["payment_method_code"].startswith("01")


def test_pix_sends_the_qr_code_to_the_front_end(tef_service, tef_client, tef_session):
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=300, transaction_value="5,00"))
    qrcodes = [m for m in fe.seen if m["type"] == "qrcode"]
    assert qrcodes and qrcodes[0]["data"]
    assert list(qrcodes[0]) == ["type", "data"]
    entry = result["transaction_data"][0]
    assert entry["operation"] == "pix" and "card_number" not in entry


def test_cancellation_answers_the_library_itself_and_reprint(tef_service, tef_client, tef_session):
    paid = FrontEnd(tef_client).run(
        transaction(tef_session, operation=3, transaction_value="20,00", number_of_installments=1))
    nsu = paid["transaction_data"][0]["nsu_code"]
    today = tef_service.now().date().isoformat()
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, "cancellation", operation=200, cancellation_nsu=nsu,
                                transaction_date=today + " 00:00:00", transaction_value="20,00"))
    assert result["status"] == "approved", result
    entry = result["transaction_data"][0]
    assert entry["operation"] == "cancellation" and entry["canceled_nsu"] == nsu
    assert "card_number" not in entry
    assert not [m for m in fe.seen if m["type"] == "collect"]  # NSU, date, amount: not asked

    reprint = FrontEnd(tef_client).run(transaction(tef_session, "reprint", operation=113,
                                                   sale_id=999, transaction_value="1"))
    entry = reprint["transaction_data"][0]
    assert list(entry) == ["sale_id", "operation", "receipt", "payment_id", "company_id"]
    assert entry["operation"] == "reprint"


@pytest.mark.parametrize("api_setup,log_text", [
    (lambda api: api.respond(422, {"message": "Venda encerrada"}),
     "Erro ao registrar transação na API: Code: 422 - Message: Venda encerrada"),
    (lambda api: api.respond(500, "boom"), "Erro ao registrar transação na API: 500 - "),
    (lambda api: api.respond(drop=True), "Erro ao registrar transação na API: Request Error"),
    (lambda api: api.stop(), "Erro ao registrar transação na API: Request Error"),
], ids=["422", "500", "dropped", "unreachable"])
def test_rejected_or_unreachable_sales_api_undoes_the_payment(tef_service, tef_client,
                                                              tef_session, api_setup, log_text):
    api_setup(tef_service.sales_api)
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=3, transaction_value="30,00"))
    if result["type"] == "error":  # a request error is answered before the result
        assert result["message"].startswith("Erro ao registrar transação: Request Error ")
        result = fe.until_result()
    assert list(result) == ["type", "transaction_data", "status", "message"]
    assert result["status"] == "canceled"
    assert result["message"] == ("Ocorreu um erro durante o processo, a transação TEF não "
                                 "será confirmada.")
    assert result["transaction_data"][0]["payment_id"] == 0
    fin = finishes(tef_service)
    assert fin and fin[-1]["args"]["confirm"] == 0
    tef_service.wait_log(log_text)


def test_cancel_during_the_wait_for_the_host(tef_service, tef_client, tef_session):
    # An early cancel, before cancelling is allowed, is ignored.
    tef_client.send(transaction(tef_session, operation=3, transaction_value="40,00"))
    tef_client.send({"route": "/transaction/cancel", "session_uuid": tef_session,
                     "type": "cancellation"})
    seen = []
    while True:
        msg = tef_client.recv()
        seen.append(msg)
        if msg["type"] == "result":
            break
        if msg["type"] == "can_cancel" and msg["can_cancel"]:
            tef_client.send({"route": "/transaction/cancel", "type": "cancellation"})
        else:
            FrontEnd(tef_client).answer(msg)
    assert msg == {"type": "result", "status": "canceled", "message": "Transação TEF não realizada."}
    assert not tef_service.sales_api.requests
    tef_service.wait_log("Setou no cancelamento = true")


def test_a_second_transaction_while_one_runs_is_dropped(tef_service, tef_client, tef_session):
    other = tef_service.connect(timeout=30)
    tef_client.send(transaction(tef_session, operation=3, transaction_value="12,00"))
    first = tef_client.recv()  # the first prompt: the transaction is running
    other.send(transaction(tef_session, operation=3, transaction_value="99,00"))
    # Nor may another connection reconfigure the library or the sale meanwhile.
    other.send({"route": "/session/start", "type": "session",
                "token": make_token(default_claims(sale_id=777, callback_url="https://127.0.0.1:9/"))})
    assert other.recv() == {"type": "error", "message": "Transação TEF em andamento."}
    other.nothing_within(1.0)
    fe = FrontEnd(tef_client)
    fe.answer(first)
    while True:
        msg = tef_client.recv()
        if msg["type"] == "result":
            break
        fe.answer(msg)
    assert msg["status"] == "approved"
    assert msg["transaction_data"][0]["transaction_value"] == 12
    assert msg["transaction_data"][0]["sale_id"] == 1001
    assert len(tef_service.sales_api.requests) == 1
    other.close()


def test_stopping_during_a_prompt_ends_the_payment_at_once(tef_service, tef_client, tef_session):
    tef_client.send(transaction(tef_session, operation=0, transaction_value="12,00"))
    while tef_client.recv()["type"] != "menu":
        pass
    started = time.monotonic()
    assert tef_service.stop() == 0
    assert time.monotonic() - started < 10
    fin = finishes(tef_service)
    assert not fin or fin[-1]["args"]["confirm"] == 0  # nothing was confirmed


@pytest.mark.parametrize("value", ["10,05", "10,13"])  # denied; host unreachable
def test_denied_or_unreachable_host_is_not_realised(tef_service, tef_client, tef_session, value):
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=3, transaction_value=value))
    # The library's error is shown as an error report, which also cancels.
    reports = [m for m in fe.seen if m["type"] == "confirmation" and m["options"] == []]
    assert reports and reports[-1]["message"]
    assert result == {"type": "result", "status": "canceled",
                      "message": "Transação TEF não realizada."}
    assert not tef_service.sales_api.requests


@pytest.mark.parametrize("fields,expected", [
    (dict(type="bogus"), "O campo type diferente de transaction"),
    (dict(operation=None), "Campo operation nao encontrado."),
    (dict(payer_name=None), "Campo payer_name nao encontrado."),
    (dict(operation="x"), "'x' is not a valid integer value"),
    (dict(transaction_value="doze"), "'doze' is not a valid floating point value"),
    # A text amount is regional: "1.000" is a thousand, not a one, and grouping is refused.
    (dict(transaction_value="1.000"), "'1.000' is not a valid floating point value"),
    (dict(transaction_value="1.234,56"), "'1.234,56' is not a valid floating point value"),
    (dict(number_of_installments="2x"), "'2x' is not a valid integer value"),
    (dict(type="cancellation", operation=200), "Campo cancellation_nsu nao encontrado."),
    (dict(type="cancellation", operation=200, cancellation_nsu="  "),
     'O campo "cancellation_nsu" não foi preenchido.'),
    (dict(type="cancellation", operation=200, cancellation_nsu="1"),
     "Campo transaction_date nao encontrado."),
    (dict(type="cancellation", operation=200, cancellation_nsu="1", transaction_date=" "),
     'O campo "transaction_date" não foi preenchido.'),
] + [
    (dict(type="cancellation", operation=200, cancellation_nsu="1", transaction_date=d),
     'O campo "transaction_date" não foi preenchido corretamente.')
    for d in ["2024-01-31T09:05:00", "31/01/2024", "2024-01-31 9:05", "2024-02-30"]
])
def test_request_validation(tef_client, tef_session, fields, expected):
    msg = transaction(tef_session, operation=3)
    for k, v in fields.items():
        if v is None:
            msg.pop(k, None)
        else:
            msg[k] = v
    assert tef_client.request(msg) == {"type": "error", "message": expected}


@pytest.mark.parametrize("value", ["12,50", 12.5])
def test_transaction_value_as_text_or_number(tef_client, tef_session, value):
    result = FrontEnd(tef_client).run(
        transaction(tef_session, operation=3, transaction_value=value))
    assert result["transaction_data"][0]["transaction_value"] == 12.5


def test_session_start_reinitialises_only_on_change(tef_service, tef_client):
    url = tef_service.sales_api.url

    def start(**claims):
        tef_client.send({"route": "/session/start", "type": "session",
                         "token": make_token(default_claims(callback_url=url, **claims))})
        notices = []
        while True:
            m = tef_client.recv(timeout=30)
            if m["type"] != "message":
                return m, notices
            notices.append(m["message"])

    reply, notices = start()
    assert reply["status"] == "created" and "Inicializando TEF..." in notices
    assert reply["terminal_number"] == "AG001203" and reply["store_code"] == "00000000"
    reply, notices = start()
    assert reply["status"] == "created" and notices == []
    reply, notices = start(store_code="00000001")
    assert notices == ["Inicializando TEF...", ""]
    assert reply["store_code"] == "00000001"
    assert sum("Inicializando CliSiTef..." in l for l in tef_service.log_lines()) == 2

    os.makedirs(tef_service.control_dir)
    tls = dict(connection_type="TLS", store_cnpj="12.345.678/0001-90", tef_cnpj="98.765.432/0001-10",
               registration_token="TOKEN-A")
    reply, notices = start(**tls)
    assert reply["status"] == "created"
    confitls = open(os.path.join(tef_service.dir, "dll", "CONFITLS.INI"), "rb").read().decode("cp1252")
    assert "[ConfiguracaoTLS]" in confitls
    assert confitls.index("TipoComunicacaoExterna=TLSGWP") < confitls.index("URLTLS=") < \
        confitls.index("TokenRegistro=TOKEN-A")
    assert not os.path.exists(tef_service.control_dir)
    moved = [d for d in os.listdir(os.path.dirname(tef_service.control_dir))
             if d.startswith("NaoExcluirControleCliSiTef-")]
    assert len(moved) == 1
    os.makedirs(tef_service.control_dir)
    start(**tls)  # same token: the folder stays
    assert os.path.exists(tef_service.control_dir)
    start()  # direct mode again: the gateway file goes
    assert not os.path.exists(os.path.join(tef_service.dir, "dll", "CONFITLS.INI"))


def test_initialize_route(tef_client, tef_session):
    assert tef_client.request({"route": "/initialize", "session_uuid": tef_session,
                               "type": "init"}) == {
        "type": "error", "message": "Campo type diferente de initialize."}
    assert tef_client.request({"route": "/initialize", "session_uuid": tef_session,
                               "type": "initialize"}) == {
        "type": "initialize", "message": "Inicializado com sucesso."}
