"""Reads the HTTP face's /metrics as Prometheus does and hands it to promtool's own check;
prints "status N" (promtool's exit status) and "problems TEXT" (what it said, on one line).

Usage: /usr/bin/python3 promtool_lint.py PAGE_PORT
"""
import subprocess
import sys

import requests

TIMEOUT_S = 10

metrics = requests.get(f"http://127.0.0.1:{sys.argv[1]}/metrics", timeout=TIMEOUT_S)
metrics.raise_for_status()
check = subprocess.run(
    ["promtool", "check", "metrics"],
    input=metrics.content,
    capture_output=True,
    timeout=TIMEOUT_S,
)
print("status", check.returncode)
said = (check.stdout + check.stderr).decode().strip()
print("problems", " | ".join(said.splitlines()))
