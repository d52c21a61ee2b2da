"""The pause on a real pseudo-terminal: one key, not echoed, nothing typed
after it lost, and the terminal's modes put back afterwards, also when a
signal ends the wait or stops the program."""

import os
import re
import signal
import termios
import time
import unittest

from screens import BANNER, MENU, PAUSE_PROMPT, PROGRAM, StubDir, marker
from terminal import Terminal


def on_terminal(text):
    """Output as a terminal shows it: line ends become CR LF."""
    return text.replace(b"\n", b"\r\n")


class Pause(unittest.TestCase):
    def setUp(self):
        self.stubs = StubDir()
        self.addCleanup(self.stubs.close)
        self.term = Terminal([PROGRAM], self.stubs.env())
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


REBOOT = marker("systemctl", "reboot")


class TypedAhead(unittest.TestCase):
    """The pause takes one key, however many bytes it sends, and leaves
    what was typed after it for the choice, as cmd.exe's PAUSE does."""

    def test_one_burst_with_the_choice(self):
        cases = [
            # everything arrives in one write once the prompt shows
            (b"k3\r", REBOOT),
            (b"k5\r", None),
            (b"\x1b[A3\r", REBOOT),  # up arrow
            (b"\x1bOA3\r", REBOOT),  # up arrow, application mode
            (b"\x1b[1;5C3\r", REBOOT),  # Ctrl-right: parameters
            (b"\x1b[15~3\r", REBOOT),  # F5
            ("\u00e93\r".encode(), REBOOT),  # two bytes of UTF-8
            ("\u20ac3\r".encode(), REBOOT),  # three
            ("\U0001f6003\r".encode(), REBOOT),  # four
            (b"\x1b[A\x1b[B3\r", None),  # two keys: the second one is typed
        ]
        for typed, command in cases:
            with self.subTest(typed=typed):
                stubs = StubDir()
                self.addCleanup(stubs.close)
                term = Terminal([PROGRAM], stubs.env())
                self.addCleanup(term.close)
                term.read_until(PAUSE_PROMPT)
                term.type(typed)
                term.read_until(on_terminal(command or b"syntax error !"))
                self.assertEqual(os.waitstatus_to_exitcode(term.wait()), 0)
                self.assertEqual(stubs.calls(), command or b"")
                self.assertEqual(term.modes(), term.modes_before)

    def test_a_lone_escape_is_a_key(self):
        stubs = StubDir()
        self.addCleanup(stubs.close)
        term = Terminal([PROGRAM], stubs.env())
        self.addCleanup(term.close)
        term.read_until(PAUSE_PROMPT)
        term.type(b"\x1b")
        term.read_until(b" >votre choix >")
        time.sleep(0.3)
        term.type(b"5\r")
        term.read_until(b"syntax error !")
        self.assertEqual(os.waitstatus_to_exitcode(term.wait()), 0)
        self.assertEqual(stubs.calls(), b"")


class JobControl(unittest.TestCase):
    """The program as a job of an interactive shell, on the same terminal:
    the kernel only stops a job whose shell can continue it."""

    def setUp(self):
        self.stubs = StubDir()
        self.addCleanup(self.stubs.close)
        env = self.stubs.env(PS1="$ ", HOME=self.stubs.path)
        self.shell = Terminal(
            ["/bin/bash", "--norc", "--noprofile", "--noediting", "-i"], env
        )
        self.addCleanup(self.shell.close)
        self.shell.wait_for(lambda lines: lines[0] == "$")

    def command(self, line):
        """Types a line at the shell and waits until the shell echoed it."""
        self.shell.type(line.encode() + b"\r")
        self.shell.wait_for(lambda lines: "$ " + line in lines)

    def finish_with_a_key_then_5(self):
        shell = self.shell
        shell.type(b"z")  # one key, no Enter
        shell.wait_for(lambda lines: " >votre choix >" in lines)
        shell.type(b"5\r")
        shell.wait_for(lambda lines: " >votre choix >5" in lines
                       and " syntax error !$" in lines)
        self.assertEqual(self.stubs.calls(), b"")
        self.assertEqual(shell.modes(), shell.modes_before)

    def prompts(self):
        return "\n".join(self.shell.screen()).count(PAUSE_PROMPT.decode())

    def test_ctrl_z_at_the_pause_then_fg(self):
        shell = self.shell
        self.command(PROGRAM)
        shell.read_until(PAUSE_PROMPT)
        shell.type(b"\x1a")  # Ctrl-Z
        shell.wait_for(lambda lines: any("Stopped" in line for line in lines))
        # The shell has the terminal back in line mode: what is typed there
        # is echoed, and a line runs only with Enter.
        lflag = shell.modes()[3]
        self.assertTrue(lflag & termios.ICANON and lflag & termios.ECHO)
        self.command("echo typed at the shell")
        shell.wait_for(lambda lines: "typed at the shell" in lines)
        self.command("fg")
        # Continued: the prompt again, below the shell's lines.
        shell.wait_for(lambda lines: self.prompts() == 2)
        self.finish_with_a_key_then_5()

    def test_started_in_the_background_it_waits_for_fg(self):
        shell = self.shell
        self.command(PROGRAM + " &")
        job = re.search(r"^\[1\] (\d+)$", "\n".join(shell.wait_for(
            lambda lines: any(re.match(r"\[1\] \d+$", l) for l in lines))), re.M)
        # Reading the terminal from the background stops it (SIGTTIN).
        deadline = time.monotonic() + 10
        while process_state(job[1]) != "T":
            self.assertLess(time.monotonic(), deadline, "it never stopped")
            time.sleep(0.05)
        self.assertEqual(self.prompts(), 0)
        shell.type(b"fg\r")
        shell.wait_for(lambda lines: self.prompts() == 1)
        self.finish_with_a_key_then_5()


def process_state(pid):
    """The one-letter state of a process, as ps shows it."""
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()[0]


class PauseSignals(unittest.TestCase):
    def test_each_signal_restores_the_modes_and_still_ends_the_program(self):
        stubs = StubDir()
        self.addCleanup(stubs.close)
        for how in ["\x1c", signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT]:
            with self.subTest(how=how):
                term = Terminal([PROGRAM], stubs.env())
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
