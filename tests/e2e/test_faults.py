"""Fault injection with fail counts: a credit payment is driven again and
again while the N-th step of one kind fails (N = 1, 2, ... until the payment
goes through untouched), and after every run the service is restarted (its
recovery runs) and the books are checked:

- the TEF library (the simulator, with its ledger in a state file) holds no
  pending transaction;
- every transaction the library confirmed was registered by the sales API,
  and every one the API registered is confirmed or flagged for
  reconciliation;
- "/transaction/status" tells the truth about the sale.

Each test prints its (fault, N, outcome) table."""

import json
import os
import signal

import pytest

from conftest import FrontEnd, read_journal, session_start, transaction

AMOUNT = "23,40"
API_TIMEOUT_MS = 2000   # the service's sales API time-out in these runs
MAX_RUNS = 80           # a fault that never stops firing is a broken test


class FaultRig:
    """One application folder restarted for every run, with the simulator's
    ledger in a state file that survives the restarts."""

    def __init__(self, make_service, sales_api, tmp_path):
        self.api = sales_api
        self.sim_journal = str(tmp_path / "sim-journal.jsonl")
        self.state = str(tmp_path / "sim-state.json")
        self.sale = 7000
        self.rows = []

        def prepare(s):
            with open(os.path.join(s.dir, "dll", "clisitef-sim.json"), "w") as f:
                json.dump({"interruption_delay_ms": 0, "journal": self.sim_journal,
                           "state_file": self.state}, f)

        self.svc = make_service(
            ini_extra="pdv_number=4\nqrcode_on_pinpad=0\n", prepare=prepare, start=False,
            env_extra={"ZENTAVO_CLISITEF_CONTROL_DIR": str(tmp_path / "control"),
                       "ZENTAVO_SALES_API_TIMEOUT_MS": str(API_TIMEOUT_MS)})
        self.base_env = dict(self.svc.env)

    # --- the service ------------------------------------------------------

    def start(self, **env):
        self.svc.env = dict(self.base_env, **env)
        self.svc.start()

    def restart_clean(self, may_be_killed=False):
        """Stops (or buries a killed) service and starts it without faults.
        Returns whether the process had been killed."""
        if self.svc.proc.poll() is None:
            code = self.svc.stop()
            assert code == 0 or (may_be_killed and code == -signal.SIGKILL), code
        else:
            self.svc.console.close()
        killed = self.svc.proc.returncode == -signal.SIGKILL
        self.start()
        return killed

    # --- the books --------------------------------------------------------

    def ledger(self):
        try:
            with open(self.state, encoding="utf-8") as f:
                return json.load(f)["transactions"]
        except FileNotFoundError:
            return []

    def confirmed_nsus(self):
        return {t["vars"].get("nsu_host") for t in self.ledger() if t["status"] == "confirmed"}

    def fired(self, since):
        return [j for j in read_journal(self.sim_journal)[since:] if j.get("event") == "fault"]

    # --- the front end ----------------------------------------------------

    def pay(self, sale, drop_at=None):
        """Session and credit payment; returns the outcome's name."""
        try:
            client = self.svc.connect(timeout=30)
        except Exception:
            return "no connection"
        try:
            reply = session_start(client, callback_url=self.api.url, sale_id=sale)
            if reply.get("status") != "created":
                return "session refused"
            fe = FrontEnd(client)
            client.send(transaction(reply["session_uuid"], operation=3, transaction_value=AMOUNT,
                                    number_of_installments=1))
            prompts = 0
            while True:
                msg = client.recv(timeout=30)
                if msg["type"] == "result":
                    return msg["status"]
                if msg["type"] == "error":
                    # a sales API request error is reported before its result
                    if msg["message"].startswith("Erro ao registrar transação"):
                        continue
                    return "error"
                prompts += 1
                if drop_at is not None and prompts == drop_at:
                    return "dropped"
                fe.answer(msg)
        except Exception:
            return "connection lost"
        finally:
            client.close()

    def status(self, sale):
        client = self.svc.connect(timeout=30)
        try:
            reply = session_start(client, callback_url=self.api.url, sale_id=sale)
            assert reply["status"] == "created", reply
            return client.request({"route": "/transaction/status",
                                   "session_uuid": reply["session_uuid"], "type": "status"})
        finally:
            client.close()

    # --- one run ----------------------------------------------------------

    def run(self, fault, n, env=None, drop_at=None, arm_api=None):
        """Runs one faulted payment, restarts cleanly, checks the books.
        Returns whether the fault fired."""
        self.sale += 1
        sale = self.sale
        confirmed_before = self.confirmed_nsus()
        requests_before = len(self.api.requests)
        sim_before = len(read_journal(self.sim_journal))
        self.start(**(env or {}))
        if arm_api:
            arm_api()
        outcome = self.pay(sale, drop_at=drop_at)
        kill_armed = "ZENTAVO_JOURNAL_KILL_AT" in (env or {})
        if kill_armed and outcome == "connection lost":
            self.svc.proc.wait(timeout=10)  # the connection drops as the process dies
        self.api.reset_answers()
        killed = self.restart_clean(may_be_killed=kill_armed)
        status = self.status(sale)
        assert self.svc.stop() == 0

        pending = [t for t in self.ledger() if t["status"] == "pending"]
        assert not pending, (fault, n, outcome, pending)
        new_requests = self.api.requests[requests_before:]
        registered = {}
        for r in new_requests:
            if r.answer_status is not None and 200 <= r.answer_status <= 204:
                registered[r.json["transaction_data"][0]["nsu_code"]] = r.answer_body["data"]
        confirmed = self.confirmed_nsus() - confirmed_before
        assert confirmed <= set(registered), (fault, n, outcome, confirmed, registered)
        if confirmed:
            (nsu,) = confirmed
            assert status["type"] == "result" and status["status"] == "approved", status
            entry = status["transaction_data"][0]
            assert entry["nsu_code"] == nsu and entry["payment_id"] == registered[nsu], status
            assert status["pending_reconciliation"] is False
        else:
            assert status.get("status") in ("canceled", "unauthorized", "unknown"), status
            if set(registered) - confirmed:
                assert status["pending_reconciliation"] is True, (fault, n, outcome, status)

        if fault.startswith("library"):
            fired = bool(self.fired(sim_before))
        elif fault.startswith("front end"):
            fired = outcome == "dropped"
        elif fault.startswith("sales API"):
            fired = len(new_requests) >= n
        else:
            fired = killed
        self.rows.append((fault, n, outcome if fired else outcome + " (no fault)",
                          status.get("status") + (" +reconciliation"
                                                  if status.get("pending_reconciliation") else "")))
        return fired

    def loop(self, fault, **make):
        """N = 1, 2, ... until the fault no longer fires; returns the runs."""
        for n in range(1, MAX_RUNS + 1):
            kwargs = {k: (v(n) if callable(v) else v) for k, v in make.items()}
            if not self.run(fault, n, **kwargs):
                return n
        pytest.fail("%s still fires after %d runs" % (fault, MAX_RUNS))

    def table(self):
        lines = ["%-28s %4s  %-28s %s" % ("fault", "N", "outcome", "status afterwards")]
        lines += ["%-28s %4d  %-28s %s" % row for row in self.rows]
        return "\n".join(lines)


@pytest.fixture
def rig(make_service, sales_api, tmp_path, capsys):
    r = FaultRig(make_service, sales_api, tmp_path)
    yield r
    with capsys.disabled():
        print("\n" + r.table())


def test_the_library_failing_at_its_nth_call(rig):
    runs = rig.loop("library call", env=lambda n: {"CLISITEF_SIM_FAIL_AT_CALL": str(n)})
    assert runs > 5


def test_the_front_end_dropping_at_its_nth_prompt(rig):
    runs = rig.loop("front end drops at prompt", drop_at=lambda n: n)
    assert runs > 3


@pytest.mark.parametrize("kind", ["fails", "answers 500", "times out"])
def test_the_sales_api_failing_at_its_nth_request(rig, kind):
    def arm(n):
        def queue():
            for _ in range(n - 1):
                rig.api.respond(200, {"data": 50000 + rig.sale})
            if kind == "fails":
                rig.api.respond(drop=True)
            elif kind == "answers 500":
                rig.api.respond(500, {"message": "falhou"})
            else:
                rig.api.respond(200, {"data": 60000 + rig.sale}, delay=API_TIMEOUT_MS / 1000 + 2)
        return queue

    assert rig.loop("sales API " + kind, arm_api=arm) == 2


@pytest.mark.parametrize("when", ["before", "after", "torn"])
def test_killed_at_each_journal_step_then_restarted(rig, when):
    suffix = "" if when == "before" else ":" + when
    runs = rig.loop("SIGKILL %s record" % when,
                    env=lambda n: {"ZENTAVO_JOURNAL_KILL_AT": "%d%s" % (n, suffix)})
    assert runs >= 5  # started, approved, registered, confirmed, delivered
