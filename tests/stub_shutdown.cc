// Stands in for shutdown.exe in the Wine tests, so that no test can reach
// a real one. It writes "[<label> <arguments>]" and appends the same line to
// the file that STUB_LOG names. The label tells the system's own folder's
// copy ("shutdown") from one planted anywhere else ("planted").
#include <cstdio>
#include <cstdlib>

static void put_line(std::FILE* out, int argc, char** argv) {
  std::fputs("[" STUB_LABEL, out);
  for (int i = 1; i < argc; i++) std::fprintf(out, " %s", argv[i]);
  std::fputs("]\n", out);
}

int main(int argc, char** argv) {
  put_line(stdout, argc, argv);
  const char* log = std::getenv("STUB_LOG");
  if (log != nullptr) {
    if (std::FILE* f = std::fopen(log, "a")) {
      put_line(f, argc, argv);
      std::fclose(f);
    }
  }
  return 0;
}
