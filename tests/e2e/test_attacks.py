"""Attacks from outside on a running payment."""

import time

from conftest import FrontEnd, transaction


def finishes(svc):
    return [j for j in svc.journal() if j.get("call") == "FinalizaFuncaoSiTefInterativo"]


def test_stopping_after_the_front_end_left_at_a_data_field(tef_service, tef_client, tef_session):
    # The tab is closed while the library waits for the security code. A field
    # left without an answer must end the function, not be asked again forever
    # (which kept the service from stopping).
    fe = FrontEnd(tef_client, collect={512: "4111111111111111", 513: "1230"})
    tef_client.send(transaction(tef_session, operation=310, transaction_value="12,00"))
    while True:
        msg = tef_client.recv()
        if msg["type"] == "collect" and msg["field_type"] == 514:
            break
        fe.answer(msg)
    tef_client.close()
    time.sleep(2)
    started = time.monotonic()
    assert tef_service.stop() == 0
    assert time.monotonic() - started < 10
    fin = finishes(tef_service)
    assert not fin or fin[-1]["args"]["confirm"] == 0  # nothing was confirmed
