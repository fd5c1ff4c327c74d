"""Terminal maintenance routes: "/version" (installed versions, update offers
recorded in the INI file) and "/pinpad/status" (PIN pad presence through the
TEF library simulator)."""

import json
import os
import re
import shutil

import pytest

from conftest import APP_DIR, FrontEnd, session_start, transaction

NOT_FOUND = "Versão não encontrada"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PE_1_0_0_31 = os.path.join(ROOT, "fuzz", "corpus", "pe_version_fuzz", "pe32_1.0.0.31")


def built_versions():
    """The versions the build embedded: the project's and the simulator's."""
    cache = open(os.path.join(APP_DIR, "..", "CMakeCache.txt")).read()

    def four(name):
        value = re.search(r"^%s:\w+=(.*)$" % name, cache, re.M).group(1).strip()
        parts = (value.split(".") + ["0"] * 4)[:4]
        return ".".join(str(int(p or 0)) for p in parts)

    return four("CMAKE_PROJECT_VERSION"), four("CLISITEF_SIM_VERSION")


def ini_values(svc):
    """The [sitef] keys of the INI file as the service wrote them."""
    text = open(svc.ini_path, "rb").read().decode("cp1252")
    return dict(line.split("=", 1) for line in text.split("\r\n") if "=" in line)


def version(client, category="clisitef_dll", **fields):
    msg = {"route": "/version", "type": "version", "category": category}
    msg.update(fields)
    return client.request(msg)


def replace_library(svc, make):
    """Puts something else where the TEF library is: make(dll_folder) writes it."""
    dll = os.path.join(svc.dir, "dll")
    os.remove(os.path.join(dll, "libclisitef.so"))
    make(dll)


def linked_to_1_0_0_31(dll):
    # Not an image at all: the version comes from the real file name.
    with open(os.path.join(dll, "libclisitef.so.1.0.0.31"), "w") as f:
        f.write("not a library")
    os.symlink("libclisitef.so.1.0.0.31", os.path.join(dll, "libclisitef.so"))


# --- /version ---------------------------------------------------------------

def test_reports_the_versions_the_build_embedded(svc, client):
    service, simulator = built_versions()
    assert version(client, "service_exe") == {
        "type": "version", "category": "service_exe", "version": service, "updating": False,
        "pdv_number": "00"}
    assert version(client, "clisitef_dll") == {
        "type": "version", "category": "clisitef_dll", "version": simulator, "updating": False,
        "pdv_number": "00"}


def test_offers_are_recorded_only_when_newer(make_service):
    svc = make_service(prepare=lambda s: replace_library(s, linked_to_1_0_0_31))
    client = svc.connect()
    url = "https://updates.example/tef-1.0.0.32.zip"

    reply = version(client, version="1.0.0.32", download_url=url)
    assert reply["version"] == "1.0.0.31" and reply["updating"] is True
    ini = ini_values(svc)
    assert (ini["need_update"], ini["download_url"], ini["version"]) == ("1", url, "1.0.0.32")
    svc.wait_log("Nova versão encontrada: 1.0.0.32")
    assert "Validando versão.." in svc.log_lines()

    # An offer without its address is no offer: the INI file keeps what it had.
    assert version(client, version="9.0.0.99")["updating"] is False
    assert ini_values(svc)["version"] == "1.0.0.32"

    for offered in ("2.0.0.1", "1.0.0.31", "1.5.0.31"):
        reply = version(client, version=offered, download_url=url)
        assert reply["updating"] is False, offered
        ini = ini_values(svc)
        assert (ini["need_update"], ini["download_url"], ini["version"]) == ("0", "", ""), offered
    assert "Nenhuma versão nova encontrada, versão atual: 1.0.0.31" in svc.log_lines()
    client.close()


def test_version_resource_of_a_windows_library(make_service):
    svc = make_service(prepare=lambda s: replace_library(
        s, lambda dll: shutil.copy(PE_1_0_0_31, os.path.join(dll, "libclisitef.so"))))
    client = svc.connect()
    assert version(client)["version"] == "1.0.0.31"
    client.close()


def test_a_file_without_version_information(make_service):
    def plain(dll):
        with open(os.path.join(dll, "libclisitef.so"), "w") as f:
            f.write("no version here")

    svc = make_service(prepare=lambda s: replace_library(s, plain))
    client = svc.connect()
    assert version(client)["version"] == NOT_FOUND
    # It reads as 0.0.0.0, so any offer with a fourth number is newer.
    reply = version(client, version="1.0.0.1", download_url="")
    assert reply["version"] == NOT_FOUND and reply["updating"] is True
    assert ini_values(svc)["version"] == "1.0.0.1"
    client.close()


def test_pdv_number_is_two_characters(svc, client):
    for pdv, expected in (("pdv_number=7\n", "07"), ("pdv_number=123\n", "12"), ("", "00")):
        svc.write_ini("[sitef]\nserver_port=%d\n%s" % (svc.port, pdv))
        assert version(client, "service_exe")["pdv_number"] == expected


@pytest.mark.parametrize("message, expected", [
    ({"category": "service_exe"}, "Campo type nao encontrado."),
    ({"type": "versao", "category": "service_exe"}, "Campo type diferente de version."),
    ({"type": "version"}, "Erro ao verificar versão: Campo category nao encontrado."),
    ({"type": "version", "category": "CLISITEF_DLL"},
     "Categoria inválida. Valores permitidos [service_exe, clisitef_dll]"),
])
def test_version_request_errors(client, message, expected):
    assert client.request(dict(route="/version", **message)) == {"type": "error", "message": expected}


def test_an_ini_file_that_cannot_be_written(svc, client):
    os.remove(svc.ini_path)
    os.mkdir(svc.ini_path)  # a folder where the file was: the write fails
    reply = version(client, "service_exe", version="99.0.0.99", download_url="x")
    assert reply["type"] == "error"
    assert reply["message"].startswith("Erro ao verificar versão: ")


# --- /pinpad/status ---------------------------------------------------------

def write_sim_config(svc, **settings):
    config = {"interruption_delay_ms": 0, "journal": svc.journal_path}
    config.update(settings)
    with open(os.path.join(svc.dir, "dll", "clisitef-sim.json"), "w") as f:
        json.dump(config, f)


def pinpad(client, session, type_="status"):
    return client.request({"route": "/pinpad/status", "session_uuid": session, "type": type_})


def presence_checks(svc):
    return [j["result"] for j in svc.journal() if j.get("call") == "VerificaPresencaPinPad"]


def test_each_library_answer_is_translated(tef_service, tef_client, tef_session):
    cases = [(0, "disconnected", "Nenhum PinPad conectado"),
             (1, "connected", "PinPad conectado"),
             (-1, "error", "Erro na dll ou arquivo de configuração do PinPad"),
             (2, "", "")]
    for i, (answer, status, message) in enumerate(cases):
        write_sim_config(tef_service, pinpad_present=answer)
        # A changed store code makes the session start configure the library
        # again, which reads the simulator's file anew.
        reply = session_start(tef_client, callback_url=tef_service.sales_api.url,
                              store_code="1000000%d" % i)
        assert reply["status"] == "created", reply
        assert pinpad(tef_client, reply["session_uuid"]) == {
            "type": "status", "status": status, "message": message}, answer
    assert presence_checks(tef_service) == [0, 1, -1, 2]


def test_pinpad_request_errors(tef_client, tef_session):
    assert pinpad(tef_client, tef_session, "pinpad") == {
        "type": "error", "message": "Campo type diferente de pinpad."}
    assert tef_client.request({"route": "/pinpad/status", "session_uuid": tef_session}) == {
        "type": "error", "message": "Campo type nao encontrado."}
    assert pinpad(tef_client, "no-such-session") == {"type": "error", "message": "Sessão inválida."}


def test_silent_while_a_payment_runs(tef_service, tef_client, tef_session):
    other = tef_service.connect(timeout=30)
    tef_client.send(transaction(tef_session, operation=3, transaction_value="12,00"))
    first = tef_client.recv()  # the first prompt: the payment holds the library
    other.send({"route": "/pinpad/status", "session_uuid": tef_session, "type": "status"})
    other.nothing_within(1.0)
    fe = FrontEnd(tef_client)
    fe.answer(first)
    result = fe.until_result()
    assert result["status"] == "approved"
    assert presence_checks(tef_service) == []
    # Afterwards the library is free again.
    assert pinpad(other, tef_session)["status"] == "connected"
    other.close()


def test_initialises_the_library_first_and_reports_its_failure(tef_service, tef_client,
                                                                 tef_session):
    def configurations():
        return [j for j in tef_service.journal() if j.get("call") == "ConfiguraIntSiTefInterativoEx"]

    # A session start whose configuration fails leaves the library not
    # initialised; the first session stays valid.
    write_sim_config(tef_service, configure_result=6)
    reply = session_start(tef_client, callback_url=tef_service.sales_api.url, store_code="00000009")
    assert reply["type"] == "error"
    reply = pinpad(tef_client, tef_session)
    assert reply["type"] == "error"
    assert reply["message"].startswith("Erro ao verificar pinpad: ")
    assert presence_checks(tef_service) == []

    write_sim_config(tef_service)
    before = len(configurations())
    assert pinpad(tef_client, tef_session)["status"] == "connected"
    assert len(configurations()) == before + 1 and configurations()[-1]["result"] == 0
    calls = [j.get("call") for j in tef_service.journal()]
    assert calls.index("VerificaPresencaPinPad") > len(calls) - 1 - calls[::-1].index(
        "ConfiguraIntSiTefInterativoEx")
    # It stays initialised: the next check configures nothing.
    assert pinpad(tef_client, tef_session)["status"] == "connected"
    assert len(configurations()) == before + 1
