// Process entry. On Windows this is a GUI-subsystem program that still receives the ordinary
// argc/argv from the C runtime.
#include "launcher/entry.h"

int main(int argc, char** argv) {
  ferrolan::launcher::EndRun(ferrolan::launcher::LauncherMain(argc, argv));
}
