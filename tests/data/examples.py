#!/usr/bin/env python3
"""Runs the examples of the README and of the manual pages' EXAMPLES sections as written, each
against the controller simulator, and compares their output where it is shown. How to write an
example so that it is run ("$ " commands, "> " continuations, output below, "..." for any text,
crontab lines, NOT_RUN): CONTRIBUTING.md, "Examples in the README and the manual pages".

    python3 examples.py SOURCE BUILD
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# Examples not run, each by the start of its command (or first line) and why; with a file that
# must hold the command as written when another check runs it.
NOT_RUN = [
    ("sh scripts/install-deps.sh && cmake -S . -B build && cmake --build build -j2 --target",
     "opens the window on a desktop", None),
    ("sh scripts/install-deps.sh && cmake -S . -B build && cmake --build build -j2 && ctest",
     "builds and runs every test; CI runs it as written", ".ci/run"),
    ("sh scripts/install-deps.sh && cmake -S . -B build-package -DBUILD_TESTING=OFF",
     "builds the package: package_source builds the release so, package_deb runs cpack", None),
    ("sudo ", "needs root and changes the machine", None),
    ("ls -l /dev/serial/by-id/", "needs a USB serial adapter plugged in", None),
    ("VANTREL_COM1=/tmp/com1 vantrel\n", "opens the window on a desktop", None),
]
DEVICE = re.compile(r"/(?:dev/tty|dev/serial/|tmp/com)[^\s'\",;|&<>()\\]*")
CRON = re.compile(r"^(?:[-0-9*/,]+\s+){5}(.+)$")
ROFF = {"-": "-", "e": "\\", "&": "", "(aq": "'", "(dq": '"', "(ti": "~", "(ha": "^"}


def markdown_blocks(text):
    blocks, block, fenced, blank = [], None, False, True
    for line in text.splitlines() + [""]:
        indented = line.startswith("    ") and (block is not None or blank)
        if line.startswith("```"):
            fenced = not fenced
        if fenced or indented or (block is not None and not line.strip()):
            block = block if block is not None else []
            if not line.startswith("```"):
                block.append(line if fenced else line[4:])
        elif block is not None:
            blocks.append(block)
            block = None
        blank = not line.strip()
    return blocks


def man_blocks(text):
    section = re.search(r"^\.SH EXAMPLES\n(.*?)(?=^\.SH |\Z)", text, re.M | re.S)
    blocks = re.findall(r"^\.EX\n(.*?)^\.EE", section.group(1) if section else "", re.M | re.S)

    def unescape(found):
        if found.group(1) not in ROFF:
            raise ValueError(f"unknown escape \\{found.group(1)} in an example")
        return ROFF[found.group(1)]
    return [[re.sub(r"\\(\(..|.)", unescape, line) for line in block.splitlines()
             if not line.startswith(".")] for block in blocks]


def examples(block):
    """Yields (command, expected output lines or None, cron?) for each example of a block."""
    block = [line.rstrip() for line in block]
    while block and not block[-1]:
        block.pop()
    if block[0].startswith("$ "):
        commands = []
        for line in block:
            if line.startswith("$ "):
                commands.append([line[2:] + "\n", [], False])
            elif line.startswith("> ") and not commands[-1][1]:
                commands[-1][0] += line[2:] + "\n"
            else:
                commands[-1][1].append(line)
        yield from commands
    elif all(CRON.match(line) for line in block):
        yield from ([CRON.match(line).group(1) + "\n", [], True] for line in block)
    else:
        yield ["\n".join(block) + "\n", None, False]


def matches(expected, actual):
    pattern = "".join("(?:.*\n)*?" if line == "..." else
                      re.escape(line).replace(r"\.\.\.", ".*") + "\n" for line in expected)
    return re.fullmatch(pattern, actual) is not None


class Document:
    """One document's examples run in order in a home folder of their own."""

    def __init__(self, name, blocks, build):
        self.name, self.build = name, build
        self.examples = [e for block in blocks for e in examples(block)]
        self.processes = []  # each leads a process group, stopped at the end
        self.paths = {path for command, output, _ in self.examples
                      if output is not None and not skipped(command)
                      for path in DEVICE.findall(command)}

    def run(self):
        failures, ran = [], 0
        with tempfile.TemporaryDirectory() as folder:
            self.folder = Path(folder)
            home = self.folder / "home"
            (home / ".config/vantrel").mkdir(parents=True)
            linked = {path for command, _, _ in self.examples
                      for path in re.findall(r"--link (\S+)", command)}
            self.paths.add("/tmp/com-ports")
            self.env = {"PATH": f"{self.build}:/usr/local/bin:/usr/bin:/bin", "HOME": str(home),
                        "LANG": "C.UTF-8", "XDG_CONFIG_DIRS": str(self.folder / "xdg")}
            try:
                for path in sorted(self.paths - linked):
                    self.simulate(self.local(path))
                (home / ".config/vantrel/ports.conf").write_text("[ports]\n" + "".join(
                    f"COM{n}={self.local('/tmp/com-ports')}\n" for n in range(2, 7)))
                for command, expected, cron in self.examples:
                    if expected is None or skipped(command):
                        continue
                    ran += 1
                    failure = self.check(command, expected, cron)
                    if failure:
                        failures.append(f"{self.name}: $ {command.rstrip()}\n{failure}")
            finally:
                for process in self.processes:
                    try:
                        os.killpg(process.pid, signal.SIGTERM)
                        process.wait(timeout=10)
                    except ProcessLookupError:
                        pass  # the group has ended
                    except subprocess.TimeoutExpired:
                        os.killpg(process.pid, signal.SIGKILL)
        return ran, failures

    def local(self, path):
        return str(self.folder / ("dev" + path.replace("/", "_")))

    def substitute(self, text):
        return DEVICE.sub(lambda found: self.local(found.group(0))
                          if found.group(0) in self.paths else found.group(0), text)

    def simulate(self, link):
        self.processes.append(subprocess.Popen(
            ["vantrel-plcsim", "--link", link], env=self.env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True))
        self.wait_for([link])

    def wait_for(self, paths):
        deadline = time.monotonic() + 10
        while not all(os.path.lexists(p) for p in paths) and time.monotonic() < deadline:
            time.sleep(0.02)

    def check(self, written, expected, cron):
        if cron and re.search(r"(?<!\\)%", written):
            return "cron reads an unescaped % as the end of the command"
        background = written.rstrip().endswith("&") and not written.rstrip().endswith("&&")
        command = self.substitute(written)
        shell = ["sh", "-c", command] if cron else ["bash", "-c", command]
        with open(self.folder / "background.log", "ab") as log:
            run = subprocess.Popen(shell, cwd=self.env["HOME"], env=self.env,
                                   stdin=subprocess.DEVNULL, stderr=subprocess.STDOUT,
                                   stdout=log if background else subprocess.PIPE, text=True,
                                   start_new_session=True)
        self.processes.append(run)
        try:
            output, _ = run.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(run.pid, signal.SIGKILL)
            return "did not end within 30 s"
        if background:
            self.wait_for([self.local(path) for path in DEVICE.findall(written)])
        elif expected and not matches([self.substitute(line) for line in expected], output):
            return "printed:\n" + output + "expected:\n" + "\n".join(expected)
        elif not expected and run.returncode != 0:
            return f"exit status {run.returncode}:\n{output}"
        return None


def skipped(command):
    return any(command.startswith(start) for start, _, _ in NOT_RUN)


def as_ordinary_user(root, build):
    """Root may write where a technician may not: run again as nobody, on copies of the
    documents and programs, as the source and build folders may be closed to nobody."""
    os.umask(0o022)
    with tempfile.TemporaryDirectory() as folder:
        copy = Path(folder)
        copy.chmod(0o755)
        documents = ["README.md", *(str(page.relative_to(root)) for page in
                                    (root / "data/man").glob("*.1"))]
        documents += [where for _, _, where in NOT_RUN if where]
        copies = [(copy / "src" / name, root / name) for name in documents]
        copies += [(copy / "bin" / name, build / name)
                   for name in ("vantrel", "vantrel-send", "vantrel-plcsim")]
        for place, file in copies + [(copy / "examples.py", Path(__file__))]:
            place.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(file, place)
            place.chmod(0o755)
        return subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                               "/usr/bin/python3", copy / "examples.py", copy / "src",
                               copy / "bin"], cwd=copy).returncode


def main():
    root, build = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    if os.geteuid() == 0:
        return as_ordinary_user(root, build)
    documents = [Document("README.md", markdown_blocks((root / "README.md").read_text()), build)]
    for page in sorted((root / "data/man").glob("*.1")):
        documents.append(Document(page.name, man_blocks(page.read_text()), build))
    problems, ran, used = [], 0, set()
    for document in documents:
        for command, expected, _ in document.examples:
            for start, reason, where in NOT_RUN:
                if command.startswith(start):
                    used.add(start)
                    if where and command.strip() not in (root / where).read_text():
                        problems.append(f"{document.name}: {where} no longer runs: {command}")
            if expected is None and not skipped(command):
                problems.append(f"{document.name}: neither a command, a crontab line nor listed "
                                f"in NOT_RUN:\n{command}")
        count, failures = document.run()
        ran, problems = ran + count, problems + failures
    problems += [f"NOT_RUN lists an example no document has: {start!r}"
                 for start, _, _ in NOT_RUN if start not in used]
    print("\n\n".join(problems))
    print(f"{ran} examples run, {len(problems)} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
