"""run_doc_blocks.py on a few blocks of its own: one that fails half-way must be named, and a
server left in the background must serve the blocks after it.

Usage: /usr/bin/python3 runner_tells_a_failing_block.py RUN_DOC_BLOCKS
"""
import os
import subprocess
import sys
import tempfile

SKIPPED = 77

README = """# Blocks

<!-- run -->
```sh
sleep 600 &
built-program
```

<!-- run -->
```sh
false | cat
echo "went on past a failure"
```

<!-- run -->

```sh
echo "a marker a line away from its block"
```

<!--run-->
```sh
echo "a marker mistyped"
```
"""

DOCS = """<!-- run -->
```python
import os
assert os.path.isfile("docs/blocks.md") and os.environ["HOME"] == os.getcwd()
```

<!-- run in the background until "ready" -->
```sh
echo $$ > server.pid
echo ready
exec sleep 600
```

<!-- run -->
```sh
kill -0 "$(cat server.pid)"
```
"""

EXPECTED = [
    "ok   README.md:4 (sh)",
    "FAIL README.md:10 (sh): exit status 1",
    "FAIL README.md:15: <!-- run --> is not directly followed",
    "FAIL README.md:21: '<!--run-->' is not <!-- run -->",
    "ok   docs/blocks.md:2 (python)",
    # A server started in the background is still there for the next block, and one that does
    # not end cleanly on Ctrl+C is told.
    "ok   docs/blocks.md:8 (sh) started",
    "ok   docs/blocks.md:15 (sh)",
    "FAIL docs/blocks.md:8 (sh): in the background: killed by signal 2",
    "3 of 5 marked blocks ran as written",
]


def main(runner):
    with tempfile.TemporaryDirectory() as source:
        os.makedirs(os.path.join(source, "docs"))
        os.makedirs(os.path.join(source, "bin"))
        for name, text in [("README.md", README), ("docs/blocks.md", DOCS),
                           ("bin/built-program", "#!/bin/sh\n")]:
            with open(os.path.join(source, name), "w", encoding="utf-8") as file:
                file.write(text)
        os.chmod(os.path.join(source, "bin/built-program"), 0o755)
        run = subprocess.run(["/usr/bin/python3", runner, source, os.path.join(source, "bin")],
                             capture_output=True, text=True, timeout=50)
    print(run.stdout + run.stderr)
    if run.returncode == SKIPPED:
        return SKIPPED
    missing = [line for line in EXPECTED if line not in run.stdout]
    if run.returncode in (0, SKIPPED) or missing:
        print(f"FAIL: exit status {run.returncode}; not told: {missing}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:2]))
