"""doc/protocol.md cannot rot: every block marked `json request` is sent to the
service (TEF library simulator, fake sales API) and every block marked
`json reply` is compared with what the service answers, section by section."""

import asyncio
import datetime
import json
import os
import re
import zoneinfo

import jwt
import pytest

import e2e_harness as h

HERE = os.path.dirname(os.path.abspath(__file__))
DOC = os.path.join(os.path.dirname(os.path.dirname(HERE)), "doc", "protocol.md")

# Members whose values change from run to run: compared by JSON type only.
VARIABLE = {"expiration", "session_uuid", "nsu_code", "canceled_nsu", "authorization_code", "hash",
            "transaction_date_time", "payment_id", "version", "data"}
# Lists compared by shape only (receipt lines are abbreviated in the document).
LINES = {"data"}
# Notices and cancel announcements that the document may leave out.
SKIPPABLE = {"message", "can_cancel"}


def sections():
    """[(title, [(kind, text, line)])] for every "## " section with examples."""
    with open(DOC, encoding="utf-8") as f:
        text = f.read()
    out = []
    for part in re.split(r"^## ", text, flags=re.M)[1:]:
        title = part.splitlines()[0].strip()
        offset = text.index("## " + part[:200])
        blocks = []
        for m in re.finditer(r"^```json (request|reply)\n(.*?)\n```", part, re.S | re.M):
            line = text.count("\n", 0, offset + m.start()) + 1
            blocks.append((m.group(1), m.group(2), line))
        if blocks:
            out.append((title, blocks))
    return out


SECTIONS = sections()


def test_document_has_examples_for_every_route_and_prompt():
    requests = [json.loads(t) for _, blocks in SECTIONS for k, t, _ in blocks if k == "request"]
    replies = [json.loads(t) for _, blocks in SECTIONS for k, t, _ in blocks if k == "reply"]
    routes = {r.get("route") for r in requests}
    assert {"/session/start", "/session/finish", "/initialize", "/transaction", "/transaction/cancel",
            "/version", "/pinpad/status", "/print"} <= routes
    kinds = {r["type"] for r in replies}
    assert {"session", "message", "menu", "collect", "question", "qrcode", "can_cancel", "result",
            "error", "version", "status", "initialize", "confirmation"} <= kinds
    answers = {r["type"] for r in requests if r.get("route") == "/transaction"}
    assert {"transaction", "cancellation", "reprint", "menu", "collect", "question", "confirmation"} <= answers


def compare(doc, actual, where, key=None):
    if isinstance(doc, dict):
        assert isinstance(actual, dict), "%s: expected an object, got %r" % (where, actual)
        assert list(doc) == list(actual), "%s: members %s, the service sent %s" % (where, list(doc), list(actual))
        for k in doc:
            compare(doc[k], actual[k], "%s.%s" % (where, k), k)
    elif isinstance(doc, list) and key in LINES:
        assert isinstance(actual, list) and all(isinstance(x, str) for x in actual), where
    elif isinstance(doc, list):
        assert isinstance(actual, list) and len(doc) == len(actual), "%s: %r vs %r" % (where, doc, actual)
        for i, (d, a) in enumerate(zip(doc, actual)):
            compare(d, a, "%s[%d]" % (where, i), key)
    elif key in VARIABLE:
        assert type(doc) is type(actual), "%s: %r vs %r" % (where, doc, actual)
    else:
        assert doc == actual, "%s: the document says %r, the service sent %r" % (where, doc, actual)


class Replay:
    def __init__(self, svc, client, sales_api):
        self.svc = svc
        self.client = client
        self.sales_api = sales_api
        self.session = None
        self.last_result = None
        self.last_route = None

    def token(self):
        # The document's token must be a valid development token; its sales API
        # address is replaced by the fake one.
        doc_token = re.search(r'"token":"([^"]+)"', open(DOC, encoding="utf-8").read()).group(1)
        claims = jwt.decode(doc_token, h.SHARED_KEY, algorithms=["HS256"])
        claims["callback_url"] = self.sales_api.url
        return h.make_token(claims)

    def substitute(self, msg):
        entry = (self.last_result or {}).get("transaction_data", [{}])[0]
        for k, v in list(msg.items()):
            if k == "token":
                msg[k] = self.token()
            elif v == "SESSION":
                msg[k] = self.session
            elif v == "NSU":
                msg[k] = entry["nsu_code"]
            elif v == "DATE":
                when = datetime.datetime.strptime(entry["transaction_date_time"], "%Y-%m-%dT%H:%M:%SZ")
                when = when.replace(tzinfo=datetime.timezone.utc).astimezone(zoneinfo.ZoneInfo(self.svc.env["TZ"]))
                msg[k] = when.strftime("%Y-%m-%d %H:%M:%S")
        return msg

    def request(self, text):
        msg = self.substitute(json.loads(text))
        self.last_route = msg.get("route")
        self.client.send(msg)

    def reply(self, text, where):
        doc = json.loads(text)
        while True:
            try:
                got = self.client.recv(timeout=60)
            except asyncio.TimeoutError:
                raise AssertionError("%s: no %s message from the service" % (where, doc["type"]))
            if got.get("type") == doc["type"] and (doc["type"] != "message" or got["message"] == doc["message"]):
                break
            assert got.get("type") in SKIPPABLE, "%s: expected %s, the service sent %s" % (where, text, got)
        try:
            compare(doc, got, where)
        except AssertionError as e:
            raise AssertionError("%s\nthe service sent: %s" % (e, json.dumps(got, ensure_ascii=False))) from None
        if got["type"] == "session" and got["status"] == "created":
            self.session = got["session_uuid"]
        if got["type"] == "result" and got["status"] == "approved":
            self.last_result = got


@pytest.fixture
def doc_service(make_service, sales_api, tmp_path):
    """The simulator pauses between its interruption checks, so that the
    document's cancel example reaches it while the card is awaited."""
    def prepare(s):
        with open(os.path.join(s.dir, "dll", "clisitef-sim.json"), "w") as f:
            json.dump({"interruption_delay_ms": 250}, f)
    return make_service(ini_extra="pdv_number=3\nqrcode_on_pinpad=0\n", prepare=prepare,
                        env_extra={"ZENTAVO_CLISITEF_CONTROL_DIR": str(tmp_path / "control")})


@pytest.mark.parametrize("title,blocks", SECTIONS, ids=[t for t, _ in SECTIONS])
def test_examples(doc_service, sales_api, title, blocks):
    client = doc_service.connect(timeout=60)
    try:
        replay = Replay(doc_service, client, sales_api)
        if blocks[0][0] != "request" or '"/session/start"' not in blocks[0][1]:
            replay.request('{"route":"/session/start","type":"session","token":""}')
            replay.reply('{"type":"session","status":"created","message":"Sessão criada com sucesso.",'
                         '"expiration":"","session_uuid":"","store_code":"00000000","terminal_number":"AG000103"}',
                         "session start")
        for kind, text, line in blocks:
            where = "doc/protocol.md:%d" % line
            if kind == "request":
                replay.request(text)
            else:
                replay.reply(text, where)
    finally:
        client.close()
