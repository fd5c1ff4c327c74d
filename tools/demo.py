#!/usr/bin/python3
"""The demo front end in a browser, with one command.

    /usr/bin/python3 tools/demo.py

It
  - serves frontend/demo/ on a loopback origin (http://127.0.0.1:8080/), which
    browsers allow to reach the service on 127.0.0.1 (Local Network Access);
  - runs a fake sales API (tests/e2e/fakesalesapi.py) that registers every result;
  - signs session tokens for the page at /dev/token with the DEVELOPMENT key
    (the service's built-in shared key). A shop's backend signs its own tokens;
    this endpoint exists only here and must never be copied into production;
  - starts the service from build/app/ (TEF library simulator, port 8443) unless
    something already listens on the service's port (scripts/run.sh, say);
  - prints the URL to open.

Build first (scripts/build.sh or scripts/run.sh). The browser must trust the
development CA, build/app/Certificado/ca_cert.pem: import it (Chromium:
Settings > Privacy and security > Security > Manage certificates > Authorities),
or start Chromium with the --ignore-certificate-errors-spki-list value this
tool prints (with its own --user-data-dir).

Ctrl-C stops everything this tool started. Needs Debian's python3-jwt and
python3-cryptography (scripts/install-deps.sh).
"""

import argparse
import base64
import hashlib
import http.server
import json
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

import jwt

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAGE_DIR = os.path.join(ROOT, "frontend", "demo")
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from fakesalesapi import FakeSalesApi  # noqa: E402

# DEVELOPMENT ONLY: the key the service verifies session tokens with. Whoever
# holds it can open sessions, so it belongs on the shop's backend, never in a page.
DEVELOPMENT_KEY = "Hq4Lw8ZtNc2Vy6Rb1Xk9Pm3Ds7Gf5Ju0"

# Claims that suit the TEF library simulator.
DEFAULT_CLAIMS = {
    "secctional_code": "0001",
    "ip_address": "127.0.0.1",
    "store_code": "00000000",
    "additional_parameters": "",
    "operator": "CAIXA 1",
    "sale_id": 1,
    "company_id": 1,
}


def sign_token(claims):
    return jwt.encode(claims, DEVELOPMENT_KEY, algorithm="HS256")


def spki_hash(cert_path):
    """base64 SHA-256 of the certificate's public key, for Chromium's
    --ignore-certificate-errors-spki-list."""
    from cryptography import x509
    from cryptography.hazmat.primitives import serialization
    with open(cert_path, "rb") as f:
        cert = x509.load_pem_x509_certificate(f.read())
    der = cert.public_key().public_bytes(serialization.Encoding.DER,
                                         serialization.PublicFormat.SubjectPublicKeyInfo)
    return base64.b64encode(hashlib.sha256(der).digest()).decode()


class _Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=PAGE_DIR, **kwargs)

    def log_message(self, *args):
        pass

    def end_headers(self):
        # The page changes while one develops it: never serve a stale copy.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/dev/token":
            return self._token(urllib.parse.parse_qs(url.query))
        return super().do_GET()

    def _token(self, query):
        claims = dict(self.server.claims)
        try:
            if "sale_id" in query:
                claims["sale_id"] = int(query["sale_id"][0])
        except ValueError:
            return self._reply(400, "sale_id must be an integer")
        return self._reply(200, sign_token(claims))

    def _reply(self, status, text):
        data = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class DemoServer:
    """The page server with its token endpoint and, unless one is given, a fake
    sales API. Used by this tool and by the browser test."""

    def __init__(self, service_url, port=0, sales_api=None, claims=None):
        self.service_url = service_url
        self._own_api = sales_api is None
        self.sales_api = sales_api or FakeSalesApi()
        self.claims = dict(DEFAULT_CLAIMS, **(claims or {}))
        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), _Handler)
        self._httpd.daemon_threads = True
        self._thread = None

    def start(self):
        if self._own_api:
            self.sales_api.start()
        self.claims.setdefault("callback_url", self.sales_api.url)
        self._httpd.claims = self.claims
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    @property
    def url(self):
        query = urllib.parse.urlencode({"service": self.service_url, "token_url": "/dev/token"})
        return "http://127.0.0.1:%d/?%s" % (self._httpd.server_address[1], query)

    def stop(self):
        self._httpd.shutdown()
        self._httpd.server_close()
        if self._own_api:
            self.sales_api.close()


def port_open(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.3):
            return True
    except OSError:
        return False


def ini_port(ini_path):
    try:
        with open(ini_path, "rb") as f:
            text = f.read().decode("cp1252")
    except FileNotFoundError:
        return None
    m = re.search(r"^\s*server_port\s*=\s*(\d+)", text, re.I | re.M)
    return int(m.group(1)) if m else None


def start_service(app_dir, port):
    """Runs the service from app_dir (as scripts/run.sh does); returns the process."""
    exe = os.path.join(app_dir, "SvcZentavoSiTef")
    if not os.path.exists(exe):
        sys.exit("demo: %s not found: build first (scripts/build.sh)" % exe)
    subprocess.run([os.path.join(ROOT, "scripts", "gen-dev-certs.sh"),
                    os.path.join(app_dir, "Certificado")], check=True)
    ini = os.path.join(app_dir, "SvcZentavoSiTef.ini")
    if not os.path.exists(ini):
        with open(ini, "wb") as f:
            f.write(b"[sitef]\r\nserver_port=%d\r\n" % port)
    console = open(os.path.join(app_dir, "Log", "demo-console.log"), "ab")
    proc = subprocess.Popen([exe], cwd=app_dir, stdout=console, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 15
    while not port_open(port):
        if proc.poll() is not None or time.monotonic() > deadline:
            sys.exit("demo: the service did not start listening on %d (see %s/Log)" % (port, app_dir))
        time.sleep(0.1)
    return proc


def watch_sales_api(api, stop):
    """Prints each result the service registers."""
    seen = 0
    while not stop.wait(0.3):
        requests = api.requests
        for req in requests[seen:]:
            body = req.json or {}
            data = (body.get("transaction_data") or [{}])[0]
            print("sales API: %s %s -> %s %s  (%s, %s)" % (
                req.method, req.path.split("/callback/")[0] + "/callback/…", req.answer_status,
                json.dumps(req.answer_body), data.get("operation"), body.get("status")), flush=True)
        seen = len(requests)


def main(argv=None):
    p = argparse.ArgumentParser(description="Serves the demo front end (see the top of this file).")
    p.add_argument("--port", type=int, default=8080, help="port of the page on 127.0.0.1")
    p.add_argument("--app-dir", default=os.path.join(ROOT, "build", "app"))
    p.add_argument("--service-port", type=int, default=None,
                   help="the service's port (default: the app folder's INI, else 8443)")
    p.add_argument("--no-service", action="store_true", help="do not start the service")
    p.add_argument("--callback-url", default=None, help="a real sales API instead of the fake one")
    args = p.parse_args(argv)

    port = args.service_port or ini_port(os.path.join(args.app_dir, "SvcZentavoSiTef.ini")) or 8443
    service = None
    if not args.no_service and not port_open(port):
        service = start_service(args.app_dir, port)
        print("service: started from %s on port %d (pid %d)" % (args.app_dir, port, service.pid))
    elif port_open(port):
        print("service: already listening on port %d" % port)
    else:
        print("service: not started; expecting it on port %d" % port)

    claims = {"callback_url": args.callback_url} if args.callback_url else None
    demo = DemoServer("wss://127.0.0.1:%d/" % port, port=args.port, claims=claims).start()
    stop = threading.Event()
    threading.Thread(target=watch_sales_api, args=(demo.sales_api, stop), daemon=True).start()

    cert = os.path.join(args.app_dir, "Certificado", "server_cert.pem")
    print("sales API: fake, %s" % demo.claims["callback_url"])
    print("tokens: signed with the DEVELOPMENT key at /dev/token (development only)")
    if os.path.exists(cert):
        print("trust: import %s into the browser, or run for example\n"
              "  chromium --user-data-dir=$(mktemp -d) --ignore-certificate-errors-spki-list=%s '%s'"
              % (os.path.join(args.app_dir, "Certificado", "ca_cert.pem"), spki_hash(cert), demo.url))
    print("\nOpen: %s\n" % demo.url, flush=True)

    done = threading.Event()
    signal.signal(signal.SIGINT, lambda *a: done.set())
    signal.signal(signal.SIGTERM, lambda *a: done.set())
    while not done.wait(0.5):
        pass
    stop.set()
    demo.stop()
    if service is not None:
        service.send_signal(signal.SIGTERM)
        try:
            service.wait(15)
        except subprocess.TimeoutExpired:
            service.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main())
