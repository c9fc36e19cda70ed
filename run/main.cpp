// Korvex Cleaner: removes Korvex for Windows from this machine. Without
// arguments it reports every deletion, asks whether to restart and exits with
// 0; with arguments it takes switches in Windows Installer's style and exits
// with Windows Installer's codes (run/program.h).
#include "run/program.h"

int main() { return run::RunProgram(); }
