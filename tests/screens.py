"""What the program writes, byte for byte, and stub commands that stand in
for the real power commands in every test."""

import os
import stat
import tempfile

BANNER = (
    b"                                                \n"
    b"                                                \n"
    b"                    velmora quistadine          \n"
    b"                        presentent              \n"
    b"                                                \n"
    b"                                                \n"
    b"                       ____________             \n"
    b"                      |     ____    |           \n"
    b"                      |   ((    ))  |           \n"
    b"                      |   (( RQ ))  |           \n"
    b"                      |     ----    |           \n"
    b"                      | glimmeRQuay |           \n"
    b"                       -------------            \n\n\n\n\n"
)

MENU = (
    b"\n\n\n\n\n\n\n\n\n\n\n\n"
    b"choisissez une commande\n\n\n"
    b" 1 eteindre PC \n"
    b" 2 fermer session \n"
    b" 3 redemarer PC \n"
    b" 4 couper toutes applications \n\n\n"
    b" >votre choix >"
)

SYNTAX_ERROR = b" syntax error !"

# The Linux build's own pause, as it appears before a key and after it.
PAUSE_PROMPT = b"Appuyez sur une touche pour continuer..."
PAUSE = PAUSE_PROMPT + b"\n"

PROGRAM = os.environ.get("GLIMMERQUAY", "build/native/glimmerquay")

# Each stub writes "[name arg ...]" to its standard output (which it shares
# with the program, so the marker also shows that the program had flushed
# its own output first) and appends the same line to $STUB_LOG. Only shell
# built-ins are used: the PATH the program sees holds the stubs and nothing
# else, so no real command can ever be reached.
STUB = """#!/bin/sh
line="[%s"
for arg in "$@"; do line="$line $arg"; done
line="$line]"
printf '%%s\\n' "$line" >> "$STUB_LOG"
printf '%%s\\n' "$line"
"""


def write_stub(path, label=None):
    """A stub that marks its calls with `label` (by default, its name)."""
    with open(path, "w") as f:
        f.write(STUB % (label or "${0##*/}"))
    os.chmod(path, stat.S_IRWXU)


def marker(*argv):
    return ("[" + " ".join(argv) + "]\n").encode()


class StubDir:
    """A folder with the stub commands, to be the whole of PATH."""

    def __init__(self, names=("systemctl", "loginctl")):
        self._tmp = tempfile.TemporaryDirectory(prefix="glimmerquay-stubs-")
        self.path = self._tmp.name
        self.log = os.path.join(self.path, "calls.log")
        for name in names:
            write_stub(os.path.join(self.path, name))

    def env(self, **extra):
        env = {"PATH": self.path, "STUB_LOG": self.log}
        env.update(extra)
        return env

    def calls(self):
        try:
            with open(self.log, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def clear(self):
        if os.path.exists(self.log):
            os.remove(self.log)

    def close(self):
        self._tmp.cleanup()
