#!/usr/bin/python3
"""Terminal front end for Zentavo TEF Server: take a payment by hand.

It connects to the service over wss, opens a session with a token it signs
itself (HS256 with the shared key), starts a payment, a cancellation or a
reprint, shows every prompt of the TEF library (menus, data entry, questions,
messages, QR codes) and sends what you type, until the result arrives.

Quick start (two terminals, from the repository root):

    scripts/run.sh                                   # the service with the simulator
    /usr/bin/python3 tools/terminal_client.py --sales-api

--sales-api starts a fake sales API inside this process (tests/e2e/fakesalesapi.py)
and puts its address in the token, so the result is registered and confirmed.
Without it, --callback-url names the sales API; the default address is
unreachable, so every payment ends undone ("canceled").

While a prompt waits:
    menu          the option's number (or its text); "<" goes back; "!" cancels
    collect       the value; "<" goes back; "!" cancels
    question      the option's number or its first letters (s, n, r)
    confirmation  Enter
    Ctrl-C        sends "/transaction/cancel" (honoured only while the service
                  says cancelling is allowed); a second Ctrl-C within 2 s quits

Examples:
    terminal_client.py --sales-api --operation 3 --value 12,50          # credit
    terminal_client.py --sales-api --operation 2 --value 10,00          # debit
    terminal_client.py --sales-api --operation 300 --value 5,00         # PIX
    terminal_client.py --sales-api --type cancellation --operation 200 \\
        --value 12,50 --nsu 123456 --date "2025-01-31 09:05:00"
    terminal_client.py --type reprint --operation 113
    terminal_client.py --sales-api --sales-api-status 422               # API refuses
    terminal_client.py --print tests/print/golden/receipt.xml           # print a layout

Exit status: 0 approved, 1 not approved or an error reply, 2 no session or
no connection. Requires Debian's python3-websockets and python3-jwt.
"""

import argparse
import asyncio
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import threading
import time
import unicodedata

import jwt
import websockets

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHARED_KEY = "Hq4Lw8ZtNc2Vy6Rb1Xk9Pm3Ds7Gf5Ju0"
UNREACHABLE_CALLBACK = "https://127.0.0.1:9/"
BACK, CANCEL = "<", "!"


def parse_args(argv=None):
    p = argparse.ArgumentParser(
        description="Terminal front end for Zentavo TEF Server (see the top of this file).",
        formatter_class=argparse.ArgumentDefaultsHelpFormatter)
    c = p.add_argument_group("connection")
    c.add_argument("--url", default="wss://127.0.0.1:8443", help="service address")
    c.add_argument("--ca", default=os.path.join(ROOT, "build", "app", "Certificado", "ca_cert.pem"),
                   help="CA certificate that signed the service's certificate")
    c.add_argument("--insecure", action="store_true", help="do not verify the service's certificate")

    t = p.add_argument_group("session token claims (defaults suit the simulator)")
    t.add_argument("--secctional-code", default="0001")
    t.add_argument("--ip-address", default="127.0.0.1", help="SiTef server address")
    t.add_argument("--store-code", default="00000000")
    t.add_argument("--additional-parameters", default="", help="one per line ('\\n' separates)")
    t.add_argument("--operator", default="CAIXA 1")
    t.add_argument("--sale-id", type=int, default=1)
    t.add_argument("--company-id", type=int, default=1)
    t.add_argument("--callback-url", default=None,
                   help="sales API base URL (default: the --sales-api fake, else unreachable)")
    t.add_argument("--connection-type", default=None, help='"TLS" selects the TLS gateway')
    t.add_argument("--store-cnpj", default=None)
    t.add_argument("--tef-cnpj", default=None)
    t.add_argument("--registration-token", default=None)
    t.add_argument("--claim", action="append", default=[], metavar="NAME=VALUE",
                   help="set or override any claim (repeatable; VALUE may be JSON)")
    t.add_argument("--alg", default="HS256", choices=["HS256", "HS384", "HS512"])

    r = p.add_argument_group("the request")
    r.add_argument("--type", default="transaction", choices=["transaction", "cancellation", "reprint"])
    r.add_argument("--operation", type=int, default=0,
                   help="TEF function: 0 payment menu, 2 debit, 3 credit, 300 PIX (simulator), "
                        "200 cancellation, 113/114 reprint, 110 administrative menu")
    r.add_argument("--value", default="12,50", help="amount as text with a decimal comma: 12,50")
    r.add_argument("--installments", type=int, default=None)
    r.add_argument("--payer-name", default="Cliente Teste")
    r.add_argument("--request-sale-id", type=int, default=None,
                   help='"sale_id" of the request (replaces the token\'s)')
    r.add_argument("--nsu", default=None, help="cancellation: NSU of the payment to cancel")
    r.add_argument("--date", default=None,
                   help='cancellation: date of the payment, "yyyy-mm-dd" or "yyyy-mm-dd hh:nn:ss"')
    r.add_argument("--no-finish", action="store_true", help='do not send "/session/finish" at the end')

    pr = p.add_argument_group("printing (no session, no payment)")
    pr.add_argument("--print", metavar="FILE", default=None,
                    help='send FILE to "/print" instead of paying: a PDF or a receipt layout')
    pr.add_argument("--file-type", choices=["pdf", "gdi"], default=None,
                    help="file_type sent (default: pdf for *.pdf, gdi otherwise)")

    s = p.add_argument_group("fake sales API")
    s.add_argument("--sales-api", action="store_true", help="start a fake sales API in this process")
    s.add_argument("--sales-api-status", type=int, default=200,
                   help="status it answers (not 2xx: with a JSON \"message\")")
    s.add_argument("--sales-api-delay", type=float, default=0.0, help="seconds before it answers")
    args = p.parse_args(argv)
    if args.type == "cancellation" and (args.nsu is None or args.date is None):
        p.error("--type cancellation needs --nsu and --date")
    return args


def build_claims(args, callback_url):
    claims = {"secctional_code": args.secctional_code}
    if args.connection_type is not None:
        claims["connection_type"] = args.connection_type
    for name in ("store_cnpj", "tef_cnpj", "registration_token"):
        if getattr(args, name) is not None:
            claims[name] = getattr(args, name)
    claims.update({
        "ip_address": args.ip_address,
        "store_code": args.store_code,
        "additional_parameters": args.additional_parameters.replace("\\n", "\n"),
        "operator": args.operator,
        "sale_id": args.sale_id,
        "company_id": args.company_id,
        "callback_url": callback_url,
    })
    for item in args.claim:
        name, _, value = item.partition("=")
        try:
            claims[name] = json.loads(value)
        except ValueError:
            claims[name] = value
    return claims


def make_token(claims, alg="HS256"):
    return jwt.encode(claims, SHARED_KEY, algorithm=alg)


def transaction_request(args, session_uuid):
    msg = {"route": "/transaction", "session_uuid": session_uuid, "type": args.type,
           "operation": args.operation}
    if args.type == "transaction":
        msg["payer_name"] = args.payer_name
    if args.type == "cancellation":
        msg["cancellation_nsu"] = args.nsu
        msg["transaction_date"] = args.date
    if args.type in ("transaction", "cancellation"):
        if args.request_sale_id is not None:
            msg["sale_id"] = args.request_sale_id
        msg["transaction_value"] = args.value
        if args.installments is not None:
            msg["number_of_installments"] = args.installments
    return msg


def _plain(text):
    """Lower case without accents, for matching what was typed."""
    return "".join(ch for ch in unicodedata.normalize("NFD", text.lower())
                   if unicodedata.category(ch) != "Mn")


# --- answers: pure functions from what was typed to the reply message -------

def menu_answer(options, typed):
    """The reply to a menu, or None when the input chooses nothing."""
    typed = typed.strip()
    if typed == BACK:
        return {"route": "/transaction", "type": "menu", "response": "", "back_menu": True}
    if typed == CANCEL:
        return {"route": "/transaction", "type": "menu", "response": "", "back_menu": False}
    if not typed:
        return None
    for option in options:  # "2" picks "2:Cartao de Credito"
        if option.split(":", 1)[0].strip() == typed:
            return {"route": "/transaction", "type": "menu", "response": option}
    if typed.isdigit() and 1 <= int(typed) <= len(options):
        return {"route": "/transaction", "type": "menu", "response": options[int(typed) - 1]}
    for option in options:
        if _plain(option) == _plain(typed) or _plain(option.split(":", 1)[-1]) == _plain(typed):
            return {"route": "/transaction", "type": "menu", "response": option}
    return None


def collect_answer(typed):
    stripped = typed.strip()
    if stripped == BACK:
        return {"route": "/transaction", "type": "collect", "typed": False, "back_menu": True}
    if stripped == CANCEL:
        return {"route": "/transaction", "type": "collect", "typed": False, "back_menu": False}
    return {"route": "/transaction", "type": "collect", "typed": True, "response": typed}


def question_answer(options, typed):
    """The reply to a question, or None when the input matches no option."""
    typed = typed.strip()
    if not typed:
        return None
    chosen = None
    if typed.isdigit() and 1 <= int(typed) <= len(options):
        chosen = options[int(typed) - 1]
    else:
        matches = [o for o in options if _plain(o).startswith(_plain(typed))]
        if len(matches) == 1:
            chosen = matches[0]
    if chosen is None:
        return None
    return {"route": "/transaction", "type": "question", "response": chosen}


def confirmation_answer():
    return {"route": "/transaction", "type": "confirmation"}


# --- display -----------------------------------------------------------------

def show_lines(text, out):
    # The library writes "@" where a line breaks on a PIN pad display.
    for line in str(text).replace("@", "\n").split("\n"):
        out.write("  " + line + "\n")


def show_qrcode(data, out):
    out.write("QR code: %s\n" % data)
    try:
        import qrcode  # optional: python3-qrcode
        q = qrcode.QRCode(border=1)
        q.add_data(data)
        q.print_ascii(out=out, invert=True)
        return
    except ImportError:
        pass
    if shutil.which("qrencode"):
        try:
            out.write(subprocess.run(["qrencode", "-t", "ANSIUTF8", data], capture_output=True,
                                     text=True, timeout=5).stdout)
        except (OSError, subprocess.SubprocessError):
            pass


def show_result(msg, out):
    out.write("\n=== Resultado: %s — %s\n" % (msg.get("status"), msg.get("message")))
    for i, entry in enumerate(msg.get("transaction_data") or [], 1):
        out.write("--- transação %d\n" % i)
        for name, value in entry.items():
            if name != "receipt":
                out.write("  %s: %s\n" % (name, value))
        for copy in entry.get("receipt") or []:
            out.write("  -- via %s\n" % copy.get("copy_number"))
            for line in copy.get("data") or []:
                out.write("  | %s\n" % line)


# --- the session and the dialogue ----------------------------------------------

class KeyboardLines:
    """Lines typed at the keyboard, delivered to the event loop. A thread reads
    standard input (so it works for a terminal, a pipe or a file)."""

    def __init__(self, loop):
        self.queue = asyncio.Queue()
        self.loop = loop
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in sys.stdin:
            self.loop.call_soon_threadsafe(self.queue.put_nowait, line.rstrip("\r\n"))
        self.loop.call_soon_threadsafe(self.queue.put_nowait, None)  # end of input

    async def get(self):
        line = await self.queue.get()
        if line is None:
            self.queue.put_nowait(None)
            raise EOFError
        return line


class TerminalClient:
    def __init__(self, args, out=sys.stdout):
        self.args = args
        self.out = out
        self.ws = None
        self.session_uuid = None
        self.can_cancel = False
        self.in_transaction = False
        self.last_interrupt = 0.0
        self.prompt_task = None
        self.pending_recv = None  # the read of the next service message, when one runs
        self.quit = asyncio.Event()
        self.keyboard = None

    def say(self, text):
        self.out.write(text + "\n")
        self.out.flush()

    def ssl_context(self):
        if self.args.insecure:
            ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            ctx.check_hostname = False
            ctx.verify_mode = ssl.CERT_NONE
            return ctx
        return ssl.create_default_context(cafile=self.args.ca)

    async def send(self, msg):
        await self.ws.send(json.dumps(msg, ensure_ascii=False))

    def _recv_future(self):
        if self.pending_recv is None:
            self.pending_recv = asyncio.ensure_future(self.ws.recv())
        return self.pending_recv

    async def recv(self, timeout=None):
        """The next service message; None when timeout seconds pass first
        (the read goes on and delivers the message at the next call)."""
        future = self._recv_future()
        done, _ = await asyncio.wait({future}, timeout=timeout)
        if not done:
            return None
        self.pending_recv = None
        return json.loads(future.result())

    def on_interrupt(self):
        now = time.monotonic()
        if not self.in_transaction or now - self.last_interrupt < 2.0:
            self.say("\nSaindo.")
            self.quit.set()
            return
        self.last_interrupt = now
        note = "" if self.can_cancel else " (o serviço ainda não permite cancelar: será ignorado)"
        self.say("\n>> Enviando /transaction/cancel%s. Ctrl-C de novo em 2 s para sair." % note)
        asyncio.ensure_future(self.send({"route": "/transaction/cancel",
                                         "session_uuid": self.session_uuid,
                                         "type": "cancellation"}))
        if self.prompt_task and not self.prompt_task.done():
            # The service drops the waiting prompt when a cancel arrives.
            self.prompt_task.cancel()

    async def ask(self, prompt, make_answer):
        """Reads lines until make_answer gives a reply; sends it."""
        while True:
            self.out.write(prompt)
            self.out.flush()
            answer = make_answer(await self.keyboard.get())
            if answer is not None:
                await self.send(answer)
                return
            self.say("  (resposta não reconhecida)")

    async def prompt(self, coro):
        """Runs one keyboard prompt; a message from the service arriving first
        (it stopped waiting, e.g. after its answer time-out) abandons it."""
        self.prompt_task = asyncio.ensure_future(coro)
        try:
            done, _ = await asyncio.wait({self.prompt_task, self._recv_future()},
                                         return_when=asyncio.FIRST_COMPLETED)
            if self.prompt_task not in done:
                self.prompt_task.cancel()
                self.say("\n  (o serviço não espera mais esta resposta)")
            else:
                self.prompt_task.result()
        except asyncio.CancelledError:
            if self.quit.is_set():
                raise
        finally:
            self.prompt_task = None

    async def handle(self, msg):
        """Shows one message; answers it when it is a prompt. True when it was a result."""
        kind = msg.get("type")
        if kind == "menu":
            self.say("\n[menu] %s" % msg.get("title", ""))
            options = msg.get("options") or []
            for i, option in enumerate(options, 1):
                self.say("  %d) %s" % (i, option))
            await self.prompt(self.ask("escolha (%s voltar, %s cancelar): " % (BACK, CANCEL),
                                       lambda typed: menu_answer(options, typed)))
        elif kind == "collect":
            self.say("\n[dado] %s" % msg.get("title", ""))
            self.say("  tamanho %s a %s, campo %s (%s)" % (
                msg.get("minimum_size"), msg.get("maximum_size"), msg.get("field_type"),
                msg.get("field_operation")))
            await self.prompt(self.ask("valor (%s voltar, %s cancelar): " % (BACK, CANCEL),
                                       collect_answer))
        elif kind == "question":
            self.say("\n[pergunta]")
            show_lines(msg.get("message", ""), self.out)
            options = msg.get("options") or []
            listed = ", ".join("%d) %s" % (i, o) for i, o in enumerate(options, 1))
            await self.prompt(self.ask("%s: " % listed, lambda typed: question_answer(options, typed)))
        elif kind == "confirmation":
            self.say("\n[aviso]")
            show_lines(msg.get("message", ""), self.out)
            await self.prompt(self.ask("Enter para continuar: ", lambda typed: confirmation_answer()))
        elif kind == "message":
            if msg.get("message"):
                show_lines(msg["message"], self.out)
        elif kind == "qrcode":
            show_qrcode(msg.get("data", ""), self.out)
        elif kind == "can_cancel":
            self.can_cancel = bool(msg.get("can_cancel"))
            self.say("  [%s]" % ("pode cancelar: Ctrl-C" if self.can_cancel else "não pode cancelar"))
        elif kind == "receipt":
            self.say("\n[comprovante, via %s]" % msg.get("copy_number"))
            for line in msg.get("data") or []:
                self.say("  | %s" % line)
        elif kind == "result":
            show_result(msg, self.out)
            return True
        elif kind == "error":
            self.say("\n[erro] %s" % msg.get("message"))
        else:
            self.say("\n[?] %s" % json.dumps(msg, ensure_ascii=False))
        return False

    async def start_session(self, callback_url):
        token = make_token(build_claims(self.args, callback_url), self.args.alg)
        await self.send({"route": "/session/start", "type": "session", "token": token})
        while True:
            msg = await self.recv()
            if msg.get("type") == "session":
                self.session_uuid = msg.get("session_uuid")
                self.say("Sessão %s (loja %s, terminal %s, expira %s)" % (
                    self.session_uuid, msg.get("store_code"), msg.get("terminal_number"),
                    msg.get("expiration")))
                return True
            if msg.get("type") == "error":
                self.say("Sessão recusada: %s" % msg.get("message"))
                return False
            await self.handle(msg)

    async def run_transaction(self):
        """Returns the last result message, or None."""
        self.in_transaction = True
        request = transaction_request(self.args, self.session_uuid)
        self.say("Enviando %s" % json.dumps(request, ensure_ascii=False))
        await self.send(request)
        result = None
        try:
            while True:
                msg = await self.recv()
                if await self.handle(msg):
                    result = msg
                    break
            # A not-realised result may follow the first one; show it too.
            while True:
                msg = await self.recv(timeout=1.0)
                if msg is None:
                    break
                if await self.handle(msg):
                    result = msg
        finally:
            self.in_transaction = False
        return result

    async def session(self, callback_url):
        async with websockets.connect(self.args.url, ssl=self.ssl_context(), max_size=None,
                                      ping_interval=None, open_timeout=15) as ws:
            self.ws = ws
            if not await self.start_session(callback_url):
                return 2
            result = await self.run_transaction()
            if not self.args.no_finish:
                await self.send({"route": "/session/finish", "session_uuid": self.session_uuid,
                                 "type": "session"})
                try:
                    msg = await self.recv(timeout=5.0)
                    if msg is not None:
                        self.say("%s" % msg.get("message"))
                except websockets.ConnectionClosed:
                    pass
            self._drop_pending_read()
            return 0 if result and result.get("status") == "approved" else 1

    def _drop_pending_read(self):
        future, self.pending_recv = self.pending_recv, None
        if future is None:
            return
        if future.done():
            if not future.cancelled():
                future.exception()  # retrieved: the connection is being closed anyway
        else:
            future.cancel()

    async def main(self, callback_url):
        loop = asyncio.get_running_loop()
        self.keyboard = KeyboardLines(loop)
        loop.add_signal_handler(signal.SIGINT, self.on_interrupt)
        work = asyncio.ensure_future(self.session(callback_url))
        stop = asyncio.ensure_future(self.quit.wait())
        done, _ = await asyncio.wait({work, stop}, return_when=asyncio.FIRST_COMPLETED)
        if work not in done:
            work.cancel()
            return 1
        stop.cancel()
        return work.result()


def start_fake_sales_api(args, out):
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    from fakesalesapi import FakeSalesApi
    api = FakeSalesApi().start()
    if not 200 <= args.sales_api_status <= 299:
        api.respond_for("/", args.sales_api_status,
                        {"message": "Recusado pela API de teste (%d)" % args.sales_api_status})
    elif args.sales_api_status != 200:
        api.respond_for("/", args.sales_api_status, None)
    api.delay = args.sales_api_delay
    out.write("API de vendas falsa em %s\n" % api.url)
    return api


def report_sales_api(api, out):
    for req in api.requests:
        out.write("API de vendas recebeu %s %s -> %s %s\n" % (
            req.method, req.path, req.answer_status, json.dumps(req.answer_body)))


async def print_document(args, out):
    """Sends one "/print" request. The service answers only on failure, so
    silence for a few seconds means the job was queued (see the service log)."""
    import base64
    with open(args.print, "rb") as f:
        data = base64.b64encode(f.read()).decode()
    file_type = args.file_type or ("pdf" if args.print.lower().endswith(".pdf") else "gdi")
    ctx = ssl.create_default_context(cafile=None if args.insecure else args.ca)
    if args.insecure:
        ctx.check_hostname = False
        ctx.verify_mode = ssl.CERT_NONE
    async with websockets.connect(args.url, ssl=ctx, max_size=None, ping_interval=None,
                                  open_timeout=15) as ws:
        await ws.send(json.dumps({"route": "/print", "type": "print", "file_type": file_type,
                                  "data": data}))
        out.write("Enviado %s como %s (%d bytes em base64)\n" % (args.print, file_type, len(data)))
        code = 0
        try:
            while True:
                reply = await asyncio.wait_for(ws.recv(), 3.0)
                out.write("Resposta: %s\n" % reply)
                code = 1
        except asyncio.TimeoutError:
            if code == 0:
                out.write("Sem resposta: o trabalho entrou na fila de impressão.\n")
        return code


def main(argv=None):
    args = parse_args(argv)
    out = sys.stdout
    if args.print:
        try:
            return asyncio.run(print_document(args, out))
        except (OSError, websockets.InvalidHandshake, websockets.ConnectionClosed, ssl.SSLError) as e:
            out.write("Conexão com o serviço falhou: %s\n" % e)
            return 2
    api = None
    if args.sales_api:
        api = start_fake_sales_api(args, out)
    callback_url = args.callback_url or (api.url if api else UNREACHABLE_CALLBACK)
    if callback_url == UNREACHABLE_CALLBACK:
        out.write("Aviso: sem --sales-api nem --callback-url a API de vendas é inalcançável; "
                  "o pagamento será desfeito.\n")
    client = TerminalClient(args, out)
    try:
        code = asyncio.run(client.main(callback_url))
    except (OSError, websockets.InvalidHandshake, websockets.ConnectionClosed, ssl.SSLError) as e:
        out.write("Conexão com o serviço falhou: %s\n" % e)
        code = 2
    except EOFError:
        out.write("Fim da entrada.\n")
        code = 1
    finally:
        if api:
            report_sales_api(api, out)
            api.close()
    return code


if __name__ == "__main__":
    sys.exit(main())
