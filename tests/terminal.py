"""A program on a pseudo-terminal of its own, and the screen a person would
see there (drawn by pyte, a terminal emulator)."""

import fcntl
import os
import select
import signal
import struct
import termios
import time

import pyte

ROWS, COLUMNS = 50, 80


class Terminal:
    """Runs argv with the pseudo-terminal as its controlling terminal. All
    that it writes is kept in `output`, and drawn on a screen."""

    def __init__(self, argv, env, cwd=None):
        self.master, self.slave = os.openpty()
        fcntl.ioctl(
            self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0)
        )
        self.modes_before = termios.tcgetattr(self.slave)
        self.pid = os.fork()
        if self.pid == 0:
            try:
                os.close(self.master)
                os.login_tty(self.slave)
                if cwd:
                    os.chdir(cwd)
                os.execvpe(argv[0], argv, env)
            finally:
                os._exit(127)
        self.output = b""
        self.status = None
        self._screen = pyte.Screen(COLUMNS, ROWS)
        self._stream = pyte.ByteStream(self._screen)

    def _take(self, timeout):
        if select.select([self.master], [], [], max(timeout, 0))[0]:
            data = os.read(self.master, 65536)
            self.output += data
            self._stream.feed(data)
            return True
        return False

    def read_until(self, wanted, timeout=10):
        """Reads until `wanted` has been written; returns all output."""
        deadline = time.monotonic() + timeout
        while wanted not in self.output:
            if not self._take(deadline - time.monotonic()):
                raise AssertionError(f"{wanted!r} never came: {self.output!r}")
        return self.output

    def read_for(self, seconds):
        deadline = time.monotonic() + seconds
        while (left := deadline - time.monotonic()) > 0:
            self._take(left)
        return self.output

    def screen(self):
        """The screen's lines, without their trailing blanks."""
        return [line.rstrip() for line in self._screen.display]

    def wait_for(self, shown, timeout=20):
        """Reads until shown(screen lines) is true; returns the lines."""
        deadline = time.monotonic() + timeout
        while not shown(self.screen()):
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(
                    "the screen never showed what was awaited:\n"
                    + "\n".join(self.screen()).rstrip()
                )
            self._take(min(left, 0.2))
        return self.screen()

    def type(self, keys):
        os.write(self.master, keys)

    def modes(self):
        return termios.tcgetattr(self.slave)

    def wait(self, timeout=20):
        """The program's wait status, once it has ended."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = status
                self.read_for(0.1)
                return status
            self._take(0.02)
        raise AssertionError("the program did not end")

    def close(self):
        if self.status is None:
            try:
                os.kill(self.pid, signal.SIGKILL)
                os.waitpid(self.pid, 0)
            except ChildProcessError:
                pass
            self.status = -1
        os.close(self.master)
        os.close(self.slave)
