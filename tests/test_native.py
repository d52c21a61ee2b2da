"""The Linux build end to end through pipes, with stub power commands."""

import os
import re
import subprocess
import tempfile
import threading
import time
import unittest

from screens import (
    BANNER, MENU, PAUSE, PROGRAM, SYNTAX_ERROR, StubDir, marker, write_stub
)

UID = str(os.getuid())
POWEROFF = marker("systemctl", "poweroff")
REBOOT = marker("systemctl", "reboot")
ERROR = None  # the error text instead of a command


def logoff(session):
    if session:
        return marker("loginctl", "terminate-session", session)
    return marker("loginctl", "terminate-user", UID)


def kill_all(session):
    if session:
        return marker("loginctl", "kill-session", "--signal=SIGKILL", session)
    return marker("loginctl", "kill-user", "--signal=SIGKILL", UID)


# What is typed after the key that ends the pause, and what it must lead to.
# A callable gets the session id (None when there is none).
CHOICES = [
    (b"3\n", lambda s: REBOOT),
    (b"   2\n", logoff),
    (b"\n\n1\n", lambda s: POWEROFF),
    (b"\t\v\f\r 3", lambda s: REBOOT),
    (b"4abc\n", kill_all),
    (b"+1\n", lambda s: POWEROFF),
    (b"2.9\n", logoff),
    (b"00000000000000000003\n", lambda s: REBOOT),
    (b"3", lambda s: REBOOT),  # no line end before the input ends
    (b"-1\n", ERROR),
    (b"-0\n", ERROR),
    (b"0x3\n", ERROR),
    (b"0\n", ERROR),
    (b"5\n", ERROR),
    (b"12\n", ERROR),
    (b"abc\n", ERROR),
    (b"+\n", ERROR),
    (b"+-1\n", ERROR),
    (b"- 3\n", ERROR),
    (b"", ERROR),
    (b"\n\n  \n", ERROR),
    # Numbers past the signed 32-bit range must never wrap into a choice.
    (b"4294967297\n", ERROR),
    (b"4294967298\n", ERROR),
    (b"4294967300\n", ERROR),
    (b"-4294967295\n", ERROR),
    (b"18446744073709551617\n", ERROR),
    (b"2147483651\n", ERROR),
    (b"2147483647\n", ERROR),
    (b"-2147483648\n", ERROR),
    (b"-2147483649\n", ERROR),
    (b"9" * 4096 + b"\n", ERROR),
    (b"x" * (1 << 20) + b"\n", ERROR),  # the read stops at the first letter
]


def run(stdin_bytes, env, **kwargs):
    return subprocess.run(
        [os.path.abspath(PROGRAM)],
        input=stdin_bytes,
        env=env,
        capture_output=True,
        timeout=20,
        **kwargs,
    )


class Choices(unittest.TestCase):
    def setUp(self):
        self.stubs = StubDir()
        self.addCleanup(self.stubs.close)

    def check(self, typed, expect, session):
        env = self.stubs.env()
        if session is not None:
            env["XDG_SESSION_ID"] = session
        self.stubs.clear()
        # The first byte ends the pause; the rest is the choice.
        result = run(b"k" + typed, env)
        command = expect(session or None) if expect else None
        tail = command if command else SYNTAX_ERROR
        self.assertEqual(result.stdout, BANNER + PAUSE + MENU + tail)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(self.stubs.calls(), command or b"")

    def test_each_input(self):
        for session in ("c7", None, ""):
            for typed, expect in CHOICES:
                with self.subTest(typed=typed[:40], session=session):
                    self.check(typed, expect, session)

    def test_input_already_at_its_end(self):
        result = run(b"", self.stubs.env())
        self.assertEqual(result.stdout, BANNER + PAUSE + MENU + SYNTAX_ERROR)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.stubs.calls(), b"")

    def test_arguments_are_ignored(self):
        result = subprocess.run(
            [os.path.abspath(PROGRAM), "3", "--help"],
            input=b"k5\n",
            env=self.stubs.env(),
            capture_output=True,
            timeout=20,
        )
        self.assertEqual(result.stdout, BANNER + PAUSE + MENU + SYNTAX_ERROR)
        self.assertEqual(self.stubs.calls(), b"")


def memory_while_reading(typed, rest, env):
    """Feeds `typed`, waits until the program has read all of it and waits
    for more, notes its anonymous resident memory (KiB: the heap, the stack
    and the like, where anything it kept of its input would be), then feeds
    `rest` and ends the input. Returns the output, the exit status and that
    memory."""
    proc = subprocess.Popen(
        [os.path.abspath(PROGRAM)],
        stdin=subprocess.PIPE,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
        env=env,
        bufsize=0,
    )
    feeder = threading.Thread(target=proc.stdin.write, args=(typed,))
    feeder.start()
    output = b""
    while not output.endswith(MENU):
        chunk = proc.stdout.read(65536)
        if not chunk:
            break
        output += chunk
    feeder.join()

    def status(name):
        with open(f"/proc/{proc.pid}/{name}") as f:
            return f.read()

    deadline = time.monotonic() + 20
    while int(re.search(r"rchar: (\d+)", status("io"))[1]) < len(typed):
        if time.monotonic() > deadline:
            raise AssertionError("the program never read its whole input")
        time.sleep(0.01)
    memory = int(re.search(r"RssAnon:\s+(\d+) kB", status("status"))[1])
    proc.stdin.write(rest)
    proc.stdin.close()
    output += proc.stdout.read()
    proc.stdout.close()
    return output, proc.wait(timeout=20), memory


class LargeInputs(unittest.TestCase):
    """A megabyte before or in the number: read as the rules say, and
    without keeping what was skipped."""

    MiB = 1 << 20

    def test_megabyte_inputs(self):
        stubs = StubDir()
        self.addCleanup(stubs.close)
        cases = [
            # a pattern fed over and over, and measured once read; fed
            # after; the command
            (b" \t\n", b"2\n", logoff(None)),
            (b"0", b"3\n", REBOOT),
            (b"9", b"", None),
            (b" ", b"", None),  # one line with no end
        ]
        for pattern, rest, command in cases:
            with self.subTest(pattern=pattern):
                memory = []
                # 16 KiB already fills the stdio buffer a few times over: any
                # more memory for a megabyte would mean it keeps what it reads.
                for size in (16 << 10, self.MiB):
                    stubs.clear()
                    typed = pattern * (size // len(pattern))
                    output, status, kib = memory_while_reading(
                        b"k" + typed, rest, stubs.env()
                    )
                    self.assertEqual(
                        output, BANNER + PAUSE + MENU + (command or SYNTAX_ERROR)
                    )
                    self.assertEqual(status, 0)
                    self.assertEqual(stubs.calls(), command or b"")
                    memory.append(kib)
                # A few pages of slack; the megabyte itself is 256 pages.
                self.assertLessEqual(memory[1] - memory[0], 16, f"KiB: {memory}")


class MissingCommand(unittest.TestCase):
    def test_reported_like_a_shell_and_status_stays_zero(self):
        stubs = StubDir(names=())
        self.addCleanup(stubs.close)
        for typed, tool in [(b"k1\n", "systemctl"), (b"k2\n", "loginctl")]:
            with self.subTest(tool=tool):
                result = run(typed, stubs.env())
                self.assertEqual(result.stdout, BANNER + PAUSE + MENU)
                self.assertEqual(
                    result.stderr,
                    f"glimmerquay: {tool}: No such file or directory\n".encode(),
                )
                self.assertEqual(result.returncode, 0)


class WhatRuns(unittest.TestCase):
    """Only folders named by an absolute path are searched: a systemctl or
    loginctl in the current folder, or in a folder named relative to it,
    is never run."""

    INPUTS = [
        (b"k1\n", POWEROFF),
        (b"k2\n", logoff(None)),
        (b"k3\n", REBOOT),
        (b"k4\n", kill_all(None)),
        (b"k5\n", None),
    ]

    def setUp(self):
        self.stubs = StubDir()
        self.addCleanup(self.stubs.close)
        # The current folder, and a folder in it, each with planted copies.
        self.work = tempfile.TemporaryDirectory(prefix="glimmerquay-work-")
        self.addCleanup(self.work.cleanup)
        for folder in (self.work.name, os.path.join(self.work.name, "rel")):
            os.makedirs(folder, exist_ok=True)
            for name in ("systemctl", "loginctl"):
                write_stub(os.path.join(folder, name), label="planted " + name)

    def run_in_work(self, typed, path):
        self.stubs.clear()
        return run(typed, self.stubs.env(PATH=path), cwd=self.work.name)

    def test_planted_programs_are_passed_over(self):
        stubs = self.stubs.path
        for path in (f":{stubs}", f".:{stubs}", f"rel:{stubs}", f"./rel:{stubs}",
                     f"{stubs}:", f"::rel:.:{stubs}"):
            for typed, command in self.INPUTS:
                with self.subTest(PATH=path, typed=typed):
                    result = self.run_in_work(typed, path)
                    self.assertEqual(
                        result.stdout, BANNER + PAUSE + MENU + (command or SYNTAX_ERROR)
                    )
                    self.assertEqual(result.stderr, b"")
                    self.assertEqual(self.stubs.calls(), command or b"")

    def test_only_relative_entries_find_nothing(self):
        for path in ("", ":", ".", "rel", ".:rel:"):
            for typed, tool in [(b"k1\n", "systemctl"), (b"k2\n", "loginctl")]:
                with self.subTest(PATH=path, typed=typed):
                    result = self.run_in_work(typed, path)
                    self.assertEqual(result.stdout, BANNER + PAUSE + MENU)
                    self.assertEqual(
                        result.stderr,
                        f"glimmerquay: {tool}: No such file or directory\n".encode(),
                    )
                    self.assertEqual(result.returncode, 0)
                    self.assertEqual(self.stubs.calls(), b"")

    def test_a_file_that_cannot_be_run_is_passed_over(self):
        # As execvp(): the search goes on, and says so only if nothing runs.
        blocked = os.path.join(self.work.name, "blocked")
        os.makedirs(blocked)
        write_stub(os.path.join(blocked, "systemctl"), label="blocked systemctl")
        os.chmod(os.path.join(blocked, "systemctl"), 0o644)
        result = self.run_in_work(b"k3\n", f"{blocked}:{self.stubs.path}")
        self.assertEqual(self.stubs.calls(), REBOOT)
        result = self.run_in_work(b"k3\n", blocked)
        self.assertEqual(result.stderr, b"glimmerquay: systemctl: Permission denied\n")
        self.assertEqual(self.stubs.calls(), b"")


class BadStreams(unittest.TestCase):
    """Closed, full or broken streams: exit status 0, no crash, and a
    command runs only where the input asked for one."""

    def setUp(self):
        self.stubs = StubDir()
        self.addCleanup(self.stubs.close)

    def run_with(self, stdin, stdout, stderr=subprocess.DEVNULL):
        self.stubs.clear()
        # /bin/sh only sets up the redirections and then becomes the program.
        return subprocess.run(
            ["/bin/sh", "-c", f'exec "$0" {stdin} {stdout}',
             os.path.abspath(PROGRAM)],
            env=self.stubs.env(),
            stderr=stderr,
            timeout=20,
        ).returncode

    def test_closed_and_full_streams(self):
        cases = [
            # stdin, stdout, what it asks for
            ("<&-", ">/dev/null", b""),
            ("</dev/null", ">&-", b""),
            ("<&-", ">&-", b""),
            ("</dev/null", ">/dev/full", b""),
        ]
        for stdin, stdout, calls in cases:
            with self.subTest(stdin=stdin, stdout=stdout):
                self.assertEqual(self.run_with(stdin, stdout), 0)
                self.assertEqual(self.stubs.calls(), calls)

    def test_asked_for_command_still_runs_without_output(self):
        with open(os.path.join(self.stubs.path, "in"), "wb") as f:
            f.write(b"k3\n")
        stdin = "<" + f.name
        for stdout in (">&-", ">/dev/full"):
            with self.subTest(stdout=stdout):
                self.assertEqual(self.run_with(stdin, stdout), 0)
                self.assertEqual(self.stubs.calls(), REBOOT)

    def test_closed_stderr(self):
        stubs = StubDir(names=())
        self.addCleanup(stubs.close)
        result = subprocess.run(
            ["/bin/sh", "-c", 'exec "$0" 2>&-', os.path.abspath(PROGRAM)],
            input=b"k1\n",
            env=stubs.env(),
            capture_output=True,
            timeout=20,
        )
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, BANNER + PAUSE + MENU)

    def test_broken_pipe(self):
        for typed, calls in [(b"k5\n", b""), (b"k3\n", REBOOT)]:
            with self.subTest(typed=typed):
                self.stubs.clear()
                read_end, write_end = os.pipe()
                os.close(read_end)
                try:
                    result = subprocess.run(
                        [os.path.abspath(PROGRAM)],
                        input=typed,
                        stdout=write_end,
                        stderr=subprocess.DEVNULL,
                        env=self.stubs.env(),
                        timeout=20,
                    )
                finally:
                    os.close(write_end)
                self.assertEqual(result.returncode, 0)
                self.assertEqual(self.stubs.calls(), calls)


if __name__ == "__main__":
    unittest.main()
