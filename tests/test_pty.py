"""The pause on a real pseudo-terminal: one key, not echoed, and the
terminal's modes put back afterwards, also when a signal ends the wait."""

import os
import select
import signal
import termios
import time
import unittest

from screens import BANNER, MENU, PAUSE_PROMPT, PROGRAM, StubDir, marker


def on_terminal(text):
    """Output as a terminal shows it: line ends become CR LF."""
    return text.replace(b"\n", b"\r\n")


class Terminal:
    """The program on its own pseudo-terminal, as its controlling terminal."""

    def __init__(self, env):
        self.master, self.slave = os.openpty()
        self.modes_before = termios.tcgetattr(self.slave)
        self.pid = os.fork()
        if self.pid == 0:
            os.close(self.master)
            os.login_tty(self.slave)
            os.execve(PROGRAM, [PROGRAM], env)
        self.output = b""

    def read_until(self, wanted, timeout=10):
        deadline = time.monotonic() + timeout
        while wanted not in self.output:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                raise AssertionError(f"{wanted!r} never came: {self.output!r}")
            self.output += os.read(self.master, 4096)
        return self.output

    def read_for(self, seconds):
        deadline = time.monotonic() + seconds
        while (left := deadline - time.monotonic()) > 0:
            if select.select([self.master], [], [], left)[0]:
                self.output += os.read(self.master, 4096)
        return self.output

    def type(self, keys):
        os.write(self.master, keys)

    def modes(self):
        return termios.tcgetattr(self.slave)

    def wait(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return status
            time.sleep(0.02)
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        raise AssertionError("the program did not end")

    def close(self):
        os.close(self.master)
        os.close(self.slave)


class Pause(unittest.TestCase):
    def setUp(self):
        self.stubs = StubDir()
        self.addCleanup(self.stubs.close)
        self.term = Terminal(self.stubs.env())
        self.addCleanup(self.term.close)
        # The prompt comes once the terminal is set for a single key.
        self.term.read_until(PAUSE_PROMPT)

    def test_one_key_unechoed_then_the_menu(self):
        term = self.term
        # Until a key is pressed, nothing of the menu appears.
        self.assertEqual(term.read_for(0.5), on_terminal(BANNER) + PAUSE_PROMPT)
        lflag = term.modes()[3]
        self.assertFalse(lflag & termios.ICANON)
        self.assertFalse(lflag & termios.ECHO)

        term.type(b"z")
        term.read_until(b" >votre choix >")
        self.assertEqual(
            term.output, on_terminal(BANNER + PAUSE_PROMPT + b"\n" + MENU)
        )
        # Back in line mode: the choice is echoed as it is typed.
        term.type(b"3\r")
        term.read_until(b"reboot]")
        self.assertEqual(os.waitstatus_to_exitcode(term.wait()), 0)
        self.assertTrue(
            term.output.endswith(
                b" >votre choix >3\r\n" + on_terminal(marker("systemctl", "reboot"))
            ),
            term.output,
        )
        self.assertEqual(term.modes(), term.modes_before)

    def test_a_key_of_several_bytes_is_one_key(self):
        self.term.type(b"\x1b[A")  # the up arrow
        self.term.read_until(b" >votre choix >")
        self.term.type(b"5\r")
        self.term.read_until(b"syntax error !")
        self.assertEqual(os.waitstatus_to_exitcode(self.term.wait()), 0)
        self.assertEqual(self.stubs.calls(), b"")

    def test_modes_restored_when_a_signal_ends_the_pause(self):
        self.term.type(b"\x03")  # Ctrl-C
        status = self.term.wait()
        self.assertEqual(os.waitstatus_to_exitcode(status), -signal.SIGINT)
        self.assertEqual(self.term.modes(), self.term.modes_before)


class PauseSignals(unittest.TestCase):
    def test_each_signal_restores_the_modes_and_still_ends_the_program(self):
        stubs = StubDir()
        self.addCleanup(stubs.close)
        for how in ["\x1c", signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT]:
            with self.subTest(how=how):
                term = Terminal(stubs.env())
                self.addCleanup(term.close)
                term.read_until(PAUSE_PROMPT)
                if isinstance(how, str):
                    term.type(how.encode())  # Ctrl-\ sends SIGQUIT
                    expected = signal.SIGQUIT
                else:
                    os.kill(term.pid, how)
                    expected = how
                status = term.wait()
                self.assertEqual(os.waitstatus_to_exitcode(status), -expected)
                self.assertEqual(term.modes(), term.modes_before)
                self.assertEqual(stubs.calls(), b"")


if __name__ == "__main__":
    unittest.main()
