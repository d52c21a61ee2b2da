"""What users download, as `make dist` makes it: the Windows zip, the Debian
package and their sums, checked with the tools that users and Debian use."""

import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from screens import BANNER, MENU, PAUSE, SYNTAX_ERROR, StubDir

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROGRAM = os.path.abspath(os.environ.get("GLIMMERQUAY", "build/native/glimmerquay"))
EXE = os.path.abspath(
    os.environ.get("GLIMMERQUAY_EXE", "build/windows-x86/glimmerquay.exe")
)
VERSION = os.environ.get("GLIMMERQUAY_VERSION", "")
ZIP = f"glimmerquay-{VERSION}-windows-x86.zip"
DEB = f"glimmerquay_{VERSION}_amd64.deb"

# Everything the package installs, and nothing else.
PACKAGE_FILES = [
    "usr/bin/glimmerquay",
    "usr/share/applications/glimmerquay.desktop",
    "usr/share/doc/glimmerquay/changelog.gz",
    "usr/share/doc/glimmerquay/copyright",
    "usr/share/icons/hicolor/32x32/apps/glimmerquay.png",
    "usr/share/icons/hicolor/scalable/apps/glimmerquay.svg",
    "usr/share/man/man1/glimmerquay.1.gz",
]


def make_dist(native_build, windows_build, out):
    subprocess.run(
        [sys.executable, os.path.join(SOURCE_DIR, "dist", "make-dist.py"),
         SOURCE_DIR, native_build, windows_build, out],
        check=True, stdout=subprocess.DEVNULL,
    )


def files_below(root):
    return sorted(
        os.path.relpath(os.path.join(folder, name), root)
        for folder, _, names in os.walk(root)
        for name in names
    )


def tool(*argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, **kwargs)


class Dist(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls._tmp = tempfile.TemporaryDirectory(prefix="glimmerquay-dist-")
        cls.out = os.path.join(cls._tmp.name, "dist")
        make_dist(os.path.dirname(PROGRAM), os.path.dirname(EXE), cls.out)
        cls.deb = os.path.join(cls.out, DEB)
        cls.unpacked = os.path.join(cls._tmp.name, "unpacked")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.unpacked], check=True)

    @classmethod
    def tearDownClass(cls):
        cls._tmp.cleanup()

    def test_the_three_files_and_their_sums(self):
        self.assertEqual(sorted(os.listdir(self.out)), sorted([ZIP, DEB, "SHA256SUMS"]))
        checked = tool("sha256sum", "-c", "SHA256SUMS", cwd=self.out)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertEqual(checked.stdout, f"{ZIP}: OK\n{DEB}: OK\n")

    def test_zip_holds_the_built_exe_and_the_notes(self):
        folder = f"glimmerquay-{VERSION}/"
        with zipfile.ZipFile(os.path.join(self.out, ZIP)) as z:
            entries = z.infolist()
            self.assertEqual(
                [e.filename for e in entries],
                [folder, folder + "glimmerquay.exe", folder + "LISEZMOI.txt"],
            )
            # Fixed times (the last commit's, so all the same) and modes.
            self.assertEqual(len({e.date_time for e in entries}), 1)
            self.assertEqual(
                [e.external_attr >> 16 for e in entries],
                [0o40755, 0o100755, 0o100644],
            )
            with open(EXE, "rb") as f:
                self.assertEqual(z.read(folder + "glimmerquay.exe"), f.read())
            notes = z.read(folder + "LISEZMOI.txt")

        # Notepad on any Windows: a UTF-8 byte-order mark, CR LF throughout.
        self.assertTrue(notes.startswith(b"\xef\xbb\xbf"))
        self.assertNotRegex(notes, rb"[^\r]\n|\r[^\n]")
        self.assertTrue(notes.endswith(b"\r\n"))
        text = notes[3:].decode("utf-8")
        self.assertIn(f"glimmeRQuay {VERSION}", text)
        for line in ("shutdown -s", "shutdown -l", "shutdown -r", "shutdown -f",
                     "syntax error !", "System32"):
            self.assertIn(line, text)
        self.assertNotIn("@VERSION@", text)

    def test_package_fields(self):
        fields = tool("dpkg-deb", "-f", self.deb, check=True).stdout
        field = lambda name: re.search(rf"^{name}: (.*)$", fields, re.M)[1]
        self.assertEqual(field("Package"), "glimmerquay")
        self.assertEqual(field("Version"), VERSION)
        self.assertEqual(field("Architecture"), "amd64")
        self.assertEqual(field("Section"), "admin")
        self.assertRegex(field("Maintainer"), r"^\S.* <[^@\s]+@[^@\s]+>$")
        depends = [d.strip() for d in field("Depends").split(",")]
        self.assertRegex(depends[0], r"^libc6 \(>= [0-9.]+\)$")
        self.assertIn("systemd", depends)
        # A synopsis, then a long description on indented lines.
        self.assertRegex(fields, r"(?m)^Description: \S.{10,79}\n( \S.*\n)+")

    def test_package_files_are_what_cmake_installs(self):
        self.assertEqual(files_below(self.unpacked), PACKAGE_FILES)
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(
                ["cmake", "--install", os.path.dirname(PROGRAM), "--prefix",
                 os.path.join(prefix, "usr")],
                check=True, stdout=subprocess.DEVNULL,
            )
            self.assertEqual(files_below(prefix), PACKAGE_FILES)

    def test_lintian_finds_nothing_to_warn_of(self):
        result = tool("lintian", "--fail-on", "error,warning", self.deb)
        findings = [line for line in result.stdout.splitlines()
                    if re.match(r"[EW]: ", line)]
        self.assertEqual(findings, [])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_desktop_entry(self):
        entry = os.path.join(self.unpacked, PACKAGE_FILES[1])
        result = tool("desktop-file-validate", entry)
        self.assertEqual((result.returncode, result.stdout + result.stderr),
                         (0, ""))
        with open(entry) as f:
            lines = f.read().splitlines()
        for line in ("Terminal=true", "Exec=glimmerquay", "Icon=glimmerquay"):
            self.assertIn(line, lines)

    def test_man_page_renders_without_warnings(self):
        page = os.path.join(self.unpacked, PACKAGE_FILES[-1])
        result = tool("man", "--warnings", "-l", page,
                      env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        for text in ("systemctl poweroff", "XDG_SESSION_ID", "PATH",
                     "EXIT STATUS", VERSION):
            self.assertIn(text, result.stdout)

    def test_unpacked_program_runs(self):
        stubs = StubDir()
        self.addCleanup(stubs.close)
        result = subprocess.run(
            [os.path.join(self.unpacked, PACKAGE_FILES[0])],
            input=b"k5", env=stubs.env(), capture_output=True, timeout=20,
        )
        self.assertEqual(result.stdout, BANNER + PAUSE + MENU + SYNTAX_ERROR)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(stubs.calls(), b"")

    def test_builds_elsewhere_give_the_same_sums(self):
        # Both programs built again in other folders, from the same source.
        with tempfile.TemporaryDirectory() as tmp:
            builds = {}
            for preset in ("native", "windows-x86"):
                builds[preset] = os.path.join(tmp, "elsewhere", preset)
                for step in (["cmake", "--preset", preset, "-B", builds[preset],
                              "-DBUILD_TESTING=OFF"],
                             ["cmake", "--build", builds[preset]]):
                    subprocess.run(step, cwd=SOURCE_DIR, check=True,
                                   stdout=subprocess.DEVNULL)
            # A second later, so that no clock can pass for the commit's.
            time.sleep(1)
            out = os.path.join(tmp, "dist")
            make_dist(builds["native"], builds["windows-x86"], out)
            with open(os.path.join(out, "SHA256SUMS")) as a, \
                    open(os.path.join(self.out, "SHA256SUMS")) as b:
                self.assertEqual(a.read(), b.read())


if __name__ == "__main__":
    unittest.main()
