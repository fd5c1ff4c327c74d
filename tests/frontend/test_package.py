"""The Debian package: built with CPack from the build folder, its contents
and maintainer scripts checked, and the service run from an unpacked copy.

The maintainer scripts run against a DPKG_ROOT folder with stand-ins for the
systemd and trust-store helpers first in PATH, so nothing on this machine
changes."""

import glob
import os
import re
import shutil
import stat
import subprocess

import pytest

import e2e_harness as h

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
BUILD_DIR = os.environ.get("ZENTAVO_BUILD_DIR", os.path.join(ROOT, "build"))
OPT = "opt/zentavo-tef"
UNIT = "lib/systemd/system/ZentavoSiTefService.service"
HELPERS = ["deb-systemd-helper", "deb-systemd-invoke", "systemctl", "update-ca-certificates", "nft"]

# CI has everything installed (scripts/install-deps.sh): there a missing tool fails the test.
HAVE_TOOLS = shutil.which("dpkg-deb") and shutil.which("cpack")
pytestmark = pytest.mark.skipif(not os.environ.get("CI") and not HAVE_TOOLS, reason="needs dpkg-deb and cpack")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"project\(\w+ VERSION ([\d.]+)", f.read()).group(1)


@pytest.fixture(scope="module")
def deb(tmp_path_factory):
    out = tmp_path_factory.mktemp("package")
    run = subprocess.run(["cpack", "-G", "DEB", "-B", str(out), "--config",
                          os.path.join(BUILD_DIR, "CPackConfig.cmake")],
                         cwd=BUILD_DIR, capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stdout + run.stderr
    debs = glob.glob(os.path.join(str(out), "*.deb"))
    assert [os.path.basename(d) for d in debs] == ["zentavo-tef-server_%s_amd64.deb" % project_version()]
    print("package: %s, %d bytes" % (debs[0], os.path.getsize(debs[0])))
    return debs[0]


@pytest.fixture
def helpers(tmp_path):
    """Stand-ins that record their calls in calls.log."""
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    log = tmp_path / "calls.log"
    for name in HELPERS:
        path = bin_dir / name
        path.write_text('#!/bin/sh\necho "%s $*" >> "%s"\nexit 0\n' % (name, log))
        path.chmod(0o755)
    env = dict(os.environ, PATH="%s:%s" % (bin_dir, os.environ["PATH"]))
    env["calls"] = str(log)
    return env


def unpack(deb, folder):
    subprocess.run(["dpkg-deb", "-x", deb, str(folder)], check=True)
    control = folder / "DEBIAN"
    subprocess.run(["dpkg-deb", "-e", deb, str(control)], check=True)
    return control


def maintainer(control, root, env, script, *args):
    run = subprocess.run([str(control / script), *args], env=dict(env, DPKG_ROOT=str(root)),
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, "%s %s: %s%s" % (script, args, run.stdout, run.stderr)
    return run


def test_contents_control_and_unit(deb, tmp_path):
    files = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True, check=True).stdout
    entries = {line.split()[-1].lstrip("."): line.split()[0] for line in files.splitlines()}
    regular = {p for p, mode in entries.items() if not mode.startswith("d")}
    assert regular == {"/" + OPT + "/SvcZentavoSiTef", "/" + OPT + "/scripts/gen-certs.sh",
                       "/" + OPT + "/doc/protocol.md", "/" + OPT + "/lib/libzentavo_print.so", "/" + UNIT}
    assert entries["/" + OPT + "/SvcZentavoSiTef"].startswith("-rwxr-xr-x")
    # Logs, TEF backups, certificates and settings belong to the machine, not to the package.
    assert not any(re.search(r"/(Log|TEF|Certificado|dll)(/|$)|\.ini$", p) for p in entries)

    fields = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version", "Architecture", "Depends"],
                            capture_output=True, text=True, check=True).stdout
    assert "Package: zentavo-tef-server" in fields and "Architecture: amd64" in fields
    assert "Version: %s" % project_version() in fields
    depends = re.search(r"Depends: (.*)", fields).group(1)
    for needed in ("openssl", "init-system-helpers", "libssl3", "libcurl4"):
        assert needed in depends, depends

    control = unpack(deb, tmp_path)
    for script in ("postinst", "prerm", "postrm"):
        mode = os.stat(control / script).st_mode
        assert mode & stat.S_IXUSR, script
        assert subprocess.run(["sh", "-n", str(control / script)]).returncode == 0

    unit = (tmp_path / UNIT).read_text()
    assert 'ExecStart="/opt/zentavo-tef/SvcZentavoSiTef"\n' in unit
    assert "Restart=on-failure\n" in unit
    assert "WorkingDirectory=/opt/zentavo-tef\n" in unit
    assert "WantedBy=multi-user.target" in unit


def test_install_upgrade_remove_purge(deb, tmp_path, helpers):
    root = tmp_path / "root"
    control = unpack(deb, root)
    app = root / OPT
    certs = app / "Certificado"

    # First install: a local CA and a server certificate signed by it.
    maintainer(control, root, helpers, "postinst", "configure")
    for name in ("ca_cert.pem", "server_cert.pem", "server_key.pem"):
        assert (certs / name).exists(), name
    assert stat.S_IMODE(os.stat(certs / "server_key.pem").st_mode) == 0o600
    verify = subprocess.run(["openssl", "verify", "-CAfile", str(certs / "ca_cert.pem"),
                             str(certs / "server_cert.pem")], capture_output=True, text=True)
    assert verify.returncode == 0, verify.stderr
    subject = subprocess.run(["openssl", "x509", "-noout", "-subject", "-in", str(certs / "ca_cert.pem")],
                             capture_output=True, text=True).stdout
    assert "Zentavo TEF Server Local CA" in subject
    for folder in ("Log", "TEF", "dll"):
        assert (app / folder).is_dir()
    assert "server_port=443" in (app / "SvcZentavoSiTef.ini").read_text()
    calls = open(helpers["calls"]).read()
    assert "deb-systemd-helper enable ZentavoSiTefService.service" in calls

    # What the machine made since must survive an upgrade and a removal.
    (app / "Log" / "dia.log").write_text("linha\n")
    (app / "TEF" / "RuVirIdUza_CliSiTef_1.tef").write_text("000-000 = CRT\n")
    with open(app / "SvcZentavoSiTef.ini", "a") as f:
        f.write("pdv_number=7\r\n")
    kept = {p: p.read_bytes() for p in [certs / "ca_cert.pem", certs / "server_cert.pem",
                                         certs / "server_key.pem", app / "SvcZentavoSiTef.ini"]}

    maintainer(control, root, helpers, "prerm", "upgrade", "1.0.0")
    maintainer(control, root, helpers, "postrm", "upgrade", "1.0.0")
    maintainer(control, root, helpers, "postinst", "configure", "1.0.0")
    assert {p: p.read_bytes() for p in kept} == kept

    # An incomplete certificate folder is the administrator's: left as it is.
    (certs / "ca_cert.pem").unlink()
    run = maintainer(control, root, helpers, "postinst", "configure", "1.0.0")
    assert "incomplete" in run.stderr
    assert not (certs / "ca_cert.pem").exists()
    assert (certs / "server_cert.pem").read_bytes() == kept[certs / "server_cert.pem"]
    (certs / "ca_cert.pem").write_bytes(kept[certs / "ca_cert.pem"])

    maintainer(control, root, helpers, "prerm", "remove")
    maintainer(control, root, helpers, "postrm", "remove")
    assert "nft" not in open(helpers["calls"]).read()  # another root's removal leaves this firewall alone
    for path in ("Log/dia.log", "TEF/RuVirIdUza_CliSiTef_1.tef", "Certificado/server_key.pem",
                 "SvcZentavoSiTef.ini"):
        assert (app / path).exists(), path

    trusted = root / "usr/local/share/ca-certificates/ZentavoTEFServer-CA.crt"
    trusted.parent.mkdir(parents=True)
    trusted.write_bytes(kept[certs / "ca_cert.pem"])
    maintainer(control, root, helpers, "postrm", "purge")
    for path in ("Log", "TEF", "Certificado", "SvcZentavoSiTef.ini"):
        assert not (app / path).exists(), path
    assert not trusted.exists()
    assert "deb-systemd-helper purge ZentavoSiTefService.service" in open(helpers["calls"]).read()


def test_installed_service_opens_a_session(deb, tmp_path, helpers):
    root = tmp_path / "root"
    control = unpack(deb, root)
    maintainer(control, root, helpers, "postinst", "configure")
    app = root / OPT
    # The site installs the TEF library into dll/; here, the simulator.
    shutil.copy(os.path.join(h.APP_DIR, "dll", "libclisitef.so"), app / "dll")
    port = h.free_port()
    env = dict(helpers, TZ="America/Sao_Paulo",
               ZENTAVO_CLISITEF_CONTROL_DIR=str(tmp_path / "control"),
               ZENTAVO_CA_STORE_DIR=str(tmp_path / "store"), ZENTAVO_CA_INSTALL_DIR=str(tmp_path / "trust"),
               ZENTAVO_CA_UPDATE_COMMAND="true")
    svc = h.Service(str(app), port, env)
    svc.write_ini("[sitef]\nserver_port=%d\npdv_number=3\n" % port)
    svc.start()
    try:
        client = svc.connect()  # verifies the package's certificate with the package's CA
        try:
            reply = h.session_start(client)
            assert reply["status"] == "created", reply
            assert reply["terminal_number"].endswith("03")
        finally:
            client.close()
    finally:
        assert svc.stop() == 0
