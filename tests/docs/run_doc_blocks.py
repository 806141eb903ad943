"""Runs every block that README.md and docs/*.md mark with <!-- run --> as a reader would.

Usage: /usr/bin/python3 run_doc_blocks.py SOURCE_DIR PROGRAMS_DIR

A marker stands on the line directly before a ```sh or ```python fence. The blocks of one file
run in order, as a reader goes through them, in a directory of that file's own that has a copy
of docs/, with the built programs first on PATH and HOME there too: sh blocks under bash -euo
pipefail, so that a command failing half-way fails the block, python blocks under
/usr/bin/python3. A block marked <!-- run in the background until "TEXT" --> is a server the
reader starts in a terminal of its own: it runs on, once it has printed TEXT, while the file's
later blocks run, and is ended by SIGINT, as Ctrl+C in that terminal would, after the file's
last block; it must then end with status 0.

The blocks' servers listen on fixed ports (5025, 8080) of the loopback, so everything runs in a
network namespace of the test's own, and in a PID namespace that the kernel empties when the
test ends, however it ends. Without the rights to make them, it exits with SKIPPED, which ctest
counts as skipped.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

INSIDE = "--inside"
SKIPPED = 77
MARKER = "<!-- run -->"
MARKERS = re.compile(r'<!-- run(?: in the background until "([^"]+)")? -->')
RUNNERS = {"sh": ["bash", "-euo", "pipefail"], "python": ["/usr/bin/python3"]}
# Only against a hang: the slowest block, a voltage program run twice, takes about 20 s.
BOUND_S = 60
NAMESPACES = ["--net", "--pid", "--fork", "--kill-child", "--mount-proc"]
LOOKS_MARKED = re.compile(r"^\s*<!--\s*run\b", re.IGNORECASE)
FENCE = re.compile(r"^( *)(`{3,}|~{3,})(.*)$")


class Block:
    def __init__(self, path, line, language, text, until):
        self.path, self.line, self.language, self.text = path, line, language, text
        # What a block left running prints once it is ready; None for a block run to its end.
        self.until = until


def marked_blocks(source, path, problems):
    name = os.path.relpath(path, source)
    with open(path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    blocks = []
    marked_at = None
    until = None
    number = 0
    while number < len(lines):
        line = lines[number]
        number += 1
        opening = FENCE.match(line)
        language = opening.group(3).strip() if opening else None
        if marked_at is not None and language not in RUNNERS:
            problems.append(f"{name}:{marked_at}: {MARKER} is not directly followed by a "
                            f"```sh or ```python fence but by {line!r}")
        if not opening:
            marker = MARKERS.fullmatch(line.strip())
            marked_at = number if marker else None
            until = marker.group(1) if marker else None
            # A marker mistyped, or of a kind not known here, must not leave its block unrun.
            if marked_at is None and LOOKS_MARKED.match(line):
                problems.append(f"{name}:{number}: {line.strip()!r} is not {MARKER}")
            continue
        # Everything up to the closing fence is the block's text, a marker in it too.
        indent, fence = opening.group(1), opening.group(2)
        closing = re.compile(rf" *{re.escape(fence[0])}{{{len(fence)},}} *")
        start = number
        body = []
        while number < len(lines) and not closing.fullmatch(lines[number]):
            text = lines[number]
            body.append(text[len(indent):] if text.startswith(indent) else text.lstrip(" "))
            number += 1
        if number == len(lines):
            problems.append(f"{name}:{start}: the block opened here is never closed")
        number += 1
        if marked_at is not None and language in RUNNERS:
            blocks.append(Block(name, start, language, "\n".join(body) + "\n", until))
        marked_at = None
    if marked_at is not None:
        problems.append(f"{name}:{marked_at}: {MARKER} ends the file, with no block after it")
    return blocks


def running(pid):
    try:
        with open(f"/proc/{pid}/stat", encoding="utf-8") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def end_everything_else(spared=()):
    # Whatever a block left behind, even in a session of its own, is in this PID namespace, of
    # which this is the first process: the next block's servers need the ports back. Only the
    # sessions of the file's background blocks go on.
    killed = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and int(entry) != os.getpid():
            try:
                if os.getsid(int(entry)) not in spared:
                    os.kill(int(entry), signal.SIGKILL)
                    killed.append(int(entry))
            except ProcessLookupError:
                pass
    # Orphans are this process's to reap; a background block is reaped when it is stopped.
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        for pid in killed:
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
        if not any(running(pid) for pid in killed):
            return
        time.sleep(0.01)


class Started:
    """A block's process, its output in files: a server left running must not keep a block from
    ending through a pipe it holds."""

    def __init__(self, block, work, programs, scratch):
        self.block = block
        script = os.path.join(scratch, f"block-{block.line}-{os.path.basename(work)}"
                                       f".{block.language}")
        with open(script, "w", encoding="utf-8") as file:
            file.write(block.text)
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith("XDG_")}
        environment.update(HOME=work, PATH=programs + os.pathsep + os.environ.get("PATH", ""))
        self.out = open(script + ".out", "w+b")
        self.err = open(script + ".err", "w+b")
        self.process = subprocess.Popen(RUNNERS[block.language] + [script], cwd=work,
                                        env=environment, stdin=subprocess.DEVNULL,
                                        stdout=self.out, stderr=self.err,
                                        start_new_session=True)

    def printed(self):
        self.out.seek(0)
        return self.out.read().decode(errors="replace")

    def wait_until_printed(self, text):
        deadline = time.monotonic() + BOUND_S
        while time.monotonic() < deadline:
            if text in self.printed():
                return None
            if self.process.poll() is not None:
                return f"ended ({self.status()}) before it printed {text!r}"
            time.sleep(0.05)
        return f"did not print {text!r} within {BOUND_S} s"

    def status(self):
        code = self.process.returncode
        return f"killed by signal {-code}" if code < 0 else f"exit status {code}"

    def finish(self, outcome, spared=()):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()
        end_everything_else(spared)
        if outcome is None and self.process.returncode != 0:
            outcome = self.status()
        self.err.seek(0)
        told = outcome, self.printed(), self.err.read().decode(errors="replace")
        self.out.close()
        self.err.close()
        return told


def run(block, work, programs, scratch, spared):
    started = Started(block, work, programs, scratch)
    try:
        started.process.wait(timeout=BOUND_S)
        outcome = None
    except subprocess.TimeoutExpired:
        outcome = f"still running after {BOUND_S} s"
    return started.finish(outcome, spared)


def stop(started):
    # Ctrl+C in its terminal: the whole foreground group hears SIGINT, and a server switches the
    # supply off and ends with status 0, as must the block.
    try:
        os.killpg(started.process.pid, signal.SIGINT)
        started.process.wait(timeout=10)
        outcome = None
    except ProcessLookupError:
        outcome = None
    except subprocess.TimeoutExpired:
        outcome = "still running 10 s after Ctrl+C"
    return started.finish(outcome)


def told(block, outcome, out, err, began):
    where = f"{block.path}:{block.line} ({block.language})"
    if outcome is None:
        print(f"ok   {where} in {time.monotonic() - began:.1f} s", flush=True)
        return 0
    print(f"FAIL {where}: {outcome}\n--- block\n{block.text}--- stdout\n{out}"
          f"--- stderr\n{err}---", flush=True)
    return 1


def run_file(blocks, source, programs, scratch):
    work = tempfile.mkdtemp(prefix="blocks-", dir=scratch)
    shutil.copytree(os.path.join(source, "docs"), os.path.join(work, "docs"))
    failed = 0
    background = []
    for block in blocks:
        began = time.monotonic()
        spared = {started.process.pid for started in background}
        if block.until is None:
            failed += told(block, *run(block, work, programs, scratch, spared), began)
            continue
        started = Started(block, work, programs, scratch)
        problem = started.wait_until_printed(block.until)
        if problem is None:
            print(f"ok   {block.path}:{block.line} ({block.language}) started in "
                  f"{time.monotonic() - began:.1f} s", flush=True)
            background.append(started)
        else:
            failed += told(block, *started.finish(problem, spared), began)
    for started in background:
        outcome, out, err = stop(started)
        if outcome is not None:
            failed += told(started.block, f"in the background: {outcome}", out, err, 0)
    return failed


def inside(source, programs):
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    problems = []
    paths = [os.path.join(source, "README.md")]
    paths += sorted(os.path.join(source, "docs", name)
                    for name in os.listdir(os.path.join(source, "docs")) if name.endswith(".md"))
    blocks = [block for path in paths if os.path.isfile(path)
              for block in marked_blocks(source, path, problems)]
    for problem in problems:
        print(f"FAIL {problem}", flush=True)
    if not blocks:
        print(f"FAIL no block marked {MARKER} in README.md or docs/*.md: nothing was run")
        return 1
    failed = 0
    with tempfile.TemporaryDirectory(prefix="pelmora-doc-blocks-") as scratch:
        for path in dict.fromkeys(block.path for block in blocks):
            failed += run_file([block for block in blocks if block.path == path], source,
                               programs, scratch)
    print(f"{len(blocks) - failed} of {len(blocks)} marked blocks ran as written")
    return 1 if failed or problems else 0


def main(source, programs):
    source, programs = os.path.abspath(source), os.path.abspath(programs)
    # Without root, a user namespace may still give the rights inside it.
    namespaces = NAMESPACES if os.geteuid() == 0 else ["--user", "--map-root-user"] + NAMESPACES
    probe = subprocess.run(["unshare"] + namespaces + ["true"], capture_output=True, text=True)
    if probe.returncode != 0:
        print(f"SKIPPED: cannot make the namespaces the blocks run in (unshare: "
              f"{probe.stderr.strip()}); run as root, as CI does", file=sys.stderr)
        return SKIPPED
    os.execvp("unshare", ["unshare"] + namespaces +
              ["/usr/bin/python3", os.path.abspath(__file__), INSIDE, source, programs])


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == INSIDE:
        sys.exit(inside(*sys.argv[2:]))
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
