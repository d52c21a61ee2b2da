"""The real Windows exe under Wine. A stub shutdown.exe stands in the test
prefix's own system32, where the system's command lives; Wine is told to
run that file rather than its built-in shutdown. Planted stubs elsewhere
must never be reached."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from screens import BANNER, MENU, SYNTAX_ERROR
from terminal import Terminal

EXE = os.path.abspath(
    os.environ.get("GLIMMERQUAY_EXE", "build/windows-x86/glimmerquay.exe")
)
STUBS = os.path.join(os.path.dirname(EXE), "tests")
PREFIX = os.path.abspath(
    os.environ.get("GLIMMERQUAY_WINEPREFIX", "build/wineprefix")
)
SYSTEM32 = os.path.join(PREFIX, "drive_c", "windows", "system32")

ENV = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
ENV.update(
    WINEPREFIX=PREFIX,
    WINEARCH="win32",
    WINEDEBUG="-all",
    # No .NET or HTML engine is needed, and asking for them would open
    # dialogs. shutdown.exe=n: run the file in system32, not Wine's own.
    WINEDLLOVERRIDES="mscoree,mshtml=;shutdown.exe=n",
)

# A planted batch file writes the same marker as the planted exe.
PLANTED_SCRIPT = (
    b"@echo [planted %*]\r\n"
    b'@echo [planted %*]>> "%STUB_LOG%"\r\n'
)


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def windows_path(path):
    """The same file as a Windows program sees it, through Wine's Z: drive."""
    return "Z:" + path.replace("/", "\\")


def setUpModule():
    for exe in (EXE, os.path.join(STUBS, "stub-shutdown.exe")):
        if not os.path.isfile(exe):
            raise RuntimeError(f"{exe} is missing: build the windows-x86 preset")
    os.makedirs(PREFIX, exist_ok=True)
    # One wineserver for the whole run, so that each start of the exe is quick.
    subprocess.run(["wineserver", "-p"], env=ENV, check=True)
    subprocess.run(
        ["wineboot", "-i"],
        env=ENV,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        timeout=300,
    )
    shutil.copyfile(
        os.path.join(STUBS, "stub-shutdown.exe"),
        os.path.join(SYSTEM32, "shutdown.exe"),
    )


def tearDownModule():
    subprocess.run(["wineserver", "-k"], env=ENV)


def take_log(path):
    """The stubs' log so far (empty if none ran), which then starts anew."""
    if not os.path.exists(path):
        return b""
    with open(path, "rb") as f:
        calls = f.read()
    os.remove(path)
    return calls


def system_stub(option):
    return b"[shutdown " + option + b"]\r\n"


# What is typed, and the option of the shutdown command line it must lead
# to (None: the error text and no command).
CHOICES = [
    (b"k1\n", b"-s"),
    (b"k2\n", b"-l"),
    (b"k3\n", b"-r"),
    (b"k4abc\n", b"-f"),
    (b"k5\n", None),
    (b"k-1\n", None),
    (b"k4294967297\n", None),
    (b"k18446744073709551617\n", None),
    (b"kabc\n", None),
    (b"", None),
]

# The pause prompt is cmd.exe's own: whatever its wording, it stands on one
# line between the banner and the menu. (Wine's writes no line end of its
# own when its input is a file.)
SCREEN = re.compile(
    re.escape(crlf(BANNER)) + rb"[^\r\n]+(\r\n)?" + re.escape(crlf(MENU))
)


class UnderWine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="glimmerquay-wine-")
        self.addCleanup(shutil.rmtree, self.folder)
        self.log = os.path.join(self.folder, "calls.log")
        self.env = dict(ENV, STUB_LOG=windows_path(self.log))

    def run_exe(self, typed, cwd=None, env=None):
        # Files, not pipes: Wine's own background processes can hold a pipe
        # open for seconds after the program has ended.
        stdin = os.path.join(self.folder, "stdin")
        stdout = os.path.join(self.folder, "stdout")
        with open(stdin, "wb") as f:
            f.write(typed)
        with open(stdin, "rb") as i, open(stdout, "wb") as o:
            status = subprocess.run(
                ["wine", EXE],
                stdin=i,
                stdout=o,
                stderr=subprocess.DEVNULL,
                env=env or self.env,
                cwd=cwd or self.folder,
                timeout=120,
            ).returncode
        with open(stdout, "rb") as f:
            output = f.read()
        return status, output, take_log(self.log)

    def check(self, typed, option, **where):
        status, output, calls = self.run_exe(typed, **where)
        self.assertEqual(status, 0)
        shown = SCREEN.match(output)
        self.assertIsNotNone(shown, output)
        if option:
            self.assertEqual(output[shown.end():], system_stub(option))
            self.assertEqual(calls, system_stub(option))
        else:
            self.assertEqual(output[shown.end():], SYNTAX_ERROR)
            self.assertEqual(calls, b"")

    def test_choices(self):
        for typed, option in CHOICES:
            with self.subTest(typed=typed):
                self.check(typed, option)

    def plant(self, folder, name):
        os.makedirs(folder, exist_ok=True)
        target = os.path.join(folder, name)
        if name.endswith((".bat", ".cmd")):
            with open(target, "wb") as f:
                f.write(PLANTED_SCRIPT)
        else:  # Windows runs a PE file named .com as readily as an .exe.
            shutil.copyfile(os.path.join(STUBS, "stub-planted.exe"), target)

    def test_planted_programs_are_never_run(self):
        # Where the exe is started from, as after a double-click in
        # Downloads, and a folder put first on PATH.
        places = [
            ("working folder", name)
            for name in ("shutdown.bat", "shutdown.cmd", "shutdown.exe",
                         "shutdown.com")
        ] + [("first on PATH", "shutdown.bat"), ("first on PATH", "shutdown.exe")]
        inputs = [(b"k1\n", b"-s"), (b"k2\n", b"-l"), (b"k3\n", b"-r"),
                  (b"k4\n", b"-f"), (b"k5\n", None), (b"kabc\n", None)]
        for place, name in places:
            with tempfile.TemporaryDirectory(dir=self.folder) as planted:
                env = dict(self.env)
                if place == "working folder":
                    where = {"cwd": planted}
                else:
                    env["WINEPATH"] = windows_path(planted)
                    where = {"env": env}
                self.plant(planted, name)
                for typed, option in inputs:
                    with self.subTest(place=place, planted=name, typed=typed):
                        self.check(typed, option, **where)


def screen_lines(text):
    """Text as the lines a terminal shows, without trailing blanks."""
    return [line.rstrip() for line in text.decode().split("\n")]


class OnWineConsole(unittest.TestCase):
    """The exe on Wine's own console, which draws on a pseudo-terminal:
    cmd.exe's PAUSE waits for one key and leaves what was typed after it
    for the choice."""

    def test_key_with_the_choice_typed_ahead(self):
        cases = [(b"k3\r", b"-r"), (b"k2\r", b"-l"), (b"k5\r", None)]
        for typed, option in cases:
            with self.subTest(typed=typed):
                folder = tempfile.mkdtemp(prefix="glimmerquay-console-")
                self.addCleanup(shutil.rmtree, folder)
                log = os.path.join(folder, "calls.log")
                env = dict(ENV, STUB_LOG=windows_path(log), TERM="xterm")
                term = Terminal(["wine", EXE], env, cwd=folder)
                self.addCleanup(term.close)

                # The banner, then the pause's prompt below it, and the menu
                # held back until a key comes.
                banner = screen_lines(BANNER)
                term.wait_for(lambda s: s[len(banner) - 1].strip(), timeout=120)
                term.read_for(1)
                screen = term.screen()
                self.assertEqual(screen[:len(banner) - 1], banner[:-1])
                self.assertNotIn("choisissez une commande", "\n".join(screen))

                term.type(typed)
                ending = (system_stub(option) if option else SYNTAX_ERROR)
                ending = ending.decode().rstrip()
                term.wait_for(lambda s: ending in s)
                self.assertEqual(os.waitstatus_to_exitcode(term.wait()), 0)
                # The menu after the pause's line (which ends with the key or
                # not, as the host's PAUSE has it), then the choice as the
                # console echoed it, and below it the command's line or the
                # error text.
                screen = term.screen()
                menu = screen_lines(MENU)[12:]
                menu[-1] += typed[1:-1].decode()
                menu.append(ending)
                heading = screen.index(menu[0])
                self.assertIn(heading - (len(banner) - 1), (12, 13), screen)
                self.assertEqual(screen[heading:heading + len(menu)], menu, screen)
                self.assertEqual(take_log(log), system_stub(option) if option else b"")


if __name__ == "__main__":
    unittest.main()
