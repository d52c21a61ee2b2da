// glimmeRQuay: a title screen, then a menu of four power commands.
#include <cstdint>
#include <cstdio>

#include "choice.h"
#include "host.h"

static void say(const char* text) { std::fputs(text, stdout); }

int main() {
  std::int32_t choice = 0;
  host_init();

  say("                                                \n");
  say("                                                \n");
  say("                    velmora quistadine          \n");
  say("                        presentent              \n");
  say("                                                \n");
  say("                                                \n");
  say("                       ____________             \n");
  say("                      |     ____    |           \n");
  say("                      |   ((    ))  |           \n");
  say("                      |   (( RQ ))  |           \n");
  say("                      |     ----    |           \n");
  say("                      | glimmeRQuay |           \n");
  say("                       -------------            \n\n\n\n\n");

  host_run("PAUSE");

  say("\n\n\n\n\n\n\n\n\n\n\n\n");
  say("choisissez une commande\n\n\n");
  say(" 1 eteindre PC \n");
  say(" 2 fermer session \n");
  say(" 3 redemarer PC \n");
  say(" 4 couper toutes applications \n\n\n");
  say(" >votre choix >");
  std::fflush(stdout);

  read_choice(stdin, &choice);

  switch (choice) {
    case 1:
      host_run("shutdown -s");
      break;
    case 2:
      host_run("shutdown -l");
      break;
    case 3:
      host_run("shutdown -r");
      break;
    case 4:
      host_run("shutdown -f");
      break;
    default:
      say(" syntax error !");
      break;
  }
  return 0;
}
