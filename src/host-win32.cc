// On Windows the command interpreter is the real one: each command line goes
// to it through system().
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"

// cmd.exe looks for a program in the current folder before it looks on PATH.
// Started from Explorer, that folder is wherever the exe was saved, often
// Downloads, where anything named shutdown.bat, .cmd, .exe or .com would run
// in place of the system's own command. So the system folder is made the
// current one before any command line runs; this program opens no files, so
// nothing else depends on it.
static bool in_system_folder = false;

void host_init() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  in_system_folder =
      length > 0 && length < MAX_PATH && SetCurrentDirectoryW(folder);
}

void host_run(const char* command_line) {
  std::fflush(stdout);
  // PAUSE is built into cmd.exe and safe anywhere. A power command is only
  // handed over from the system folder: from anywhere else it could reach
  // a planted program.
  if (!in_system_folder && std::strcmp(command_line, "PAUSE") != 0) {
    std::fprintf(stderr,
                 "glimmerquay: %s: not run: the system folder could not be "
                 "made the current folder\n",
                 command_line);
    return;
  }
  static_cast<void>(std::system(command_line));
}
