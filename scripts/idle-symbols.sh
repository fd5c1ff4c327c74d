#!/bin/sh
# Writes cmake/service-idle-symbols.txt: the functions of the service's
# executable that run from its start until it waits, idle, for connections.
# The link puts them first in the text, so an idle service maps a few pages of
# code instead of every page that holds one of them. Run it after changes to
# the start-up path (the list only orders the link; a stale one costs memory,
# not correctness): build first (scripts/build.sh), then
# `scripts/idle-symbols.sh [build folder]`. Needs valgrind.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="$root/cmake/service-idle-symbols.txt"
command -v valgrind >/dev/null 2>&1 || {
  echo "idle-symbols: valgrind is missing (apt-get install valgrind)" >&2
  exit 1
}
tmp="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

cp -a "$build/app" "$tmp/app"
rm -rf "$tmp/app/Log" "$tmp/app/TEF"
mkdir -p "$tmp/app/Log" "$tmp/app/TEF"
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
printf '[sitef]\r\nserver_port=%s\r\npdv_number=3\r\nqrcode_on_pinpad=0\r\n' "$port" >"$tmp/app/SvcZentavoSiTef.ini"
# A journal of resolved payments, as a service that has taken payments has
# one: reading it at start is part of what an idle service has run.
mkdir -p "$tmp/app/Journal"
python3 - "$tmp/app/Journal/payments.journal" <<'JOURNAL'
import json, sys, zlib
steps = [
    ("A", "started", {"session": "S", "sale_id": 1, "company_id": 7, "type": "transaction",
                      "operation": 0, "amount": 12.5, "installments": 0, "tef": {},
                      "document": "1", "date": "20261210", "time": "120000"}),
    ("A", "approved", {"nsu": "1", "authorization": "2", "result": {"type": "result"}}),
    ("A", "registered", {"payment_id": 3}),
    ("A", "confirmed", {}),
    ("A", "delivered", {}),
    ("B", "started", {"session": "S", "sale_id": 2, "company_id": 7, "type": "transaction",
                      "operation": 0, "amount": 1.0, "installments": 0, "tef": {},
                      "document": "2", "date": "20261210", "time": "120100"}),
    ("B", "ended", {"result": {"type": "error", "message": "x"}}),
]
with open(sys.argv[1], "w", encoding="utf-8") as f:
    for seq, (pid, step, members) in enumerate(steps, 1):
        record = {"id": pid, "step": step, "seq": seq, "at": "2026-12-10 12:00:00", **members}
        text = json.dumps(record, separators=(",", ":"))
        f.write("%08x %s\n" % (zlib.crc32(text.encode()), text))
JOURNAL

cd "$tmp/app"
TZ=America/Sao_Paulo ZENTAVO_CLISITEF_CONTROL_DIR="$tmp/control" \
  valgrind --tool=callgrind --demangle=no --callgrind-out-file="$tmp/cg.out" \
  ./SvcZentavoSiTef >"$tmp/service.out" 2>&1 &
pid=$!
# Listening (one connection opened and closed, as the benchmark does), then a
# moment for the threads to settle.
python3 - "$port" <<'EOF'
import socket, sys, time
for _ in range(600):
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1]))).close()
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit("idle-symbols: the service did not listen")
time.sleep(2)
EOF
callgrind_control -d "$pid" >/dev/null 2>&1
for _ in 1 2 3 4 5 6 7 8 9 10; do
  [ -s "$tmp/cg.out.1" ] && break
  sleep 1
done

python3 - "$tmp/cg.out.1" "$tmp/app/SvcZentavoSiTef" "$out" <<'EOF'
import re, subprocess, sys
profile, exe, out = sys.argv[1:]
objects, names, run = {}, {}, set()
current = ""
for line in open(profile, encoding="utf-8", errors="replace"):
    m = re.match(r"^(c?ob|c?fn)=\((\d+)\)(?: (.*))?$", line.rstrip("\n"))
    if not m:
        continue
    kind, key, name = m.groups()
    table = objects if kind.endswith("ob") else names
    if name:
        table[key] = name
    if kind == "ob":
        current = objects[key]
    elif kind == "fn" and current.endswith("/SvcZentavoSiTef"):
        run.add(names[key])
text = set()
for line in subprocess.run(["nm", "--defined-only", exe], capture_output=True, text=True,
                           check=True).stdout.splitlines():
    parts = line.split()
    if len(parts) == 3 and parts[1] in "tTwW":
        text.add(parts[2])
symbols = sorted(run & text)
with open(out, "w") as f:
    f.write("".join(s + "\n" for s in symbols))
print(f"idle-symbols: {len(symbols)} functions in {out}")
EOF
