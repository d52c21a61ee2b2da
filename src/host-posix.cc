// On Linux there is no cmd.exe: this file stands in for it. "PAUSE" waits
// for one key, and each shutdown command line is carried out by the
// systemd tool that does the same thing here.
#include <errno.h>
#include <limits.h>
#include <poll.h>
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

// The signals that the pause takes care of. Each one first puts the
// terminal's modes back; the stop signals then stop the program, and it
// waits for its key again once it is continued; the others have their usual
// effect.
static const int kPauseSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU, SIGINT,
                                    SIGTERM, SIGHUP,  SIGQUIT};
static const size_t kPauseSignalCount =
    sizeof kPauseSignals / sizeof kPauseSignals[0];
static volatile sig_atomic_t caught[kPauseSignalCount];

static void note_signal(int sig) {
  for (size_t i = 0; i < kPauseSignalCount; i++)
    if (kPauseSignals[i] == sig) caught[i] = 1;
}

// The bytes of one key beyond its first arrive together; this long a gap
// means they have ended, so that a lone Esc does not hang.
static const int kKeyGapMs = 100;

// The next byte of the key being read, if one comes in time.
static bool next_byte(unsigned char* c) {
  struct pollfd in = {STDIN_FILENO, POLLIN, 0};
  return poll(&in, 1, kKeyGapMs) == 1 && read(STDIN_FILENO, c, 1) == 1;
}

// A key that sends several bytes is taken whole: an escape sequence (ESC,
// then "[" or "O" and the bytes up to its final one) or one UTF-8
// character. Anything typed after it stays queued for the choice; a byte
// that turns out not to belong to the key is handed back to stdin, which
// the choice is read from next.
static void take_rest_of_key(unsigned char first) {
  unsigned char c;
  if (first == 0x1b) {
    if (!next_byte(&c)) return;
    if (c != '[' && c != 'O') {
      std::ungetc(c, stdin);
      return;
    }
    const bool csi = c == '[';
    while (next_byte(&c)) {
      if (c >= 0x40 && c <= 0x7e) return;  // the final byte
      if (!csi || c < 0x20 || c > 0x3f) {  // not a parameter or intermediate
        std::ungetc(c, stdin);
        return;
      }
    }
  } else if (first >= 0xc2 && first <= 0xf4) {
    int continuation = first >= 0xf0 ? 3 : first >= 0xe0 ? 2 : 1;
    while (continuation-- > 0 && next_byte(&c)) {
      if ((c & 0xc0) != 0x80) {
        std::ungetc(c, stdin);
        return;
      }
    }
  }
}

static void show_pause_prompt() {
  std::fputs("Appuyez sur une touche pour continuer...", stdout);
  std::fflush(stdout);
}

// Waits on a terminal for one key, taken at once, without Enter and without
// echo; nothing typed after it is lost. `saved_modes` are the terminal's
// modes, put back whatever happens.
static void wait_for_key_on_terminal(const struct termios& saved_modes) {
  unsigned char key;
  struct termios key_modes = saved_modes;
  key_modes.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  key_modes.c_cc[VMIN] = 1;
  key_modes.c_cc[VTIME] = 0;

  // The signals are blocked except while waiting for the key, so that none
  // can slip in between setting the modes and waiting; they are noted, and
  // acted on once the modes are back.
  sigset_t pause_signals, outside;
  sigemptyset(&pause_signals);
  for (size_t i = 0; i < kPauseSignalCount; i++)
    sigaddset(&pause_signals, kPauseSignals[i]);
  sigprocmask(SIG_BLOCK, &pause_signals, &outside);
  struct sigaction note = {}, previous[kPauseSignalCount];
  note.sa_handler = note_signal;
  note.sa_mask = pause_signals;
  for (size_t i = 0; i < kPauseSignalCount; i++)
    sigaction(kPauseSignals[i], &note, &previous[i]);

  bool prompt_due = true;
  for (;;) {
    const pid_t owner = tcgetpgrp(STDIN_FILENO);
    bool interrupted;
    if (owner == -1 || owner == getpgrp()) {
      tcsetattr(STDIN_FILENO, TCSANOW, &key_modes);
      if (prompt_due) show_pause_prompt();
      prompt_due = false;
      struct pollfd in = {STDIN_FILENO, POLLIN, 0};
      const int ready = ppoll(&in, 1, nullptr, &outside);
      interrupted = ready < 0 && errno == EINTR;
      if (ready == 1 && read(STDIN_FILENO, &key, 1) == 1) take_rest_of_key(key);
      tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
    } else {
      // In the background the terminal is not ours to set. Reading is left
      // to the kernel: it stops the program with SIGTTIN, or fails where no
      // shell could ever continue it.
      sigprocmask(SIG_SETMASK, &outside, nullptr);
      interrupted = read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR;
      sigprocmask(SIG_BLOCK, &pause_signals, nullptr);
    }
    if (!interrupted) break;  // a key, the end of the input, or an error

    for (size_t i = 0; i < kPauseSignalCount; i++) {
      if (!caught[i]) continue;
      caught[i] = 0;
      // The signal as it would have been without the pause: it stops or
      // ends the program, or is ignored. After a stop, the wait goes on,
      // and the prompt is shown again below whatever the shell wrote.
      const int sig = kPauseSignals[i];
      sigaction(sig, &previous[i], nullptr);
      raise(sig);
      sigprocmask(SIG_SETMASK, &outside, nullptr);
      sigprocmask(SIG_BLOCK, &pause_signals, nullptr);
      sigaction(sig, &note, nullptr);
      const bool stop = sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
      if (stop && previous[i].sa_handler != SIG_IGN) prompt_due = true;
    }
  }

  for (size_t i = 0; i < kPauseSignalCount; i++)
    sigaction(kPauseSignals[i], &previous[i], nullptr);
  sigprocmask(SIG_SETMASK, &outside, nullptr);
}

// Waits for one key. From a pipe or a file exactly one byte is taken, and
// nothing at the end of the input.
static void pause_for_key() {
  struct termios saved_modes;
  if (tcgetattr(STDIN_FILENO, &saved_modes) == 0) {
    wait_for_key_on_terminal(saved_modes);
  } else {
    show_pause_prompt();
    unsigned char key;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
  }
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

// Runs one of the system's programs with these arguments, without a shell,
// and waits for it. The program is looked for on PATH as execvp() would, but
// only in folders named by an absolute path: an empty entry, "." or a
// relative folder would let a file in the current folder stand in for it.
// A program that cannot be started is reported on standard error, as a
// shell would.
static void spawn_and_wait(const char* const argv[]) {
  const char* path = std::getenv("PATH");
  char default_path[256];
  if (path == nullptr) {
    const size_t length = confstr(_CS_PATH, default_path, sizeof default_path);
    path = length > 0 && length <= sizeof default_path ? default_path : "";
  }

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  // As execvp(): a folder where the program is missing, or is there but
  // cannot be run, does not end the search; only when nothing was found
  // anywhere is "not found" the error.
  int err = ENOENT;
  bool denied = false;
  pid_t pid;
  for (const char* entry = path; err != 0 && *entry != '\0';) {
    const char* end = std::strchr(entry, ':');
    if (end == nullptr) end = entry + std::strlen(entry);
    const size_t folder = static_cast<size_t>(end - entry);
    char file[PATH_MAX];
    if (entry[0] == '/' && folder + 1 + std::strlen(argv[0]) < sizeof file) {
      std::memcpy(file, entry, folder);
      file[folder] = '/';
      std::strcpy(file + folder + 1, argv[0]);
      err = posix_spawn(&pid, file, nullptr, &attr,
                        const_cast<char* const*>(argv), environ);
      if (err == EACCES) denied = true;
      if (err == ENOENT || err == ENOTDIR || err == EACCES) err = ENOENT;
    }
    entry = *end == ':' ? end + 1 : end;
  }
  posix_spawnattr_destroy(&attr);
  if (err == ENOENT && denied) err = EACCES;
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
