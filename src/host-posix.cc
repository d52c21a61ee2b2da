// On Linux there is no cmd.exe: this file stands in for it. "PAUSE" waits
// for one key, and each shutdown command line is carried out by the
// systemd tool that does the same thing here.
#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host.h"

extern char** environ;

void host_init() {
  // A reader that went away must not kill the program: writes then just
  // fail, and the exit status stays 0.
  signal(SIGPIPE, SIG_IGN);
}

// The terminal's modes as they were before the pause. A signal that ends
// the program during the pause puts them back first.
static struct termios saved_modes;
static const int kPauseSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
static const size_t kPauseSignalCount =
    sizeof kPauseSignals / sizeof kPauseSignals[0];

static void restore_and_reraise(int sig) {
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Waits for one key. On a terminal the key is taken at once, without Enter
// and without echo; a key such as an arrow sends several bytes, all of which
// are taken. From a pipe or a file exactly one byte is taken, and nothing at
// the end of the input.
static void pause_for_key() {
  const bool terminal = tcgetattr(STDIN_FILENO, &saved_modes) == 0;
  struct sigaction previous[kPauseSignalCount];
  if (terminal) {
    struct sigaction restore = {};
    restore.sa_handler = restore_and_reraise;
    sigemptyset(&restore.sa_mask);
    for (size_t i = 0; i < kPauseSignalCount; i++)
      sigaction(kPauseSignals[i], &restore, &previous[i]);

    struct termios raw = saved_modes;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }

  std::fputs("Appuyez sur une touche pour continuer...", stdout);
  std::fflush(stdout);
  char key[16];
  while (read(STDIN_FILENO, key, terminal ? sizeof key : 1) < 0 &&
         errno == EINTR) {
  }

  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
    for (size_t i = 0; i < kPauseSignalCount; i++)
      sigaction(kPauseSignals[i], &previous[i], nullptr);
  }
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

// Runs a program found on PATH with these arguments, without a shell, and
// waits for it. A program that cannot be started is reported on standard
// error, as a shell would.
static void spawn_and_wait(const char* const argv[]) {
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  pid_t pid;
  int err = posix_spawnp(&pid, argv[0], nullptr, &attr,
                         const_cast<char* const*>(argv), environ);
  posix_spawnattr_destroy(&attr);
  if (err != 0) {
    std::fprintf(stderr, "glimmerquay: %s: %s\n", argv[0], std::strerror(err));
    return;
  }
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

void host_run(const char* command_line) {
  std::fflush(stdout);

  // Logging off and killing act on this login's session; without one, on
  // all of the user's sessions.
  const char* session = std::getenv("XDG_SESSION_ID");
  const bool in_session = session != nullptr && *session != '\0';
  char uid[24];
  std::snprintf(uid, sizeof uid, "%lu", static_cast<unsigned long>(getuid()));
  const char* who = in_session ? session : uid;

  if (std::strcmp(command_line, "PAUSE") == 0) {
    pause_for_key();
  } else if (std::strcmp(command_line, "shutdown -s") == 0) {
    const char* argv[] = {"systemctl", "poweroff", nullptr};
    spawn_and_wait(argv);
  } else if (std::strcmp(command_line, "shutdown -r") == 0) {
    const char* argv[] = {"systemctl", "reboot", nullptr};
    spawn_and_wait(argv);
  } else if (std::strcmp(command_line, "shutdown -l") == 0) {
    const char* argv[] = {"loginctl",
                          in_session ? "terminate-session" : "terminate-user",
                          who, nullptr};
    spawn_and_wait(argv);
  } else if (std::strcmp(command_line, "shutdown -f") == 0) {
    const char* argv[] = {"loginctl", in_session ? "kill-session" : "kill-user",
                          "--signal=SIGKILL", who, nullptr};
    spawn_and_wait(argv);
  } else {
    std::fprintf(stderr, "glimmerquay: %s: not a known command line\n",
                 command_line);
  }
}
