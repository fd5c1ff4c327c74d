"""The payment journal seen from outside: "/transaction/status", and a
payment left unresolved by a crash that the library cannot finish at once."""

import json
import os
import signal

import pytest

from conftest import FrontEnd, read_journal, session_start, transaction


def status(client, session, **extra):
    return client.request(dict({"route": "/transaction/status", "session_uuid": session,
                                "type": "status"}, **extra))


def test_status_tells_the_last_result_of_the_sale(tef_service, tef_client, tef_session):
    assert status(tef_client, tef_session) == {"type": "status", "status": "unknown"}
    assert tef_client.request({"route": "/transaction/status", "session_uuid": tef_session,
                               "type": "x"}) == {"type": "error",
                                                 "message": "Campo type diferente de status."}
    assert tef_client.request({"route": "/transaction/status", "session_uuid": "nope",
                               "type": "status"}) == {"type": "error", "message": "Sessão inválida."}

    denied = FrontEnd(tef_client).run(transaction(tef_session, transaction_value="10,05"))
    answer = status(tef_client, tef_session)
    assert answer == dict(denied, pending_reconciliation=False)

    paid = FrontEnd(tef_client).run(transaction(tef_session, transaction_value="31,00"))
    assert paid["status"] == "approved"
    answer = status(tef_client, tef_session)
    assert answer.pop("pending_reconciliation") is False
    assert answer == paid  # the very message the front end received, payment id included

    # Another sale of the same company: nothing known about it.
    assert status(tef_client, tef_session, sale_id=4242) == {"type": "status", "status": "unknown"}
    # The journal keeps the card number masked as the library gave it, and only that.
    journal = open(os.path.join(tef_service.dir, "Journal", "payments.journal"), "rb").read()
    assert b"411111******1111" in journal and b"4111111111111111" not in journal


def test_status_while_the_payment_runs(tef_service, tef_client, tef_session):
    tef_client.send(transaction(tef_session, operation=0, transaction_value="12,00"))
    first = tef_client.recv()
    other = tef_service.connect(timeout=30)
    assert status(other, tef_session) == {"type": "status", "status": "processing"}
    fe = FrontEnd(tef_client, menu=["Credito"])
    fe.answer(first)
    assert fe.until_result()["status"] == "approved"
    assert status(other, tef_session)["status"] == "approved"
    other.close()


@pytest.fixture
def crashed_after_registration(make_service, sales_api, tmp_path):
    """A service killed between the sales API's registration and the
    library's confirmation; returns (service, state file, sale)."""
    state = str(tmp_path / "state.json")
    journal = str(tmp_path / "sim.jsonl")

    def prepare(s):
        with open(os.path.join(s.dir, "dll", "clisitef-sim.json"), "w") as f:
            json.dump({"interruption_delay_ms": 0, "journal": journal, "state_file": state}, f)

    svc = make_service(ini_extra="pdv_number=6\n", prepare=prepare, start=False,
                       env_extra={"ZENTAVO_CLISITEF_CONTROL_DIR": str(tmp_path / "control")})
    base = dict(svc.env)
    svc.env = dict(base, ZENTAVO_JOURNAL_KILL_AT="3:after")  # after "registered"
    svc.start()
    client = svc.connect(timeout=30)
    session = session_start(client, callback_url=sales_api.url, sale_id=555)["session_uuid"]
    with pytest.raises(Exception):  # the service dies under the front end
        FrontEnd(client).run(transaction(session, transaction_value="44,00"))
    client.close()
    assert svc.proc.wait(timeout=10) == -signal.SIGKILL
    svc.console.close()
    svc.base_env = base
    svc.sim_journal = journal
    ledger = json.load(open(state))["transactions"]
    assert [t["status"] for t in ledger] == ["pending"]
    return svc, state, sales_api


def finishes(path):
    return [j for j in read_journal(path) if j.get("call") == "FinalizaFuncaoSiTefInterativo"]


@pytest.mark.parametrize("failing,refused_first", [("2", False), ("2,3", True)],
                         ids=["retried-before-next", "refused-until-finished"])
def test_a_payment_the_library_cannot_finish_at_start_is_finished_before_the_next(
        crashed_after_registration, failing, refused_first):
    svc, state, api = crashed_after_registration
    # Call 1 configures the library, call 2 (and 3) finish: they fail.
    svc.env = dict(svc.base_env, CLISITEF_SIM_FAIL_AT_CALL=failing)
    svc.start()
    svc.wait_log("não resolvido")
    assert [t["status"] for t in json.load(open(state))["transactions"]] == ["pending"]

    client = svc.connect(timeout=30)
    session = session_start(client, callback_url=api.url, sale_id=556)["session_uuid"]
    fe = FrontEnd(client)
    if refused_first:
        assert fe.run(transaction(session, transaction_value="45,00")) == {
            "type": "error",
            "message": "Há um pagamento anterior ainda não resolvido no TEF; tente novamente."}
    result = FrontEnd(client).run(transaction(session, transaction_value="45,00"))
    assert result["status"] == "approved"
    ledger = json.load(open(state))["transactions"]
    assert [t["status"] for t in ledger] == ["confirmed", "confirmed"]
    # The crashed payment was confirmed with the document, date and time of its start.
    start = [j for j in read_journal(svc.sim_journal)
             if j.get("call") == "IniciaFuncaoSiTefInterativo"][0]["args"]
    done = [f for f in finishes(svc.sim_journal) if f.get("outcome") == "confirmed"][0]["args"]
    assert (done["document"], done["date"], done["time"]) == \
        (start["document"], start["date"], start["time"])
    # Sale 555's front end learns the outcome after the restart.
    other = session_start(client, callback_url=api.url, sale_id=555)["session_uuid"]
    answer = status(client, other)
    assert answer["status"] == "approved" and answer["pending_reconciliation"] is False
    assert answer["transaction_data"][0]["payment_id"] == api.requests[0].answer_body["data"]
    client.close()
