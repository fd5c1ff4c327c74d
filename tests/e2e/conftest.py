"""Black-box harness: runs a private copy of the application folder and talks
to it as a front end would (TLS, WebSocket, signed tokens)."""

import asyncio
import datetime
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import time
import zoneinfo

import pytest
import websockets

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
APP_DIR = os.environ.get("ZENTAVO_APP_DIR", os.path.join(ROOT, "build", "app"))
EXE_NAME = "SvcZentavoSiTef"
MONTHS = ["Janeiro", "Fevereiro", "Março", "Abril", "Maio", "Junho", "Julho", "Agosto",
          "Setembro", "Outubro", "Novembro", "Dezembro"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


def wait_until(predicate, timeout=10.0, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class Service:
    """One running service process in its own copy of the application folder."""

    def __init__(self, folder, port, env):
        self.dir = folder
        self.port = port
        self.env = env
        self.proc = None

    @property
    def exe(self):
        return os.path.join(self.dir, EXE_NAME)

    @property
    def ini_path(self):
        return os.path.join(self.dir, EXE_NAME + ".ini")

    def write_ini(self, text):
        with open(self.ini_path, "wb") as f:
            f.write(text.replace("\n", "\r\n").encode("cp1252"))

    def start(self, wait_listening=True):
        # Console output goes to a file: an unread pipe could block the service.
        self.console = open(os.path.join(self.dir, "console.log"), "ab")
        self.proc = subprocess.Popen([self.exe], cwd=self.dir, env=self.env,
                                     stdout=self.console, stderr=subprocess.STDOUT)
        if wait_listening:
            assert wait_until(lambda: port_open(self.port)), "service did not listen:\n" + \
                "\n".join(self.log_lines())
        return self

    def signal(self, sig):
        self.proc.send_signal(sig)

    def stop(self):
        if self.proc is None or self.proc.poll() is not None:
            return self.proc.returncode if self.proc else None
        try:
            return self._stop()
        finally:
            self.console.close()

    def _stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise

    def now(self):
        """The service's local time (it runs in its own TZ)."""
        return datetime.datetime.now(zoneinfo.ZoneInfo(self.env["TZ"]))

    def log_path(self, when=None):
        when = when or self.now()
        month = "%s-%04d" % (MONTHS[when.month - 1], when.year)
        return os.path.join(self.dir, "Log", month,
                            "ZentavoSiTefService %s.log" % when.strftime("%d-%m-%Y"))

    def log_bytes(self):
        try:
            with open(self.log_path(), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def log_lines(self):
        """The day's service log as text lines without their time stamps."""
        out = []
        for raw in self.log_bytes().decode("cp1252").split("\r\n"):
            out.append(raw[22:] if raw.startswith("[") else raw)
        return out

    def wait_log(self, text, timeout=10.0):
        assert wait_until(lambda: any(text in l for l in self.log_lines()), timeout), \
            "log has no %r:\n%s" % (text, "\n".join(self.log_lines()))

    def ssl_context(self):
        ctx = ssl.create_default_context(cafile=os.path.join(self.dir, "Certificado", "ca_cert.pem"))
        return ctx

    def connect(self, **kwargs):
        return Client(self, **kwargs)


class Client:
    """A WebSocket client over TLS (Python websockets), driven synchronously."""

    def __init__(self, svc, timeout=15.0, compression=None):
        self.svc = svc
        self.timeout = timeout
        self.loop = asyncio.new_event_loop()

        async def connect():
            return await websockets.connect(
                "wss://localhost:%d/" % svc.port, ssl=svc.ssl_context(), compression=compression,
                max_size=None, open_timeout=timeout, ping_interval=None)

        self.ws = self.loop.run_until_complete(connect())

    def _run(self, coro):
        return self.loop.run_until_complete(asyncio.wait_for(coro, self.timeout))

    def send(self, message):
        if isinstance(message, dict):
            message = json.dumps(message)
        self._run(self.ws.send(message))

    def recv_text(self, timeout=None):
        return self.loop.run_until_complete(asyncio.wait_for(self.ws.recv(), timeout or self.timeout))

    def recv(self, timeout=None):
        return json.loads(self.recv_text(timeout))

    def request(self, message, timeout=None):
        self.send(message)
        return self.recv(timeout)

    def nothing_within(self, seconds):
        try:
            msg = self.recv_text(seconds)
        except asyncio.TimeoutError:
            return True
        raise AssertionError("unexpected message: %s" % msg)

    def close(self):
        try:
            self._run(self.ws.close())
        except Exception:
            pass
        self.loop.close()


class FakeHost:
    """Stands in for the machine's trust store, CA update command and nft, so
    no service started by a test touches the machine: a store folder and an
    install folder of its own, an update command that records its calls and
    copies the installed certificate into the store (as the real one does),
    and an `nft` first in PATH that records its arguments."""

    def __init__(self, root):
        self.root = root
        self.bin = os.path.join(root, "bin")
        self.store = os.path.join(root, "store")
        self.install = os.path.join(root, "install")
        self.nft_log = os.path.join(root, "nft.log")
        self.update_log = os.path.join(root, "update.log")
        self.update_command = os.path.join(self.bin, "fake-update-ca")
        for d in (self.bin, self.store):
            os.makedirs(d, exist_ok=True)
        self._script("nft", "for a in \"$@\"; do printf '[%%s]' \"$a\"; done >> '%s'\n"
                            "echo >> '%s'\n" % (self.nft_log, self.nft_log))
        self._script("fake-update-ca",
                     "echo run >> '%s'\n"
                     "/bin/cp \"$ZENTAVO_CA_INSTALL_DIR\"/*.crt \"$ZENTAVO_CA_STORE_DIR\"/ "
                     "&& echo 'Updating certificates... 1 added, 0 removed; done.'\n"
                     % self.update_log)

    def _script(self, name, body):
        path = os.path.join(self.bin, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + body)
        os.chmod(path, 0o755)

    def env(self, path):
        return {"PATH": self.bin + os.pathsep + path, "ZENTAVO_CA_STORE_DIR": self.store,
                "ZENTAVO_CA_INSTALL_DIR": self.install,
                "ZENTAVO_CA_UPDATE_COMMAND": self.update_command}

    def nft_calls(self):
        """Each call of the fake nft as the list of its arguments."""
        try:
            with open(self.nft_log) as f:
                return [line.rstrip("\n")[1:-1].split("][") for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def update_runs(self):
        try:
            with open(self.update_log) as f:
                return len(f.read().split())
        except FileNotFoundError:
            return 0


@pytest.fixture
def make_service(tmp_path):
    """Factory: a copy of the application folder with its own INI and port."""
    started = []

    def factory(ini_extra="", start=True, prepare=None, env_extra=None):
        folder = os.path.join(str(tmp_path), "app%d" % len(started))
        shutil.copytree(APP_DIR, folder, symlinks=False,
                        ignore=shutil.ignore_patterns("Log", "*.ini", "TEF", "Journal"))
        os.makedirs(os.path.join(folder, "TEF"), exist_ok=True)
        port = free_port()
        env = dict(os.environ)
        env["TZ"] = "America/Sao_Paulo"  # pinned: tests compute dates in it
        host = FakeHost(os.path.join(str(tmp_path), "host%d" % len(started)))
        env.update(host.env(env["PATH"]))
        if env_extra:
            env.update(env_extra)
        svc = Service(folder, port, env)
        svc.host = host
        svc.write_ini("[sitef]\nserver_port=%d\n%s" % (port, ini_extra))
        if prepare:
            prepare(svc)
        started.append(svc)
        if start:
            svc.start()
        return svc

    yield factory
    failures = []
    for svc in started:
        code = svc.stop()
        if code not in (0, None):
            with open(os.path.join(svc.dir, "console.log"), "rb") as f:
                failures.append("exit code %s:\n%s" % (code, f.read().decode("utf-8", "replace")[-4000:]))
    # A crash or a sanitizer report at exit fails the test that ran the service.
    assert not failures, "\n".join(failures)


@pytest.fixture
def svc(make_service):
    return make_service()


@pytest.fixture
def client(svc):
    c = svc.connect()
    yield c
    c.close()


# --- tokens and sessions -------------------------------------------------

import jwt as pyjwt  # PyJWT: an implementation independent of ours

SHARED_KEY = "Hq4Lw8ZtNc2Vy6Rb1Xk9Pm3Ds7Gf5Ju0"


def default_claims(**overrides):
    claims = {
        "secctional_code": "0012",
        "ip_address": "127.0.0.1",
        "store_code": "00000000",
        "additional_parameters": "",
        "operator": "CAIXA01",
        "sale_id": 1001,
        "company_id": 7,
        "callback_url": "https://127.0.0.1:9/api",
    }
    claims.update(overrides)
    return {k: v for k, v in claims.items() if v is not None}


def make_token(claims=None, alg="HS256", key=SHARED_KEY, headers=None):
    if claims is None:
        claims = default_claims()
    return pyjwt.encode(claims, key, algorithm=alg, headers=headers)


def session_start(client, token=None, **claim_overrides):
    """Sends "/session/start" and returns the first reply that is not a notice."""
    if token is None:
        token = make_token(default_claims(**claim_overrides))
    client.send({"route": "/session/start", "type": "session", "token": token})
    while True:
        reply = client.recv(timeout=30)
        if reply.get("type") != "message":
            return reply


@pytest.fixture
def session(client):
    reply = session_start(client)
    assert reply["status"] == "created", reply
    return reply["session_uuid"]


# --- payments against the TEF library simulator -------------------------

from fakesalesapi import sales_api  # noqa: E402,F401  (fixture)


def read_journal(path):
    try:
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]
    except FileNotFoundError:
        return []


@pytest.fixture
def tef_service(make_service, sales_api, tmp_path):
    """A service whose TEF library (the simulator) answers at once and keeps a
    journal; sessions point at the fake sales API."""
    journal = tmp_path / "journal.jsonl"
    control = tmp_path / "control" / "NaoExcluirControleCliSiTef"

    def prepare(s):
        with open(os.path.join(s.dir, "dll", "clisitef-sim.json"), "w") as f:
            json.dump({"interruption_delay_ms": 0, "journal": str(journal)}, f)

    svc = make_service(ini_extra="pdv_number=3\nqrcode_on_pinpad=0\n", prepare=prepare,
                       env_extra={"ZENTAVO_CLISITEF_CONTROL_DIR": str(control)})
    svc.journal_path = str(journal)
    svc.control_dir = str(control)
    svc.sales_api = sales_api
    svc.journal = lambda: read_journal(svc.journal_path)
    return svc


class FrontEnd:
    """Answers the service's prompts as an operator would, and records them."""

    def __init__(self, client, menu=None, collect=None, question="Sim"):
        self.client = client
        self.menu = list(menu or [])        # option texts (substrings) to pick, in order
        self.collect = {505: "3"}           # field_type -> answer text
        self.collect.update(collect or {})
        self.question = question
        self.seen = []

    def answer(self, msg):
        kind = msg["type"]
        if kind == "menu":
            wanted = self.menu.pop(0) if self.menu else None
            options = msg["options"]
            choice = next((o for o in options if wanted and wanted.lower() in o.lower()),
                          options[0])
            self.client.send({"route": "/transaction", "type": "menu", "response": choice})
        elif kind == "collect":
            value = self.collect.get(msg["field_type"], "1")
            self.client.send({"route": "/transaction", "type": "collect", "typed": True,
                              "response": value})
        elif kind == "question":
            self.client.send({"route": "/transaction", "type": "question",
                              "response": self.question})
        elif kind == "confirmation":
            self.client.send({"route": "/transaction", "type": "confirmation"})

    def run(self, request, timeout=60, limit=500):
        self.client.send(request)
        return self.until_result(timeout, limit)

    def until_result(self, timeout=60, limit=500):
        """Goes on answering prompts until a result (or an error reply) arrives."""
        while True:
            msg = self.client.recv(timeout=timeout)
            self.seen.append(msg)
            assert len(self.seen) < limit, "the dialogue does not end: %s" % self.seen[-5:]
            if msg["type"] in ("result", "error"):
                return msg
            self.answer(msg)

    def kinds(self):
        return [m["type"] for m in self.seen]


def transaction(session, type_="transaction", operation=3, **fields):
    msg = {"route": "/transaction", "session_uuid": session, "type": type_,
           "operation": operation}
    if type_ == "transaction":
        msg.setdefault("payer_name", "Fulano de Tal")
    msg.update(fields)
    return msg


@pytest.fixture
def tef_client(tef_service):
    c = tef_service.connect(timeout=60)
    yield c
    c.close()


@pytest.fixture
def tef_session(tef_service, tef_client):
    reply = session_start(tef_client, callback_url=tef_service.sales_api.url)
    assert reply["status"] == "created", reply
    return reply["session_uuid"]
