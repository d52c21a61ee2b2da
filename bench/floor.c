/* The floor for the benchmark: the least a C program can do to make the
   same writes and reads as one run of glimmerquay that is answered with a
   key and then 5 (no command). */
#include <stdio.h>
#include <unistd.h>

int main(void) {
  long choice = 0;
  char key;
  fputs("                                                \n", stdout);
  fputs("                                                \n", stdout);
  fputs("                    velmora quistadine          \n", stdout);
  fputs("                        presentent              \n", stdout);
  fputs("                                                \n", stdout);
  fputs("                                                \n", stdout);
  fputs("                       ____________             \n", stdout);
  fputs("                      |     ____    |           \n", stdout);
  fputs("                      |   ((    ))  |           \n", stdout);
  fputs("                      |   (( RQ ))  |           \n", stdout);
  fputs("                      |     ----    |           \n", stdout);
  fputs("                      | glimmeRQuay |           \n", stdout);
  fputs("                       -------------            \n\n\n\n\n", stdout);
  fputs("Appuyez sur une touche pour continuer...", stdout);
  fflush(stdout);
  if (read(0, &key, 1) < 0) return 1;
  fputs("\n", stdout);
  fputs("\n\n\n\n\n\n\n\n\n\n\n\n", stdout);
  fputs("choisissez une commande\n\n\n", stdout);
  fputs(" 1 eteindre PC \n", stdout);
  fputs(" 2 fermer session \n", stdout);
  fputs(" 3 redemarer PC \n", stdout);
  fputs(" 4 couper toutes applications \n\n\n", stdout);
  fputs(" >votre choix >", stdout);
  fflush(stdout);
  if (scanf("%ld", &choice) == 1 && choice >= 1 && choice <= 4) return 1;
  fputs(" syntax error !", stdout);
  return 0;
}
