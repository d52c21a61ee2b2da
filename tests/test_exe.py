"""What the Windows exe is made of: its imports, its resources read back
with icoutils, and a build that gives the same bytes every time."""

import os
import re
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

EXE = os.environ.get("GLIMMERQUAY_EXE", "build/windows-x86/glimmerquay.exe")
VERSION = os.environ.get("GLIMMERQUAY_VERSION", "")
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def tool(*argv):
    return subprocess.run(argv, check=True, capture_output=True).stdout


def resource(type_, name, raw=False):
    """One resource of the exe; raw for the types icoutils does not know."""
    args = ["--raw"] if raw else []
    return tool("wrestool", "-x", *args, f"--type={type_}", f"--name={name}", EXE)


class Imports(unittest.TestCase):
    def test_console_exe_for_i386_that_needs_only_system_dlls(self):
        headers = tool("i686-w64-mingw32-objdump", "-p", EXE).decode()
        self.assertIn("file format pei-i386", headers)
        self.assertRegex(headers, r"Subsystem\s+00000003\s+\(Windows CUI\)")
        dlls = re.findall(r"DLL Name: (\S+)", headers)
        self.assertEqual(sorted(dlls), ["KERNEL32.dll", "msvcrt.dll"])


def icon_pixels(ico):
    """The one image of an .ico as rows of (r, g, b, a), top row first."""
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    assert (reserved, kind, count) == (0, 1, 1), (reserved, kind, count)
    width, height, _, _, _, bits, size, offset = struct.unpack_from(
        "<BBBBHHII", ico, 6
    )
    header_size, w, h2, _, bpp, compression = struct.unpack_from(
        "<IiiHHI", ico, offset
    )
    assert (width, height, w, h2, bits, bpp, compression) == (
        32, 32, 32, 64, 32, 32, 0,
    ), (width, height, w, h2, bits, bpp, compression)
    data = ico[offset + header_size:]
    rows = []
    for y in range(32):
        row = data[(31 - y) * 128:(32 - y) * 128]  # stored bottom row first
        rows.append([tuple(row[x * 4:x * 4 + 4][i] for i in (2, 1, 0, 3))
                     for x in range(32)])
    return rows


def violet(p):
    r, g, b, a = p
    return a == 255 and b > g + 80 and r > g + 30


def grey(p):
    r, g, b, a = p
    return a >= 192 and max(r, g, b) - min(r, g, b) < 12 and 96 < r < 208


class Icon(unittest.TestCase):
    def test_one_group_named_A_with_one_image(self):
        listing = tool("wrestool", "-l", EXE).decode()
        self.assertEqual(re.findall(r"--type=14 --name=(\S+)", listing), ["'A'"])
        self.assertEqual(len(re.findall(r"--type=3 ", listing)), 1)
        with tempfile.NamedTemporaryFile(suffix=".ico") as f:
            f.write(resource(14, "A"))
            f.flush()
            self.assertEqual(
                tool("icotool", "-l", f.name).decode().split(),
                ["--icon", "--index=1", "--width=32", "--height=32",
                 "--bit-depth=32", "--palette-size=0"],
            )

    def test_the_drawing(self):
        px = icon_pixels(resource(14, "A"))
        at = lambda x, y: px[y][x]
        # Transparent ground, and transparent inside the frame and the rings.
        for x, y in [(0, 0), (31, 0), (0, 31), (31, 31), (16, 20), (10, 5),
                     (22, 5), (16, 5)]:
            self.assertEqual(at(x, y)[3], 0, (x, y))
        # The violet frame: its four sides.
        for x, y in [(2, 20), (29, 20), (16, 12), (16, 28)]:
            self.assertTrue(violet(at(x, y)), ((x, y), at(x, y)))
        # The grey rings, left and right of each centre and above it.
        for cx in (10, 22):
            for x, y in [(cx - 4, 5), (cx + 3, 5), (cx, 1)]:
                self.assertTrue(grey(at(x, y)), ((x, y), at(x, y)))
        # The short violet strokes from each ring down to the frame.
        for x in (10, 22):
            for y in (9, 10):
                self.assertTrue(violet(at(x, y)), ((x, y), at(x, y)))
        # Semi-transparent edges exist: the outline is anti-aliased.
        self.assertTrue(any(0 < p[3] < 255 for row in px for p in row))


def version_strings(block):
    """Key-value strings and fixed version of a VS_VERSIONINFO resource."""
    strings, fixed = {}, None

    def walk(data):
        nonlocal fixed
        length, value_length, is_text = struct.unpack_from("<HHH", data, 0)
        end = data.index(b"\0\0", 6)
        while (end - 6) % 2:
            end = data.index(b"\0\0", end + 1)
        key = data[6:end].decode("utf-16-le")
        pos = (end + 2 + 3) & ~3
        if key == "VS_VERSION_INFO":
            fixed = struct.unpack_from("<13I", data, pos)
        elif is_text and value_length:
            value = data[pos:pos + value_length * 2].decode("utf-16-le")
            strings[key] = value.rstrip("\0")
        pos += value_length * (2 if is_text else 1)
        pos = (pos + 3) & ~3
        while pos < length:
            child_length = struct.unpack_from("<H", data, pos)[0]
            walk(data[pos:pos + child_length])
            pos = (pos + child_length + 3) & ~3

    walk(block)
    return strings, fixed


class VersionAndManifest(unittest.TestCase):
    def test_version_information(self):
        strings, fixed = version_strings(resource(16, 1, raw=True))
        self.assertEqual(strings["ProductName"], "glimmeRQuay")
        self.assertEqual(strings["CompanyName"], "velmora quistadine")
        self.assertEqual(strings["OriginalFilename"], "glimmerquay.exe")
        self.assertTrue(strings["FileDescription"])
        self.assertEqual(strings["FileVersion"], VERSION)
        self.assertEqual(strings["ProductVersion"], VERSION)
        self.assertEqual(fixed[0], 0xFEEF04BD)
        major, minor, patch = (int(n) for n in VERSION.split("."))
        self.assertEqual(fixed[2:4], ((major << 16) | minor, patch << 16))

    def test_manifest(self):
        ns = {
            "v1": "urn:schemas-microsoft-com:asm.v1",
            "v3": "urn:schemas-microsoft-com:asm.v3",
            "c": "urn:schemas-microsoft-com:compatibility.v1",
        }
        root = ET.fromstring(resource(24, 1, raw=True))
        level = root.find(".//v3:requestedExecutionLevel", ns)
        self.assertEqual(level.get("level"), "asInvoker")
        self.assertEqual(level.get("uiAccess"), "false")
        supported = {e.get("Id") for e in root.findall(".//c:supportedOS", ns)}
        self.assertEqual(supported, {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
            "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
            "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
        })
        identity = root.find("v1:assemblyIdentity", ns)
        self.assertEqual(identity.get("version"), VERSION + ".0")


class Reproducible(unittest.TestCase):
    def test_two_clean_builds_give_the_same_bytes(self):
        with tempfile.TemporaryDirectory() as tmp:
            exes = []
            # Build folders of different names and depths: no path may leak.
            for build in ("one", "second/build-dir"):
                build = os.path.join(tmp, build)
                for step in (["cmake", "--preset", "windows-x86", "-B", build],
                             ["cmake", "--build", build]):
                    subprocess.run(step, cwd=SOURCE_DIR, check=True,
                                   stdout=subprocess.DEVNULL)
                with open(os.path.join(build, "glimmerquay.exe"), "rb") as f:
                    exes.append(f.read())
                self.assertNotIn(build.encode(), exes[-1])
            self.assertEqual(exes[0], exes[1])
            # Two quick builds can fall in the same second, so look at the
            # link time itself too: the COFF header's time stamp is zero.
            coff = struct.unpack_from("<I", exes[0], 0x3C)[0] + 4
            self.assertEqual(struct.unpack_from("<I", exes[0], coff + 4)[0], 0)
            self.assertNotIn(SOURCE_DIR.encode(), exes[0])
            self.assertNotIn(tmp.encode(), exes[0])
            with open(EXE, "rb") as f:
                self.assertEqual(f.read(), exes[0])


if __name__ == "__main__":
    unittest.main()
