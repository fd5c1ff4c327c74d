"""A fake sales API for the black-box tests and the terminal client.

An HTTPS server on loopback with a self-signed certificate made at start. It
records every request and answers with what the test asked for:

    api = FakeSalesApi().start()          # or the pytest fixture `sales_api`
    claims["callback_url"] = api.url      # "https://127.0.0.1:PORT/"
    api.respond(422, {"message": "venda fechada"})       # next answer only
    api.respond_for("/v1/sales/tef/callback/", 500, "boom")  # every answer there
    api.delay = 2.0                       # every answer waits 2 s (slow API)
    api.respond(200, {"data": 1}, delay=5)  # one slow answer
    api.respond(drop=True)                # close the connection without an answer
    api.stop()                            # unreachable: nothing listens on the port
    api.start()                           # listens again on the same port
    req = api.wait_for_requests(1)[0]     # RecordedRequest
    req.method, req.path, req.token, req.headers["Accept"], req.body, req.json

Choice of the answer to a request: the oldest queued answer (`respond`) first,
then the longest matching path prefix (`respond_for`), then the default: 200
with {"data": N}, N counting up from `first_payment_id` (each request gets its
own identifier; `RecordedRequest.answer_body` shows what was sent).

Threads: the server runs in its own thread and one thread per connection;
every public method may be called from any thread.
"""

import datetime
import http.server
import ipaddress
import json
import os
import shutil
import socket
import ssl
import tempfile
import threading
import time

try:
    import pytest
except ImportError:  # the terminal client imports this module without pytest
    pytest = None

CALLBACK_PREFIX = "/v1/sales/tef/callback/"


def _make_certificate(folder, expired=False):
    """Writes a self-signed certificate for 127.0.0.1/localhost and its key."""
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID

    key = ec.generate_private_key(ec.SECP256R1())
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Fake sales API")])
    now = datetime.datetime.utcnow()
    if expired:
        not_before, not_after = now - datetime.timedelta(days=30), now - datetime.timedelta(days=1)
    else:
        not_before, not_after = now - datetime.timedelta(days=1), now + datetime.timedelta(days=30)
    cert = (x509.CertificateBuilder()
            .subject_name(name).issuer_name(name)
            .public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(not_before).not_valid_after(not_after)
            .add_extension(x509.SubjectAlternativeName([
                x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]),
                critical=False)
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .sign(key, hashes.SHA256()))
    cert_path = os.path.join(folder, "cert.pem")
    key_path = os.path.join(folder, "key.pem")
    with open(cert_path, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_path, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    return cert_path, key_path


class Answer:
    """What the fake sends back: status, body (dict/list -> JSON, str, bytes or
    None for an empty body), optional reason phrase, extra headers, a delay in
    seconds before answering, or drop=True to close without answering."""

    def __init__(self, status=200, body=None, reason=None, headers=None, delay=0.0, drop=False):
        self.status = status
        self.body = body
        self.reason = reason
        self.headers = dict(headers or {})
        self.delay = delay
        self.drop = drop

    def encoded(self):
        """(content type, bytes) of the body."""
        if self.body is None:
            return None, b""
        if isinstance(self.body, bytes):
            return "application/octet-stream", self.body
        if isinstance(self.body, str):
            return "text/plain; charset=utf-8", self.body.encode("utf-8")
        return "application/json", json.dumps(self.body).encode("utf-8")


class RecordedRequest:
    """One request as the fake received it. `headers` is case-insensitive
    (headers["accept"] == headers["Accept"]); `header_items` keeps the order and
    repeats; `json` is the parsed body or None when it is not JSON;
    `answer_status`/`answer_body` are the answer chosen for it (None for a drop)."""

    def __init__(self, method, path, headers, body):
        self.method = method
        self.path = path
        self.headers = headers
        self.header_items = list(headers.items())
        self.body = body
        try:
            self.json = json.loads(body.decode("utf-8")) if body else None
        except (UnicodeDecodeError, ValueError):
            self.json = None
        self.answer_status = None
        self.answer_body = None

    @property
    def token(self):
        """The last path segment of a callback request, else None."""
        if self.path.startswith(CALLBACK_PREFIX):
            return self.path[len(CALLBACK_PREFIX):]
        return None

    def __repr__(self):
        return "<%s %s %r>" % (self.method, self.path, self.body[:200])


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeSalesApi"
    sys_version = ""

    def log_message(self, *args):
        pass

    timeout = 30  # an idle kept-alive connection is closed after this

    def _handle(self):
        api = self.server.api
        if api._stopping.is_set():
            self.close_connection = True
            return
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        req = RecordedRequest(self.command, self.path, self.headers, body)
        answer = api._take_answer(self.path)
        if not answer.drop:
            req.answer_status, req.answer_body = answer.status, answer.body
        # Recorded on arrival, so a test can see a request that is still waiting.
        api._record(req)
        delay = answer.delay or api.delay
        if (delay and api._stopping.wait(delay)) or answer.drop:
            self.close_connection = True
            return
        content_type, data = answer.encoded()
        self.send_response(answer.status, answer.reason)
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in answer.headers.items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = do_HEAD = _handle


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, api, context):
        self.api = api
        self.context = context
        self.open_sockets = set()
        self.sockets_lock = threading.Lock()
        super().__init__(address, _Handler)

    def process_request(self, request, client_address):
        with self.sockets_lock:
            self.open_sockets.add(request)
        super().process_request(request, client_address)

    def shutdown_request(self, request):
        with self.sockets_lock:
            self.open_sockets.discard(request)
        super().shutdown_request(request)

    def drop_connections(self):
        """Cuts kept-alive connections too, so a stopped fake answers nothing."""
        with self.sockets_lock:
            sockets = list(self.open_sockets)
        for sock in sockets:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def get_request(self):
        sock, addr = super().get_request()
        # The TLS handshake runs in the connection's thread, so a client that
        # never completes it cannot hold up the listener.
        return self.context.wrap_socket(sock, server_side=True,
                                        do_handshake_on_connect=False), addr

    def handle_error(self, request, client_address):
        pass  # TLS failures and dropped connections are part of the tests


class FakeSalesApi:
    """The fake server (see the module comment)."""

    def __init__(self, host="127.0.0.1", port=0, expired_certificate=False, first_payment_id=1001):
        self.host = host
        self.port = port
        self.delay = 0.0
        self._folder = tempfile.mkdtemp(prefix="fakesalesapi-")
        self.cert_path, self.key_path = _make_certificate(self._folder, expired_certificate)
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self._queue = []
        self._by_path = {}
        self._requests = []
        self._next_payment_id = first_payment_id
        self._stopping = threading.Event()
        self._server = None
        self._thread = None

    # --- life ---------------------------------------------------------------

    def start(self):
        """Listens (again, on the same port after a stop). Returns self."""
        if self._server is not None:
            return self
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert_path, self.key_path)
        self._stopping.clear()
        self._server = _Server((self.host, self.port), self, context)
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        """Stops listening; the port is closed (connections are refused) and
        answers still waiting on a delay are abandoned."""
        if self._server is None:
            return
        self._stopping.set()
        self._server.shutdown()
        self._server.server_close()
        self._server.drop_connections()
        self._thread.join(5)
        self._server = None
        self._thread = None

    make_unreachable = stop

    def close(self):
        self.stop()
        shutil.rmtree(self._folder, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    @property
    def running(self):
        return self._server is not None

    @property
    def url(self):
        """Base URL for the "callback_url" claim, ending in "/"."""
        return "https://%s:%d/" % (self.host, self.port)

    @property
    def callback_url(self):
        """Where the service posts results (the token is appended)."""
        return self.url.rstrip("/") + CALLBACK_PREFIX

    @staticmethod
    def closed_port_url():
        """A base URL on which nothing listens (for an unreachable API)."""
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        return "https://127.0.0.1:%d/" % port

    # --- answers ------------------------------------------------------------

    def respond(self, status=200, body=None, **kwargs):
        """Queues one answer for the next request (first queued, first used).
        Keywords: reason, headers, delay, drop."""
        with self._lock:
            self._queue.append(Answer(status, body, **kwargs))

    def respond_for(self, path_prefix, status=200, body=None, **kwargs):
        """Answers every request whose path starts with path_prefix (until
        cleared with reset_answers)."""
        with self._lock:
            self._by_path[path_prefix] = Answer(status, body, **kwargs)

    def reset_answers(self):
        with self._lock:
            self._queue.clear()
            self._by_path.clear()
            self.delay = 0.0

    def _take_answer(self, path):
        with self._lock:
            if self._queue:
                return self._queue.pop(0)
            matches = [p for p in self._by_path if path.startswith(p)]
            if matches:
                return self._by_path[max(matches, key=len)]
            payment_id = self._next_payment_id
            self._next_payment_id += 1
            return Answer(200, {"data": payment_id})

    # --- records ------------------------------------------------------------

    def _record(self, req):
        with self._changed:
            self._requests.append(req)
            self._changed.notify_all()

    @property
    def requests(self):
        """A copy of the requests received so far, oldest first."""
        with self._lock:
            return list(self._requests)

    def clear_requests(self):
        with self._lock:
            self._requests.clear()

    def wait_for_requests(self, count=1, timeout=10.0):
        """Waits until at least `count` requests arrived; returns them all.
        AssertionError after the timeout."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while len(self._requests) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("sales API got %d request(s), expected %d"
                                         % (len(self._requests), count))
                self._changed.wait(left)
            return list(self._requests)

    def client_ssl_context(self):
        """A client context that trusts this server's certificate."""
        return ssl.create_default_context(cafile=self.cert_path)


if pytest is not None:
    @pytest.fixture
    def sales_api():
        """A started FakeSalesApi, stopped after the test."""
        api = FakeSalesApi().start()
        yield api
        api.close()
