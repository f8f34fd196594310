// ferrolan-pack: the packager that vendors run at build time.
#include <string>
#include <vector>

#include "pack/commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return ferrolan::pack::RunPack(args);
}
