"""Host preparation at every start and continue: the CA certificate made
trusted and the firewall opened for the port, against the harness's fake
trust store, update command and nft (see FakeHost in conftest.py)."""

import filecmp
import os
import signal

import pytest

from conftest import port_open

INSTALLING = "Certificado CA não está confiável no repositório Root. Instalando..."
INSTALLED = "Certificado CA instalado com sucesso no repositório Root."
TRUSTED = "Certificado CA já confiável no repositório Root da máquina."


def firewall_lines(svc):
    return [l for l in svc.log_lines() if l.startswith("Regra de firewall")]


def test_installs_an_untrusted_ca_then_finds_it_trusted_on_continue(svc):
    svc.wait_log("O serviço foi inciado.")
    lines = svc.log_lines()
    assert lines.index("Iniciando servidor socket.") < lines.index(INSTALLING) < \
        lines.index(INSTALLED) < lines.index(firewall_lines(svc)[0])
    ca = os.path.join(svc.dir, "Certificado", "ca_cert.pem")
    assert filecmp.cmp(ca, os.path.join(svc.host.install, "ZentavoTEFServer-CA.crt"), shallow=False)
    assert svc.host.update_runs() == 1
    assert firewall_lines(svc) == ["Regra de firewall (porta %d): " % svc.port]
    table = "ZentavoTEFServer"
    assert svc.host.nft_calls() == [
        ["delete", "table", "inet", table],
        ["add table inet %s; add chain inet %s input { type filter hook input priority filter; "
         "policy accept; }; add rule inet %s input tcp dport %d accept" % (table, table, table, svc.port)]]

    # Continue runs both steps again; the update put the CA in the store meanwhile.
    svc.signal(signal.SIGUSR1)
    svc.wait_log("O serviço foi pausado.")
    svc.signal(signal.SIGUSR2)
    svc.wait_log("O serviço foi retomado.")
    assert TRUSTED in svc.log_lines()
    assert svc.log_lines().count(INSTALLING) == 1 and svc.host.update_runs() == 1
    assert len(svc.host.nft_calls()) == 4 and len(firewall_lines(svc)) == 2


def test_missing_ca_file_is_only_logged(make_service):
    svc = make_service(start=False, prepare=lambda s: os.remove(
        os.path.join(s.dir, "Certificado", "ca_cert.pem")))
    svc.start(wait_listening=False)
    svc.wait_log("O serviço foi inciado.")
    assert "Certificado CA não encontrado em: %s" % os.path.join(
        svc.dir, "Certificado", "ca_cert.pem") in svc.log_lines()
    assert INSTALLING not in svc.log_lines() and svc.host.update_runs() == 0
    assert len(firewall_lines(svc)) == 1 and len(svc.host.nft_calls()) == 2


def test_failing_update_command_is_logged_with_its_code_and_output(make_service):
    svc = make_service(env_extra={"ZENTAVO_CA_UPDATE_COMMAND": "printf '  sem permissão \\n'; exit 4"})
    svc.wait_log("O serviço foi inciado.")
    assert "Falha ao instalar certificado CA (código 4): sem permissão" in svc.log_lines()
    assert INSTALLED not in svc.log_lines()
    assert port_open(svc.port)


@pytest.mark.parametrize("nft", [
    None,  # not installed at all
    "echo 'Error: Could not process rule: Operation not permitted' >&2; exit 1",
])
def test_missing_or_failing_nft_is_logged_and_the_service_listens(make_service, tmp_path, nft):
    empty = tmp_path / "empty-bin"
    empty.mkdir()
    if nft:
        (empty / "nft").write_text("#!/bin/sh\n" + nft + "\n")
        (empty / "nft").chmod(0o755)
    svc = make_service(env_extra={"PATH": str(empty)})
    svc.wait_log("O serviço foi inciado.")
    [line] = firewall_lines(svc)
    prefix = "Regra de firewall (porta %d): " % svc.port
    assert line.startswith(prefix)
    if nft:
        assert line == prefix + "Error: Could not process rule: Operation not permitted"
    else:
        assert "nft" in line and "not found" in line
    assert svc.host.nft_calls() == []
    assert port_open(svc.port)
