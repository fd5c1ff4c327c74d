#!/usr/bin/python3
"""Soak: takes payments in a row through one service process (the TEF
library simulator and a fake sales API behind it) and reports the service's
resident memory and open file descriptors every so many payments. Both must
stay flat: the script fails when, after the warm-up, the descriptor count
grows at all, or RSS grows both by more than --max-growth-kb (the journal's
memory up to its first compaction, heap caches) and by more than
--max-kb-per-payment on average.

The TEF library runs inside the service's process, and the simulator keeps
every approved transaction in memory (its ledger, for cancellations and
reprints): about 7 to 9 kB a payment, which heaptrack attributes to
libclisitef.so. That is what the default allowance of 10 kB covers; the
service's own share, the payment journal included, is bounded.

    benchmarks/soak.py                    # 1,000 payments, a report every 100
    benchmarks/soak.py --payments 50      # what CI runs (a report every 10)

Needs a built application folder (build/app, or --app-dir / ZENTAVO_APP_DIR)
and the Python packages of the black-box tests."""

import argparse
import json
import os
import shutil
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from conftest import FakeHost, FrontEnd, Service, free_port, session_start, transaction  # noqa: E402
from fakesalesapi import FakeSalesApi  # noqa: E402


def proc_figures(pid):
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
    return rss, len(os.listdir("/proc/%d/fd" % pid))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--payments", type=int, default=1000)
    ap.add_argument("--every", type=int, default=0, help="report interval (default payments/10, at most 100)")
    ap.add_argument("--app-dir", default=os.environ.get("ZENTAVO_APP_DIR", os.path.join(ROOT, "build", "app")))
    ap.add_argument("--max-kb-per-payment", type=float, default=10.0)
    ap.add_argument("--max-growth-kb", type=int, default=4096)
    args = ap.parse_args()
    every = args.every or max(1, min(100, args.payments // 10))

    work = tempfile.mkdtemp(prefix="zentavo-soak-")
    api = FakeSalesApi().start()
    svc = None
    try:
        folder = os.path.join(work, "app")
        shutil.copytree(args.app_dir, folder, ignore=shutil.ignore_patterns("Log", "*.ini", "TEF", "Journal"))
        os.makedirs(os.path.join(folder, "TEF"), exist_ok=True)
        with open(os.path.join(folder, "dll", "clisitef-sim.json"), "w") as f:
            json.dump({"interruption_delay_ms": 0, "wait_checks": 1}, f)
        port = free_port()
        env = dict(os.environ, TZ="America/Sao_Paulo",
                   ZENTAVO_CLISITEF_CONTROL_DIR=os.path.join(work, "control"))
        # The machine's trust store and firewall stay untouched.
        env.update(FakeHost(os.path.join(work, "host")).env(env["PATH"]))
        svc = Service(folder, port, env)
        svc.write_ini("[sitef]\nserver_port=%d\npdv_number=5\nqrcode_on_pinpad=0\n" % port)
        svc.start()

        client = svc.connect(timeout=60)
        reply = session_start(client, callback_url=api.url, sale_id=9001)
        assert reply.get("status") == "created", reply
        session = reply["session_uuid"]
        figures = []
        started = time.monotonic()
        print("%8s %10s %6s %8s" % ("payments", "RSS (kB)", "fds", "seconds"), flush=True)
        for i in range(1, args.payments + 1):
            result = FrontEnd(client).run(transaction(session, operation=3, transaction_value="11,00",
                                                      number_of_installments=1))
            assert result["type"] == "result" and result["status"] == "approved", result
            if i % 100 == 0:
                api.clear_requests()
            if i % every == 0 or i == args.payments:
                rss, fds = proc_figures(svc.proc.pid)
                figures.append((i, rss, fds))
                print("%8d %10d %6d %8.1f" % (i, rss, fds, time.monotonic() - started), flush=True)
        client.close()

        # The first report is the warm-up (caches, the journal filling up).
        base = figures[1] if len(figures) > 2 else figures[0]
        last = figures[-1]
        growth = last[1] - base[1]
        per_payment = growth / max(1, last[0] - base[0])
        print("RSS growth after warm-up: %d kB (%.1f kB a payment); descriptors: %d -> %d"
              % (growth, per_payment, base[2], last[2]))
        ok = last[2] <= base[2] and (growth <= args.max_growth_kb or
                                     per_payment <= args.max_kb_per_payment)
        print("flat" if ok else "NOT FLAT")
        return 0 if ok else 1
    finally:
        if svc is not None:
            code = svc.stop()
            if code not in (0, None):
                print("service exit code %s" % code)
        api.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
