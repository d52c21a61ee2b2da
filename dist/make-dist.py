#!/usr/bin/env python3
"""Builds what users download, from the two builds:

  glimmerquay-<version>-windows-x86.zip   the exe and LISEZMOI.txt
  glimmerquay_<version>_amd64.deb         the Linux build, as cmake --install
                                          lays it out
  SHA256SUMS                              both, for sha256sum -c

Usage: make-dist.py SOURCE_DIR NATIVE_BUILD WINDOWS_BUILD OUT_DIR

The same commit gives the same bytes: every time stamp is the last commit's
(or SOURCE_DATE_EPOCH's, when it is set), and order, owners and permissions
are fixed."""

import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile

ARCH = "amd64"
PACKAGE = "glimmerquay"
SECTION = "admin"
DESCRIPTION = """\
French console menu for switching off, logging off or restarting
 glimmeRQuay shows a title screen, waits for a key, then offers a numbered
 menu in French of four power commands: switch the PC off, close the
 session, restart the PC, or force every application of the session to
 close. The number typed is carried out at once with systemctl or loginctl;
 any other number only shows an error text. One choice per run.
 .
 It is the Linux build of a small Windows console program, and keeps that
 program's screens and its French texts."""


def project_version(source):
    with open(os.path.join(source, "CMakeLists.txt")) as f:
        return re.search(r"project\(\S+ VERSION (\S+)", f.read())[1]


def changelog_entry(source):
    """The version and the maintainer of the changelog's newest entry."""
    with open(os.path.join(source, "dist", "changelog")) as f:
        text = f.read()
    version = re.match(r"\S+ \((\S+)\)", text)[1]
    maintainer = re.search(r"^ -- (.+?>)  ", text, re.M)[1]
    return version, maintainer


def source_date_epoch(source):
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    return int(
        subprocess.run(
            ["git", "-C", source, "log", "-1", "--format=%ct"],
            check=True, capture_output=True, text=True,
        ).stdout
    )


def lisezmoi(source, version):
    """The French notes as Notepad opens them on any Windows: UTF-8 with a
    byte-order mark, CR LF line ends."""
    with open(os.path.join(source, "dist", "LISEZMOI.txt"), encoding="utf-8") as f:
        text = f.read().replace("@VERSION@", version)
    return b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")


def write_zip(path, folder, members, epoch):
    """members: (name, bytes, mode) in the order they go in."""
    stamp = time.gmtime(epoch)[:6]

    def entry(name, mode):
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.create_system = 3  # Unix, so that the mode below is read
        info.external_attr = mode << 16
        return info

    with zipfile.ZipFile(path, "w") as z:
        folder_entry = entry(folder + "/", 0o40755)
        folder_entry.external_attr |= 0x10  # MS-DOS directory flag
        z.writestr(folder_entry, b"")
        for name, data, mode in members:
            info = entry(f"{folder}/{name}", 0o100000 | mode)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)


def shlibs_depends(binary):
    """The shared libraries the program needs, as Debian names them."""
    with tempfile.TemporaryDirectory() as tmp:
        os.mkdir(os.path.join(tmp, "debian"))
        with open(os.path.join(tmp, "debian", "control"), "w") as f:
            f.write(f"Source: {PACKAGE}\n\nPackage: {PACKAGE}\nArchitecture: any\n")
        out = subprocess.run(
            ["dpkg-shlibdeps", "-O", os.path.abspath(binary)],
            cwd=tmp, check=True, capture_output=True, text=True,
        ).stdout
    return re.search(r"^shlibs:Depends=(.*)$", out, re.M)[1]


def write_deb(path, native_build, version, maintainer, epoch):
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.join(tmp, "root")
        subprocess.run(
            ["cmake", "--install", native_build, "--prefix",
             os.path.join(root, "usr")],
            check=True, stdout=subprocess.DEVNULL,
        )
        program = os.path.join(root, "usr", "bin", PACKAGE)
        # As Debian strips what it ships.
        subprocess.run(
            ["strip", "--remove-section=.comment", "--remove-section=.note",
             "--strip-unneeded", program],
            check=True,
        )

        md5sums, size_kib = [], 0
        for folder, _, files in os.walk(root):
            os.chmod(folder, 0o755)
            size_kib += 1
            for name in files:
                file = os.path.join(folder, name)
                os.chmod(file, 0o755 if file == program else 0o644)
                with open(file, "rb") as f:
                    data = f.read()
                size_kib += (len(data) + 1023) // 1024
                md5sums.append(
                    f"{hashlib.md5(data).hexdigest()}  {os.path.relpath(file, root)}\n"
                )

        control = os.path.join(root, "DEBIAN")
        os.mkdir(control)
        fields = [
            ("Package", PACKAGE),
            ("Version", version),
            ("Architecture", ARCH),
            ("Maintainer", maintainer),
            ("Installed-Size", str(size_kib)),
            ("Depends", shlibs_depends(program) + ", systemd"),
            ("Section", SECTION),
            ("Priority", "optional"),
            ("Description", DESCRIPTION),
        ]
        with open(os.path.join(control, "control"), "w") as f:
            f.writelines(f"{key}: {value}\n" for key, value in fields)
        with open(os.path.join(control, "md5sums"), "w") as f:
            f.writelines(sorted(md5sums, key=lambda line: line[34:]))
        for name in ("control", "md5sums"):
            os.chmod(os.path.join(control, name), 0o644)
        os.chmod(control, 0o755)

        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                os.utime(os.path.join(folder, name), (epoch, epoch))
        os.utime(root, (epoch, epoch))

        subprocess.run(
            ["dpkg-deb", "--root-owner-group", "-Zxz", "--threads-max=1",
             "--build", root, path],
            check=True, stdout=subprocess.DEVNULL,
            env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)),
        )


def main():
    source, native_build, windows_build, out = sys.argv[1:5]
    version = project_version(source)
    logged_version, maintainer = changelog_entry(source)
    if logged_version != version:
        sys.exit(f"dist/changelog's newest entry is {logged_version}, "
                 f"but the project is {version}: add an entry")
    epoch = source_date_epoch(source)
    os.makedirs(out, exist_ok=True)

    folder = f"{PACKAGE}-{version}"
    zip_name = f"{folder}-windows-x86.zip"
    with open(os.path.join(windows_build, f"{PACKAGE}.exe"), "rb") as f:
        exe = f.read()
    write_zip(
        os.path.join(out, zip_name),
        folder,
        [(f"{PACKAGE}.exe", exe, 0o755),
         ("LISEZMOI.txt", lisezmoi(source, version), 0o644)],
        epoch,
    )

    deb_name = f"{PACKAGE}_{version}_{ARCH}.deb"
    write_deb(os.path.join(out, deb_name), native_build, version, maintainer,
              epoch)

    with open(os.path.join(out, "SHA256SUMS"), "w") as sums:
        for name in sorted((zip_name, deb_name)):
            with open(os.path.join(out, name), "rb") as f:
                sums.write(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")
    print(f"{out}: {zip_name}, {deb_name}, SHA256SUMS")


if __name__ == "__main__":
    main()
