"""pelmora-cli serve announced through Avahi, as avahi-browse and lxi discover list it.

Usage: /usr/bin/python3 announced_on_the_network.py PELMORA_CLI PELMORA_SIM

Everything happens on a network of the test's own: a bench namespace for the servers and a desk
namespace for the browsers, joined by two veth pairs, each namespace with its own /run, D-Bus
system bus and avahi-daemon that uses only its veth ends. No mDNS reaches the machine's own
interfaces, and the machine's daemons never hear of the test. Every process lives in a PID
namespace the test makes, which the kernel empties when the test ends, however it ends.
Needs root, for the namespaces and the daemons.
"""
import os
import re
import shutil
import subprocess
import sys
import time

INSIDE = "--inside"
TOOLS = ["unshare", "nsenter", "ip", "mount", "dbus-daemon", "avahi-daemon", "avahi-browse", "lxi"]
# Only against a hang: nothing here is judged by how long it takes.
BOUND_S = 30
POLL_S = 0.05
# The test's files, in the bench's private /run, which the desk sees too.
WORK = "/run/pelmora-test"

MODEL = "DRELVOV99"
BENCH_HOST = "pelmora-bench"
DESK_HOST = "pelmora-desk"
NAME = f"Pelmora {MODEL} on {BENCH_HOST}"
# The servers listen on the main link; the aside link joins the same two namespaces, and must
# hear nothing of them.
BENCH_MAIN, DESK_MAIN, MAIN_ADDRESS = "bench-main", "desk-main", "192.0.2.1"
BENCH_ASIDE, DESK_ASIDE = "bench-aside", "desk-aside"
LINKS = [
    (BENCH_MAIN, DESK_MAIN, "192.0.2.1/24", "192.0.2.2/24"),
    (BENCH_ASIDE, DESK_ASIDE, "198.51.100.1/24", "198.51.100.2/24"),
]
ALLOWED = "192.0.2.0/24"
ANNOUNCED = r'^pelmora-cli: announced as "([^"]+)": '

INSTRUMENT_TXT = {"txtvers=1", "Manufacturer=Pelmora", f"Model={MODEL}"}
# Each type: the server's port it names, and the TXT records it carries at least.
SERVICES = {
    "_scpi-raw._tcp": (lambda server: server.scpi, INSTRUMENT_TXT),
    "_http._tcp": (lambda server: server.page, INSTRUMENT_TXT | {"path=/"}),
    "_lxi._tcp": (lambda server: server.page, INSTRUMENT_TXT),
}
# How lxi discover names the services it lists.
LXI_KINDS = {"lxi": "_lxi._tcp", "scpi-raw": "_scpi-raw._tcp"}

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

AVAHI_CONFIG = """[server]
host-name={host}
use-ipv4=yes
use-ipv6=no
allow-interfaces={interfaces}
enable-dbus=yes

[wide-area]
enable-wide-area=no

[publish]
publish-hinfo=no
publish-workstation=no
"""


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(command, **kwargs):
    return subprocess.run(command, check=True, stdin=subprocess.DEVNULL, **kwargs)


def unescaped(label):
    """A name as avahi-browse -p prints it: \\032 for a space, \\. for a dot."""
    return re.sub(r"\\(\d{3}|.)",
                  lambda found: chr(int(found.group(1))) if found.group(1).isdigit()
                  else found.group(1), label)


class Process:
    """A program the test started, its output in files of the test's own."""

    def __init__(self, name, command, environment=None):
        self.name = name
        self.out = f"{WORK}/{name}.out"
        self.err = f"{WORK}/{name}.err"
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            self.popen = subprocess.Popen(
                command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                env={**os.environ, **(environment or {})})

    def output(self):
        with open(self.out, encoding="utf-8", errors="replace") as text:
            return text.read()

    def errors(self):
        with open(self.err, encoding="utf-8", errors="replace") as text:
            return text.read()

    def wait_for(self, read, pattern, count=1):
        """The `count`th match of `pattern` in what `read` gives, once it is there."""
        deadline = time.monotonic() + BOUND_S
        while True:
            matches = list(re.finditer(pattern, read(), re.MULTILINE))
            if len(matches) >= count:
                return matches[count - 1]
            if self.popen.poll() is not None or time.monotonic() > deadline:
                raise Failure(f"{self.name} never said /{pattern}/ ({count}x); it said:\n"
                              f"{self.output()}{self.errors()}")
            time.sleep(POLL_S)

    def stop(self):
        if self.popen.poll() is None:
            self.popen.terminate()
            try:
                self.popen.wait(BOUND_S)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()


class Network:
    """The two namespaces and what runs in them; the bench is this process's own."""

    def __init__(self, cli, sim):
        self.cli = cli
        self.sim = sim
        self.processes = []
        # A process that only sleeps holds the desk's namespaces.
        self.desk = None

    def start(self, name, command, environment=None):
        process = Process(name, command, environment)
        self.processes.append(process)
        return process

    def at_desk(self, command):
        return ["nsenter", f"--target={self.desk.pid}", "--net", "--mount", "--"] + command

    def build(self):
        # Private to the bench's mount namespace; the desk's starts as a copy of it, and has
        # sockets of its own for its bus and its daemon.
        run(["mount", "-t", "tmpfs", "pelmora-run", "/run"])
        for directory in ["/run/dbus", "/run/avahi-daemon", f"{WORK}/no-services"]:
            os.makedirs(directory)
        # The machine's own static services stay out of the test's daemons.
        if os.path.isdir("/etc/avahi/services"):
            run(["mount", "--bind", f"{WORK}/no-services", "/etc/avahi/services"])
        run(["ip", "link", "set", "lo", "up"])
        self.desk = subprocess.Popen(
            ["unshare", "--net", "--mount", "--", "sh", "-c",
             "mount -t tmpfs desk-bus /run/dbus && mount -t tmpfs desk-avahi /run/avahi-daemon "
             "&& ip link set lo up && echo ready && exec sleep infinity"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        check(self.desk.stdout.readline().strip() == "ready", "the desk namespace was not made")
        for bench_end, desk_end, bench_address, desk_address in LINKS:
            run(["ip", "link", "add", bench_end, "type", "veth", "peer", "name", desk_end])
            run(["ip", "link", "set", desk_end, "netns", str(self.desk.pid)])
            run(["ip", "address", "add", bench_address, "dev", bench_end])
            run(["ip", "link", "set", bench_end, "up"])
            run(self.at_desk(["ip", "address", "add", desk_address, "dev", desk_end]))
            run(self.at_desk(["ip", "link", "set", desk_end, "up"]))
        with open(f"{WORK}/bus.conf", "w", encoding="utf-8") as config:
            config.write(BUS_CONFIG)
        for host, interfaces in [(BENCH_HOST, [BENCH_MAIN, BENCH_ASIDE]),
                                 (DESK_HOST, [DESK_MAIN, DESK_ASIDE])]:
            with open(f"{WORK}/{host}.conf", "w", encoding="utf-8") as config:
                config.write(AVAHI_CONFIG.format(host=host, interfaces=",".join(interfaces)))
        self.bus("bench-bus", [])
        self.bus("desk-bus", self.at_desk([]))
        self.avahi(DESK_HOST, self.at_desk([]))

    def bus(self, name, prefix):
        bus = self.start(name, prefix + ["dbus-daemon", f"--config-file={WORK}/bus.conf",
                                         "--nofork", "--nopidfile", "--print-address"])
        bus.wait_for(bus.output, r"^unix:")

    def avahi(self, host, prefix):
        daemon = self.start(host, prefix + ["avahi-daemon", f"--file={WORK}/{host}.conf",
                                            "--no-drop-root", "--no-chroot", "--no-rlimits"])
        daemon.wait_for(daemon.errors, r"^Server startup complete")
        return daemon

    def serve(self, name, listen, extra=()):
        """pelmora-cli serve on a simulated supply, with its page on the same address."""
        supply = self.start(f"{name}-sim", [self.sim])
        ports = supply.wait_for(supply.output, r"^PELMORA_PORTS=(\S+)$").group(1)
        server = self.start(name, [self.cli, "serve", "--listen", listen, "--http", listen,
                                   *extra], {"PELMORA_PORTS": ports})
        server.scpi = int(server.wait_for(server.output, r"^listening on \S+:(\d+),").group(1))
        server.page = int(server.wait_for(server.output, r"^page at http://\S+:(\d+)/").group(1))
        return server

    def browse(self, service_types):
        """For each service type, (interface, name, address, port, TXT records) of each service
        avahi-browse resolves: all types at once, as from a terminal each."""
        browsers = {service_type: subprocess.Popen(
            self.at_desk(["avahi-browse", "--resolve", "--terminate", "--parsable",
                          "--no-db-lookup", service_type]),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
            for service_type in service_types}
        found = {}
        for service_type, browser in browsers.items():
            listed, _ = browser.communicate(timeout=BOUND_S)
            check(browser.returncode == 0, f"avahi-browse {service_type} failed")
            found[service_type] = set()
            for line in listed.splitlines():
                fields = line.split(";", 9)
                if fields[0] == "=":
                    txt = frozenset(re.findall(r'"((?:[^"\\]|\\.)*)"', fields[9]))
                    found[service_type].add(
                        (fields[1], unescaped(fields[3]), fields[7], int(fields[8]), txt))
        return found

    def discover(self):
        """(name, address, kind, port) of each service lxi discover --mdns lists, and its
        output. The desk's daemon has them all by now, avahi-browse having resolved them: the
        search only reads them from it."""
        listed = run(self.at_desk(["lxi", "discover", "--mdns", "--timeout", "2"]),
                     capture_output=True, text=True).stdout
        found = re.findall(r'Found "([^"]+)" on address (\S+)\n\s+(\S+) service on port (\d+)',
                           listed)
        return {(name, address, kind, int(port)) for name, address, kind, port in found}, listed

    def clean_up(self):
        for process in reversed(self.processes):
            process.stop()
        if self.desk:
            self.desk.kill()
            self.desk.wait()

    def logs(self):
        return "".join(f"--- {process.name}:\n{process.output()}{process.errors()}"
                       for process in self.processes)


def test(network):
    network.build()
    main = f"{MAIN_ADDRESS}:0"

    # No daemon yet: a line, and the server serves all the same.
    first = network.serve("first", main, ["--allow", ALLOWED])
    check("pelmora-cli: not announced: no Avahi daemon; announcing once one starts"
          in first.errors(), f"first: no word of the missing daemon:\n{first.errors()}")
    bench = network.avahi(BENCH_HOST, [])
    check(first.wait_for(first.errors, ANNOUNCED).group(1) == NAME,
          f"first: announced under another name:\n{first.errors()}")

    # The same model on the same host: the second takes the name DNS-SD gives in that case.
    second = network.serve("second", main, ["--allow", ALLOWED])
    check(second.wait_for(second.errors, ANNOUNCED).group(1) == NAME + " #2",
          f"second: not renamed after the first:\n{second.errors()}")
    quiet = network.serve("quiet", main, ["--allow", ALLOWED, "--no-announce"])
    local = network.serve("local", "127.0.0.1:0")

    # The daemon goes and comes back: each server announces itself anew, and those that were
    # not to be announced still are not.
    bench.stop()
    for server in (first, second):
        server.wait_for(server.errors, r"announcement withdrawn: the Avahi daemon went away")
    network.avahi(BENCH_HOST, [])
    for server in (first, second):
        server.wait_for(server.errors, ANNOUNCED, count=2)
    for server in (quiet, local):
        check("announce" not in server.errors(),
              f"{server.name}: speaks of an announcement:\n{server.errors()}")

    servers = {NAME: first, NAME + " #2": second}
    for service_type, found in network.browse(SERVICES).items():
        port, records = SERVICES[service_type]
        wanted = {(DESK_MAIN, name, MAIN_ADDRESS, port(server)) for name, server in servers.items()}
        listed = {service[:4] for service in found}
        check(listed == wanted,
              f"avahi-browse {service_type} listed {sorted(listed)}, not {sorted(wanted)}")
        for service in found:
            check(records <= service[4],
                  f"avahi-browse {service_type}: {service[1]} has TXT {sorted(service[4])}")

    wanted = {(name, MAIN_ADDRESS, kind, SERVICES[service_type][0](server))
              for name, server in servers.items() for kind, service_type in LXI_KINDS.items()}
    found, listed = network.discover()
    check(found == wanted,
          f"lxi discover --mdns found {sorted(found)}, not {sorted(wanted)}:\n{listed}")

    # A server that stops takes its services off the network: a browser that stays hears so.
    watch = network.start("watch", network.at_desk(["avahi-browse", "--parsable",
                                                    "--no-db-lookup", "_scpi-raw._tcp"]))
    watch.wait_for(watch.output, r"^\+;", count=len(servers))
    first.stop()
    check(first.popen.returncode == 0 and "stopped by SIGTERM" in first.errors(),
          f"first did not stop as asked ({first.popen.returncode}):\n{first.errors()}")
    gone = watch.wait_for(watch.output, r"^-;[^;]*;[^;]*;([^;]*);").group(1)
    check(unescaped(gone) == NAME, f"avahi-browse saw {unescaped(gone)} go, not {NAME}")


def inside(cli, sim):
    network = Network(cli, sim)
    try:
        test(network)
    except (Failure, subprocess.CalledProcessError, subprocess.TimeoutExpired) as failure:
        print(f"FAIL: {failure}\n{network.logs()}", file=sys.stderr)
        return 1
    finally:
        network.clean_up()
    print("announced on the test's own network, as avahi-browse and lxi discover list it")
    return 0


def main(cli, sim):
    if os.geteuid() != 0:
        print("FAIL: this test needs root: it makes network namespaces and runs dbus-daemon "
              "and avahi-daemon in them (run ctest as root, as CI does)", file=sys.stderr)
        return 1
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if missing:
        print(f"FAIL: {' '.join(missing)} not found; scripts/bootstrap installs them",
              file=sys.stderr)
        return 1
    # This script again, as the first process of a PID namespace: the kernel ends whatever is
    # left in it when that process ends, and ends that process when unshare ends.
    os.execvp("unshare", ["unshare", "--net", "--mount", "--pid", "--fork", "--kill-child",
                          "--mount-proc", sys.executable, __file__, INSIDE, cli, sim])


if __name__ == "__main__":
    if sys.argv[1] == INSIDE:
        sys.exit(inside(*sys.argv[2:4]))
    sys.exit(main(*sys.argv[1:3]))
