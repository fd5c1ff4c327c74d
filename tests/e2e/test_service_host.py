"""The service process: TLS listener, control signals, log and installation."""

import os
import re
import shutil
import signal
import socket
import ssl
import subprocess

import pytest

from conftest import free_port, port_open, wait_until


def tls_handshake(port, version):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    ctx.check_hostname = False
    ctx.verify_mode = ssl.CERT_NONE
    ctx.minimum_version = version
    ctx.maximum_version = version
    with socket.create_connection(("127.0.0.1", port), timeout=5) as raw:
        with ctx.wrap_socket(raw) as tls:
            return tls.version()


def test_accepts_tls12_only(svc):
    assert tls_handshake(svc.port, ssl.TLSVersion.TLSv1_2) == "TLSv1.2"
    with pytest.raises(ssl.SSLError):
        tls_handshake(svc.port, ssl.TLSVersion.TLSv1_3)


def test_log_lines_have_the_daily_format(svc):
    svc.wait_log("O serviço foi inciado.")
    raw = svc.log_bytes()
    assert b"O servi\xe7o foi inciado.\r\n" in raw  # Windows-1252, CR LF
    first = raw.split(b"\r\n")[0].decode("cp1252")
    assert re.fullmatch(r"\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] Iniciando servidor socket\.", first)
    assert re.search(r"/Log/[A-Z][a-zç]+-\d{4}/ZentavoSiTefService \d\d-\d\d-\d{4}\.log$",
                     svc.log_path())


def test_pause_closes_connections_and_continue_reads_the_port_again(svc):
    client = svc.connect()
    svc.signal(signal.SIGUSR1)
    svc.wait_log("O serviço foi pausado.")
    assert not port_open(svc.port)
    with pytest.raises(Exception):
        client.recv_text(timeout=5)  # the server closed it
    client.close()

    new_port = free_port()
    svc.write_ini("[sitef]\nserver_port=%d\n" % new_port)
    svc.signal(signal.SIGUSR2)
    svc.wait_log("O serviço foi retomado.")
    assert wait_until(lambda: port_open(new_port))
    assert not port_open(svc.port)


def test_sigterm_stops_and_exits_zero(svc):
    assert svc.stop() == 0
    lines = svc.log_lines()
    assert "O serviço foi parado." in lines


def test_missing_key_leaves_the_service_running_and_logs_why(make_service):
    svc = make_service(start=False,
                       prepare=lambda s: os.remove(os.path.join(s.dir, "Certificado", "server_key.pem")))
    svc.start(wait_listening=False)
    svc.wait_log("O serviço foi inciado.")
    svc.wait_log("server_key.pem")
    assert svc.proc.poll() is None
    assert not port_open(svc.port)
    assert svc.stop() == 0


def test_port_defaults_to_443_when_not_positive(make_service):
    svc = make_service(start=False)
    svc.write_ini("[sitef]\nserver_port=-1\n")
    svc.start(wait_listening=False)
    # 443 needs privileges unless we are root; either it listens there or the
    # activation error names that port.
    assert wait_until(lambda: port_open(443) or
                      any("443" in l for l in svc.log_lines() if "Erro" in l), 10)


def test_install_and_uninstall_write_and_remove_the_unit(svc, tmp_path):
    unit_dir = tmp_path / "units"
    unit_dir.mkdir()
    env = dict(svc.env, ZENTAVO_UNIT_DIR=str(unit_dir))
    out = subprocess.run([svc.exe, "/install"], env=env, capture_output=True, text=True)
    assert out.returncode == 0
    assert out.stdout.strip() == "Service installed successfully"
    unit = (unit_dir / "ZentavoSiTefService.service").read_text()
    assert 'ExecStart="%s"\n' % svc.exe in unit
    assert "Description=Zentavo TEF Server - Mantenha este serviço iniciado." in unit
    assert "Restart=on-failure" in unit and "WantedBy=multi-user.target" in unit

    out = subprocess.run([svc.exe, "-UNINSTALL", "-silent"], env=env, capture_output=True, text=True)
    assert out.returncode == 0 and out.stdout == ""
    assert not (unit_dir / "ZentavoSiTefService.service").exists()



def test_unit_quotes_a_folder_with_blanks_and_percent(svc, tmp_path):
    folder = tmp_path / "Zentavo 100% $HOME"
    folder.mkdir()
    exe = folder / "SvcZentavoSiTef"
    shutil.copy2(svc.exe, exe)
    unit_dir = tmp_path / "units"
    unit_dir.mkdir()
    env = dict(svc.env, ZENTAVO_UNIT_DIR=str(unit_dir))
    out = subprocess.run([str(exe), "/install", "/silent"], env=env, capture_output=True, text=True)
    assert out.returncode == 0, out
    unit = (unit_dir / "ZentavoSiTefService.service").read_text()
    assert 'ExecStart="%s/Zentavo 100%%%% $$HOME/SvcZentavoSiTef"\n' % tmp_path in unit


def test_port_above_65535_is_refused_not_wrapped(make_service):
    svc = make_service(start=False)
    svc.write_ini("[sitef]\nserver_port=70000\n")
    svc.start(wait_listening=False)
    svc.wait_log("Porta inválida em [sitef] server_port: 70000 (máximo 65535). "
                 "O servidor não foi iniciado.")
    svc.wait_log("O serviço foi inciado.")
    assert not port_open(70000 - 65536)
    assert svc.stop() == 0


def test_only_forward_secret_aead_suites(svc):
    def handshake(ciphers):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        ctx.check_hostname = False
        ctx.verify_mode = ssl.CERT_NONE
        ctx.maximum_version = ssl.TLSVersion.TLSv1_2
        ctx.set_ciphers(ciphers)
        with socket.create_connection(("127.0.0.1", svc.port), timeout=5) as raw:
            with ctx.wrap_socket(raw) as tls:
                return tls.cipher()[0]

    assert handshake("ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256").endswith(
        "AES128-GCM-SHA256")
    assert "CHACHA20" in handshake("ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305")
    for refused in ["ECDHE-ECDSA-AES128-SHA:ECDHE-RSA-AES128-SHA:ECDHE-RSA-AES256-SHA384",
                    "AES128-GCM-SHA256:AES256-GCM-SHA384:AES128-SHA",
                    "DHE-RSA-AES128-GCM-SHA256"]:
        with pytest.raises(ssl.SSLError):
            handshake(refused + ":@SECLEVEL=0")


def test_failed_uninstall_reports_the_error(svc, tmp_path):
    env = dict(svc.env, ZENTAVO_UNIT_DIR=str(tmp_path / "nowhere"))
    out = subprocess.run([svc.exe, "/uninstall"], env=env, capture_output=True, text=True)
    assert out.returncode == 1
    assert out.stdout.startswith('Service "ZentavoSiTefService" failed to uninstall with error: "')
