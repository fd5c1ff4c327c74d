"""The stricter simulator's scenarios through the service: the library finishes a
transaction only by the start's document, date and time; typed card data stays
out of every log and file; functions without a dialogue, returns, and the
prompts only cheque, bill and QR code functions send."""

import glob
import os

from conftest import FrontEnd, transaction

CARD = "4111111111111111"


def calls(svc, name):
    return [j for j in svc.journal() if j.get("call") == name]


def confirmed_by_its_start(svc):
    """The last finish confirmed the transaction the last start began."""
    start = calls(svc, "IniciaFuncaoSiTefInterativo")[-1]
    fin = calls(svc, "FinalizaFuncaoSiTefInterativo")[-1]
    assert fin["outcome"] == "confirmed", fin
    for key in ("document", "date", "time"):
        assert fin["args"][key] == start["args"][key]
    return fin


def files_under(folder):
    for path in glob.glob(os.path.join(folder, "**", "*"), recursive=True):
        if os.path.isfile(path):
            with open(path, "rb") as f:
                yield path, f.read()


def test_a_payment_is_confirmed_by_the_document_date_and_time_of_its_start(
        tef_service, tef_client, tef_session):
    # A slow sales API: the decision comes seconds after the start.
    tef_service.sales_api.delay = 1.5
    result = FrontEnd(tef_client).run(transaction(tef_session, operation=3,
                                                  transaction_value="21,00"))
    assert result["status"] == "approved", result
    confirmed_by_its_start(tef_service)
    assert not [j for j in tef_service.journal() if j.get("outcome") == "mismatch"]


def test_typed_card_reaches_the_library_but_no_log_or_file(tef_service, tef_client,
                                                            tef_session):
    fe = FrontEnd(tef_client, collect={512: CARD, 513: "1230", 514: "987"})
    result = fe.run(transaction(tef_session, operation=310, transaction_value="33,00"))
    assert result["status"] == "approved", result
    asked = [m["field_type"] for m in fe.seen if m["type"] == "collect"]
    assert asked == [512, 513, 514]
    assert [m["field_operation"] for m in fe.seen if m["type"] == "collect"][-1] == "segurança"
    entry = result["transaction_data"][0]
    assert entry["card_number"] == "411111******1111"
    answers = [j["args"]["buffer"] for j in calls(tef_service, "ContinuaFuncaoSiTefInterativo")]
    assert CARD in answers and "1230" in answers and "987" in answers  # the library got them
    confirmed_by_its_start(tef_service)

    tef_log = [p for p, _ in files_under(os.path.join(tef_service.dir, "Log")) if "TEF" in p]
    assert tef_log, os.listdir(os.path.join(tef_service.dir, "Log"))
    for folder in ("Log", "TEF"):
        for path, data in files_under(os.path.join(tef_service.dir, folder)):
            assert CARD.encode() not in data, path
            assert b"Buffer = 1230" not in data and b"Buffer = 987" not in data, path
    log = b"".join(d for p, d in files_under(os.path.join(tef_service.dir, "Log")))
    assert b"512-000 = 411111******1111" in log


def test_a_function_that_ends_at_its_start_after_a_reprint_is_confirmed(
        tef_service, tef_client, tef_session):
    paid = FrontEnd(tef_client).run(transaction(tef_session, operation=3,
                                                transaction_value="15,00"))
    assert paid["status"] == "approved"
    reprint = FrontEnd(tef_client).run(transaction(tef_session, "reprint", operation=113))
    assert reprint["transaction_data"][0]["operation"] == "reprint"
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=313, transaction_value="9,00"))
    assert result["status"] == "approved", result
    assert not {"menu", "collect", "question", "confirmation"} & set(fe.kinds())  # no dialogue
    start = calls(tef_service, "IniciaFuncaoSiTefInterativo")[-1]
    assert start["args"]["function"] == 313 and start["result"] == 0
    confirmed_by_its_start(tef_service)


def test_a_return_is_confirmed_and_its_notice_reaches_the_front_end(
        tef_service, tef_client, tef_session):
    fe = FrontEnd(tef_client)
    result = fe.run(transaction(tef_session, operation=312, transaction_value="30,00"))
    assert result["status"] == "approved", result
    notices = [m for m in fe.seen if m["type"] == "confirmation"]
    assert notices and notices[-1]["message"] == \
        "Transação efetuada com sucesso.\r\nFavor reter o Cupom"
    confirmed_by_its_start(tef_service)


def test_bill_payment_prompts_bar_code_amount_cheque_and_qr_code(tef_service, tef_client,
                                                                  tef_session):
    fe = FrontEnd(tef_client, collect={530: "8" * 47, 531: "12.5", 518: "1"})
    result = fe.run(transaction(tef_session, operation=311, transaction_value="12,50"))
    assert result["status"] == "approved", result
    collects = {m["field_type"]: m["field_operation"] for m in fe.seen if m["type"] == "collect"}
    assert collects == {530: "barcode", 531: "currency", 518: "cmc7"}
    answers = [j["args"]["buffer"] for j in calls(tef_service, "ContinuaFuncaoSiTefInterativo")]
    assert "12,50" in answers  # the typed 12.5, normalised for the library
    messages = [m["message"] for m in fe.seen if m["type"] == "message"]
    assert "Comprovante digital\r\n12,50" in messages
    assert "Pagamento de conta\r\nem processamento" in messages
    confirmed_by_its_start(tef_service)


def test_debit_and_credit_menus_are_answered_by_the_service_itself(tef_service, tef_client,
                                                                   tef_session):
    for operation in (2, 3):
        fe = FrontEnd(tef_client)
        result = fe.run(transaction(tef_session, operation=operation, transaction_value="8,00",
                                    number_of_installments=1))
        assert result["status"] == "approved", result
        assert "menu" not in fe.kinds() and "collect" not in fe.kinds()
    sent = [(j.get("command"), j.get("buffer"), j["args"]["buffer"])
            for j in calls(tef_service, "ContinuaFuncaoSiTefInterativo")]
    texts = [b for _, b, _ in sent]
    assert texts.count("1:Magnetico/Chip;2:Digitado;") == 2
    assert any(t and t.startswith("1:VISA ELECTRON") for t in texts)
    # Each automatic answer is the one the next call carries.
    answered = {sent[i][1]: sent[i + 1][2] for i in range(len(sent) - 1)
                if sent[i][0] in (21, 34)}
    assert answered["1:Magnetico/Chip;2:Digitado;"] == "1"
    assert answered["VISA ELECTRON\nSAQUE"] == "0,00"
    assert answered["1:A Vista;2:Parcelado pelo Estabelecimento;3:Parcelado pela Administradora;"] \
        == "1"
