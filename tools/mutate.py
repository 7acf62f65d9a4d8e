#!/usr/bin/env python3
"""Mutation run: breaks the code on purpose, one listed fault at a time, and reports which
faults the tests catch.

For each mutation in the list (tools/mutations.txt by default) the script replaces an exact
snippet of one source file, rebuilds the test programs, runs CTest with a bound on the whole
run (a hang counts as caught), and puts the file back. The tree is restored even when the run
is interrupted (Ctrl-C, SIGTERM, SIGHUP).

    python3 tools/mutate.py                  # every mutation; needs a configured build/
    python3 tools/mutate.py parity timeout   # only those whose name contains a word given
    python3 tools/mutate.py --tests 'tst_window|tst_responsebox' Open-at   # only those tests

Exit status: 0 every mutation caught, 1 some survived, 2 the run could not be made.
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
STOP_SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


@dataclass
class Mutation:
    name: str
    path: Path
    original: str
    replacement: str


class ListError(Exception):
    pass


def read_list(list_path):
    """Blocks of: "== name", the file, "<<<", original lines, "===", replacement lines, ">>>"."""
    mutations = []
    lines = list_path.read_text().splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip() or line.startswith("#"):
            i += 1
            continue
        if not line.startswith("== "):
            raise ListError(f"{list_path}:{i + 1}: expected '== name', found {line!r}")
        name, path = line[3:].strip(), ROOT / lines[i + 1].strip()
        if lines[i + 2] != "<<<":
            raise ListError(f"{list_path}:{i + 3}: expected '<<<'")
        i += 3
        parts = {"===": [], ">>>": []}
        for marker in ("===", ">>>"):
            while i < len(lines) and lines[i] != marker:
                parts[marker].append(lines[i])
                i += 1
            if i == len(lines):
                raise ListError(f"{list_path}: mutation '{name}' has no '{marker}'")
            i += 1
        mutations.append(Mutation(name, path, "\n".join(parts["==="]), "\n".join(parts[">>>"])))
    return mutations


def check_applies(mutation):
    if not mutation.path.is_file():
        raise ListError(f"'{mutation.name}': no file {mutation.path}")
    count = mutation.path.read_text().count(mutation.original)
    if count != 1:
        raise ListError(f"'{mutation.name}': the snippet occurs {count} times in "
                        f"{mutation.path.relative_to(ROOT)}, not once")


def ctest_command(build, tests):
    return ["ctest", "--test-dir", str(build)] + (["-R", tests] if tests else [])


def test_targets(build, tests):
    """The programs CTest runs: every command argument that is a file in the build folder."""
    shown = subprocess.run(ctest_command(build, tests) + ["--show-only=json-v1"],
                           check=True, capture_output=True, text=True).stdout
    targets = set()
    for test in json.loads(shown)["tests"]:
        for argument in test.get("command", []):
            if Path(argument).parent == build.resolve():
                targets.add(Path(argument).name)
    return sorted(targets)


def build_tests(build, targets):
    # Tests that run no program of their own (data files, package, examples) need the whole build.
    chosen = ["--target", *targets] if targets else []
    done = subprocess.run(["cmake", "--build", str(build), "-j2", *chosen],
                          capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


def run_tests(build, tests, bound):
    """Returns (passed, what failed: test names with their status, and a hang if any)."""
    ctest = subprocess.Popen(ctest_command(build, tests) + ["-j2"], stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, start_new_session=True)
    hung = False
    try:
        output, _ = ctest.communicate(timeout=bound)
    except subprocess.TimeoutExpired:
        os.killpg(ctest.pid, signal.SIGKILL)
        output, _ = ctest.communicate()
        hung = True
    # Progress lines read "1/8 Test #1: tst_framing .........***Failed    0.02 sec".
    failed = []
    for line in output.splitlines():
        found = re.search(r"Test +#\d+: (\S+) \.+\s*(.*?)\s+[\d.]+ sec$", line)
        if found and found.group(2).strip() != "Passed":
            status = " ".join(found.group(2).replace("*", " ").split()).rstrip(":")
            failed.append(f"{found.group(1)} ({status})")
    if hung:
        failed.append(f"a hang (no end within {bound} s)")
    return ctest.returncode == 0 and not hung, ", ".join(failed) or "ctest"


def stop_on_signal(number, _frame):
    raise KeyboardInterrupt(f"signal {number}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("words", nargs="*", help="run only mutations whose name holds one")
    parser.add_argument("--list", type=Path, default=ROOT / "tools/mutations.txt")
    parser.add_argument("--build", type=Path, default=ROOT / "build")
    parser.add_argument("--bound", type=int, default=90,
                        help="seconds the whole test run may take before it counts as a hang")
    parser.add_argument("--tests", metavar="REGEX",
                        help="run only the CTest tests matching REGEX (quicker, for one area)")
    args = parser.parse_args()

    try:
        mutations = [m for m in read_list(args.list)
                     if not args.words or any(w in m.name for w in args.words)]
        for mutation in mutations:
            check_applies(mutation)
    except ListError as error:
        print(f"mutate: {error}", file=sys.stderr)
        return 2
    targets = test_targets(args.build, args.tests)

    built, log = build_tests(args.build, targets)
    passed, failed = run_tests(args.build, args.tests, args.bound) if built else (False, "")
    if not passed:
        print(log if not built else f"mutate: the tests fail unmutated: {failed}",
              file=sys.stderr)
        return 2

    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, stop_on_signal)
    survived, broken = [], []
    try:
        for mutation in mutations:
            saved = mutation.path.read_text()
            started = time.monotonic()
            try:
                mutation.path.write_text(saved.replace(mutation.original, mutation.replacement))
                built, log = build_tests(args.build, targets)
                if built:
                    passed, failed = run_tests(args.build, args.tests, args.bound)
            finally:
                # A second Ctrl-C must not cut the restore short.
                held = signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
                mutation.path.write_text(saved)
                signal.pthread_sigmask(signal.SIG_SETMASK, held)
            seconds = time.monotonic() - started
            if not built:
                broken.append(mutation.name)
                verdict = "BROKEN (does not build)"
            elif passed:
                survived.append(mutation.name)
                verdict = "SURVIVED"
            else:
                verdict = f"caught by {failed}"
            print(f"{mutation.name}: {verdict} [{seconds:.0f} s]", flush=True)
    except KeyboardInterrupt:
        print("mutate: interrupted; the tree is restored", file=sys.stderr)
        return 2
    finally:
        # The last build holds a mutation; leave the test programs matching the tree.
        build_tests(args.build, targets)

    total = len(mutations)
    print(f"\n{total - len(survived) - len(broken)} of {total} caught; "
          f"{len(survived)} survived{': ' + '; '.join(survived) if survived else ''}"
          f"{f'; {len(broken)} did not build' if broken else ''}")
    return 1 if survived or broken else 0


if __name__ == "__main__":
    sys.exit(main())
