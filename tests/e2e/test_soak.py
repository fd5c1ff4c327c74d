"""The soak benchmark, short: memory and descriptors stay flat over 50 payments."""

import os
import subprocess
import sys

from conftest import APP_DIR, ROOT


def test_soak_50_payments():
    proc = subprocess.run([sys.executable, os.path.join(ROOT, "benchmarks", "soak.py"),
                           "--payments", "50", "--app-dir", APP_DIR],
                          capture_output=True, text=True, timeout=600)
    print(proc.stdout)
    assert proc.returncode == 0, proc.stdout + proc.stderr
