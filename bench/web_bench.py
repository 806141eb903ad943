#!/usr/bin/python3
"""How the web page of `pelmora-cli serve --http` fares on the simulated supply, over the
loopback, beside serve_bench's SCPI figures when that is built: the page's load to its first
paint in headless Chromium, the time from a poll of the supply (its log's time of the REQA) to
the page showing the reading, the bytes of one state on the event stream, the server's CPU with
32 viewers of the stream against none, and the size of the page with its scripts and styles.
Prints figures and the goals beside them; asserts nothing.

    bench/web_bench.py [BUILD_DIRECTORY [SECONDS]]    (build/dev, 60 s for each CPU figure)"""

import datetime
import os
import socket
import statistics
import subprocess
import sys
import threading
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))

from headless_chromium import Browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402
from served_supply import ServedSupply  # noqa: E402

LOADS = 30
VIEWERS = 32
BOUND_S = 20
# The supply is polled this often while the output is on.
POLL_PERIOD_MS = 300
POLL_SECONDS = 30
EVENTS = 50
PAGE_FILES = ["", "app.css", "page_texts.js", "english_texts.js", "current_plot.js", "app.js"]
ICON = "pelmora.svg"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def row(label, figure, goal=""):
    print(f"{label:<48} {figure:<40} {goal}")


def spread(values, unit):
    ordered = sorted(values)
    p99 = ordered[int(0.99 * (len(ordered) - 1))]
    return f"median {statistics.median(ordered):7.1f} {unit}  p99 {p99:7.1f} {unit}  (n={len(ordered)})"


def first_paint(served):
    paints, contentful = [], []
    with Browser("ja") as driver:
        for _ in range(LOADS):
            driver.get(served.url)
            WebDriverWait(driver, BOUND_S).until(lambda d: d.execute_script(
                "return performance.getEntriesByName('first-contentful-paint').length"))
            times = driver.execute_script(
                "return Object.fromEntries(performance.getEntriesByType('paint')"
                ".map((p) => [p.name, p.startTime]))")
            paints.append(times["first-paint"])
            contentful.append(times["first-contentful-paint"])
    row("page load to first paint", spread(paints, "ms"), "goal <= 200 ms")
    row("page load to first contentful paint", spread(contentful, "ms"), "goal <= 200 ms")


def log_times(log, command):
    times = []
    with open(log, encoding="ascii") as lines:
        for line in lines:
            stamp, _, received = line.rstrip("\n").partition(" ")
            if received == command + "\\r":
                when = datetime.datetime.strptime(stamp, "%Y-%m-%dT%H:%M:%S.%fZ")
                times.append(when.replace(tzinfo=datetime.timezone.utc).timestamp() * 1000)
    return times


def poll_to_page(served):
    """Each change of a reading on the page, at the frame that shows it, against the last poll
    before it. A poll that leaves both means as they were changes nothing on the page."""
    with Browser("ja") as driver:
        driver.get(served.url)
        WebDriverWait(driver, BOUND_S).until(
            lambda d: d.find_element(By.ID, "connection").text != "")
        driver.execute_script(
            """window.shownAt = [];
            const observer = new MutationObserver(() =>
              requestAnimationFrame(() => window.shownAt.push(Date.now())));
            for (const id of ["pos-current", "neg-current"]) {
              observer.observe(document.getElementById(id), { childList: true });
            }""")
        served.scpi("OUTP ON")
        time.sleep(POLL_SECONDS)
        shown = driver.execute_script("return window.shownAt")
        served.scpi("OUTP OFF")
    polls = log_times(served.log, "REQA")
    delays = []
    for at in shown:
        before = [poll for poll in polls if poll <= at]
        if before:
            delays.append(at - before[-1])
    row("supply poll to the page showing it", spread(delays, "ms"), "goal <= 50 ms beyond the poll")


def event_bytes(served):
    """Bytes on the wire per state, HTTP's chunk framing included, while the output is on."""
    served.scpi("OUTP ON")
    with socket.create_connection(("127.0.0.1", served.http_port), timeout=BOUND_S) as viewer:
        viewer.sendall(f"GET /events HTTP/1.1\r\nHost: 127.0.0.1:{served.http_port}\r\n\r\n"
                       .encode("ascii"))
        received = b""
        while received.count(b"event: state") <= EVENTS:
            received += viewer.recv(65536)
    served.scpi("OUTP OFF")
    body = received[received.index(b"\r\n\r\n") + 4:]
    states = body.split(b"event: state")[1:EVENTS + 1]
    sizes = [len(b"event: state") + len(state) for state in states]
    row("bytes per state update on /events", f"mean {statistics.mean(sizes):7.0f} B  "
        f"({statistics.mean(sizes) * 1000 / POLL_PERIOD_MS:.0f} B/s at one a poll)")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def scpi_round_trips(served, count=2000):
    """Medians of *IDN? round trips on one kept SCPI connection, in milliseconds."""
    with socket.create_connection(("127.0.0.1", served.scpi_port), timeout=BOUND_S) as client:
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        replies = client.makefile("rb")
        trips = []
        for _ in range(count):
            start = time.perf_counter()
            client.sendall(b"*IDN?\n")
            replies.readline()
            trips.append((time.perf_counter() - start) * 1000)
    return statistics.median(trips)


def cpu_share(served, seconds):
    start = cpu_seconds(served.server_pid)
    time.sleep(seconds)
    return 100 * (cpu_seconds(served.server_pid) - start) / seconds


def watch(port, stop, counts, index):
    with socket.create_connection(("127.0.0.1", port), timeout=BOUND_S) as viewer:
        viewer.sendall(f"GET /events HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode("ascii"))
        while not stop.is_set():
            counts[index] += viewer.recv(65536).count(b"event: state")


def viewers_cpu(served, seconds):
    served.scpi("OUTP ON")
    alone = cpu_share(served, seconds)
    scpi_alone = scpi_round_trips(served)
    stop = threading.Event()
    counts = [0] * VIEWERS
    threads = [threading.Thread(target=watch, args=(served.http_port, stop, counts, i))
               for i in range(VIEWERS)]
    for thread in threads:
        thread.start()
    watched = cpu_share(served, seconds)
    scpi_watched = scpi_round_trips(served)
    stop.set()
    served.scpi("OUTP OFF")
    for thread in threads:
        thread.join()
    row("server CPU, output on, no viewer", f"{alone:7.2f} % of one core ({seconds:.0f} s)")
    row(f"server CPU, output on, {VIEWERS} viewers of /events",
        f"{watched:7.2f} % of one core ({seconds:.0f} s)")
    row(f"  more with {VIEWERS} viewers", f"{watched - alone:7.2f} % of one core "
        f"({min(counts)}-{max(counts)} states each)", "goal <= 1 %")
    row("*IDN? round trip, no viewer / 32 viewers",
        f"median {scpi_alone:.3f} ms / {scpi_watched:.3f} ms", "goal: unchanged")


def page_size(served):
    def size(name):
        with urllib.request.urlopen(served.url + name) as answer:
            return len(answer.read())
    page = sum(size(name) for name in PAGE_FILES)
    row("page with its scripts and styles", f"{page / 1024:7.1f} KiB "
        f"(+ {size(ICON) / 1024:.1f} KiB icon)", "goal <= 200 KiB")


def scpi_figures(build):
    serve_bench = os.path.join(build, "bench", "serve_bench")
    if not os.access(serve_bench, os.X_OK):
        print(f"SCPI figures: {serve_bench} is not built "
              "(cmake --build --preset dev --target serve_bench)\n")
        return
    sys.stdout.flush()
    subprocess.run([serve_bench], check=False)
    print()


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "dev")
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    scpi_figures(build)
    print("pelmora-cli serve --http on the simulated supply, viewers over the loopback")
    with ServedSupply(os.path.join(build, "bin")) as served:
        page_size(served)
        first_paint(served)
        poll_to_page(served)
        event_bytes(served)
        viewers_cpu(served, seconds)


if __name__ == "__main__":
    main()
