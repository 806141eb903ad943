"""Debian's Prometheus, started on the loopback with a configuration and a store of its own,
scrapes the HTTP face's /metrics; prints what its query API answers for the positive rail's
current ("current A") and for its own scrape of the target ("up 1"), and what it learnt of each
metric ("NAME TYPE", "NAME.help TEXT").

Usage: /usr/bin/python3 prometheus_scrape.py PAGE_PORT
"""
import pathlib
import socket
import subprocess
import sys
import tempfile
import time

import requests

# Only against a hang: Prometheus starts and scrapes within a few seconds.
BOUND_S = 60
PAUSE_S = 0.2
CONFIGURATION = """\
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: pelmora
    static_configs:
      - targets: ["127.0.0.1:{port}"]
"""
CURRENT = 'pelmora_current_amperes{rail="positive"}'


def free_port():
    # Prometheus takes no port 0: one the system has just handed out and taken back.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def query(api, expression):
    answer = requests.get(f"{api}/query", params={"query": expression}, timeout=BOUND_S)
    answer.raise_for_status()
    result = answer.json()["data"]["result"]
    return float(result[0]["value"][1]) if result else None


def scraped_current(api):
    # The first scrapes may come before the first poll of the current after switching on.
    deadline = time.monotonic() + BOUND_S
    current = None
    while time.monotonic() < deadline:
        try:
            current = query(api, CURRENT)
        except requests.ConnectionError:
            current = None
        if current:
            return current
        time.sleep(PAUSE_S)
    return current


with tempfile.TemporaryDirectory() as home:
    configuration = pathlib.Path(home, "prometheus.yml")
    configuration.write_text(CONFIGURATION.format(port=sys.argv[1]))
    port = free_port()
    prometheus = subprocess.Popen(
        [
            "prometheus",
            f"--config.file={configuration}",
            f"--storage.tsdb.path={home}/data",
            f"--web.listen-address=127.0.0.1:{port}",
            "--log.level=error",
        ],
        stdout=subprocess.DEVNULL,
    )
    try:
        api = f"http://127.0.0.1:{port}/api/v1"
        print("current", scraped_current(api))
        print("up", query(api, 'up{job="pelmora"}'))
        metadata = requests.get(f"{api}/metadata", timeout=BOUND_S).json()["data"]
        for name, entries in sorted(metadata.items()):
            if name.startswith("pelmora_"):
                print(name, entries[0]["type"])
                print(f"{name}.help", entries[0]["help"])
    finally:
        prometheus.terminate()
        prometheus.wait(BOUND_S)
