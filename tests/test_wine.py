"""The real Windows exe under Wine. cmd.exe looks in the current folder
first, so a shutdown.bat there catches every shutdown command line."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from screens import BANNER, MENU, SYNTAX_ERROR

EXE = os.environ.get("GLIMMERQUAY_EXE", "build/windows-x86/glimmerquay.exe")
PREFIX = os.environ.get("GLIMMERQUAY_WINEPREFIX", "build/wineprefix")

STUB_BAT = (
    b"@echo [stub shutdown %*]\r\n"
    b"@echo [stub shutdown %*]>> calls.log\r\n"
)

ENV = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
ENV.update(
    WINEPREFIX=os.path.abspath(PREFIX),
    WINEDEBUG="-all",
    # No .NET or HTML engine is needed, and asking for them would open dialogs.
    WINEDLLOVERRIDES="mscoree,mshtml=",
)


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def setUpModule():
    if not os.path.isfile(EXE):
        raise RuntimeError(f"{EXE} is missing: build the windows-x86 preset")
    os.makedirs(ENV["WINEPREFIX"], exist_ok=True)
    # One wineserver for the whole run, so that each start of the exe is quick.
    subprocess.run(["wineserver", "-p"], env=ENV, check=True)
    subprocess.run(
        ["wineboot", "-i"],
        env=ENV,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        timeout=300,
    )


def tearDownModule():
    subprocess.run(["wineserver", "-k"], env=ENV)


class UnderWine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="glimmerquay-wine-")
        self.addCleanup(shutil.rmtree, self.folder)
        with open(os.path.join(self.folder, "shutdown.bat"), "wb") as f:
            f.write(STUB_BAT)

    def run_exe(self, typed):
        # Files, not pipes: Wine's own background processes can hold a pipe
        # open for seconds after the program has ended.
        stdin = os.path.join(self.folder, "stdin")
        stdout = os.path.join(self.folder, "stdout")
        with open(stdin, "wb") as f:
            f.write(typed)
        with open(stdin, "rb") as i, open(stdout, "wb") as o:
            status = subprocess.run(
                ["wine", os.path.abspath(EXE)],
                stdin=i,
                stdout=o,
                stderr=subprocess.DEVNULL,
                env=ENV,
                cwd=self.folder,
                timeout=120,
            ).returncode
        with open(stdout, "rb") as f:
            output = f.read()
        calls = b""
        log = os.path.join(self.folder, "calls.log")
        if os.path.exists(log):
            with open(log, "rb") as f:
                calls = f.read()
            os.remove(log)
        return status, output, calls

    def test_choices(self):
        cases = [
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
        # The pause prompt is cmd.exe's own: whatever its wording, it stands
        # on one line between the banner and the menu. (Wine's writes no line
        # end of its own when its input is a file.)
        screen = re.compile(
            re.escape(crlf(BANNER))
            + rb"[^\r\n]+(\r\n)?"
            + re.escape(crlf(MENU))
        )
        for typed, option in cases:
            with self.subTest(typed=typed):
                status, output, calls = self.run_exe(typed)
                self.assertEqual(status, 0)
                shown = screen.match(output)
                self.assertIsNotNone(shown, output)
                if option:
                    self.assertEqual(
                        output[shown.end():], b"[stub shutdown " + option + b"]\r\n"
                    )
                    self.assertEqual(calls, b"[stub shutdown " + option + b"]\r\n")
                else:
                    self.assertEqual(output[shown.end():], SYNTAX_ERROR)
                    self.assertEqual(calls, b"")


if __name__ == "__main__":
    unittest.main()
