// Korvex Cleaner: removes Korvex for Windows from this machine. It takes no
// arguments and always exits with 0; the console report says what happened.
#include "run/cleaning_run.h"

int main() {
  run::CleaningRun();
  return 0;
}
