"""The simulated supply served with its web page, as a user starts them:

    pelmora-sim --log LOG -- pelmora-cli serve --listen 127.0.0.1:0 --http 127.0.0.1:0

for the page's screenshot and its benchmark. Both listen on loopback only."""

import json
import os
import re
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

# Only a hang runs into it.
START_BOUND_S = 20
LOOK_S = 0.05
READY = re.compile(r"listening on 127\.0\.0\.1:(\d+),.*\npage at http://127\.0\.0\.1:(\d+)/")


class ServedSupply:
    """Use as a context manager; `programs` is the directory of the built pelmora-sim and
    pelmora-cli (build/dev/bin)."""

    def __init__(self, programs):
        self._files = tempfile.TemporaryDirectory(prefix="pelmora-served-")
        self.log = os.path.join(self._files.name, "supply.log")
        self._out = open(os.path.join(self._files.name, "serve.out"), "w+", encoding="utf-8")
        self._sim = subprocess.Popen(
            [os.path.join(programs, "pelmora-sim"), "--log", self.log, "--",
             os.path.join(programs, "pelmora-cli"), "serve", "--listen", "127.0.0.1:0",
             "--http", "127.0.0.1:0"],
            stdout=self._out, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + START_BOUND_S
        while not (ready := READY.search(self._output())):
            if self._sim.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise RuntimeError(f"the server did not start:\n{self._output()}")
            time.sleep(LOOK_S)
        self.scpi_port = int(ready[1])
        self.http_port = int(ready[2])
        self.url = f"http://127.0.0.1:{self.http_port}/"
        self.server_pid = self._child()

    def _output(self):
        self._out.seek(0)
        return self._out.read()

    def _child(self):
        with open(f"/proc/{self._sim.pid}/task/{self._sim.pid}/children", encoding="ascii") as f:
            return int(f.read().split()[0])

    def state(self):
        """The state as the page gets it."""
        with urllib.request.urlopen(f"{self.url}api/state") as answer:
            return json.load(answer)

    def scpi(self, line):
        """Sends a line to the SCPI port on a connection of its own; answers a query."""
        with socket.create_connection(("127.0.0.1", self.scpi_port), timeout=START_BOUND_S) as s:
            s.sendall(line.encode("ascii") + b"\n")
            if "?" not in line:
                # Closing at once is taken as lxi does it: the line is still carried out.
                return None
            return s.makefile("r", encoding="ascii").readline().rstrip("\n")

    def close(self):
        if self._sim.poll() is None:
            try:
                os.kill(self._child(), signal.SIGTERM)
            except (OSError, IndexError, ValueError):
                self._sim.terminate()
            self._sim.wait(START_BOUND_S)
        self._out.close()
        self._files.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
