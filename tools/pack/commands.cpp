#include "commands.h"

#include <cstdio>

#include "cli.h"

namespace ferrolan::pack {
namespace {

constexpr const char* kUsage =
    "Usage: ferrolan-pack COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  keygen   create the RSA key pair that signs archives\n"
    "  archive  pack a folder into a signed, compressed archive (.p2.l2)\n"
    "  build    package a launcher from a JSON configuration\n"
    "  stamp    change the Params of a packaged launcher\n"
    "  inspect  show and verify what a packaged launcher carries\n"
    "  help     show this text\n"
    "\n"
    "Run \"ferrolan-pack COMMAND --help\" for the arguments of a command.\n"
    "Exit codes: 0 success, 1 failure, 2 bad arguments.\n";

}  // namespace

int ReportUsageError(const char* command, const std::string& message, const char* usage) {
  std::fprintf(stderr, "ferrolan-pack %s: %s\n\n%s", command, message.c_str(), usage);
  return kExitUsage;
}

int ReportFailure(const char* command, const std::string& message) {
  std::fprintf(stderr, "ferrolan-pack %s: %s\n", command, message.c_str());
  return kExitFailed;
}

int RunPack(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::fprintf(stderr, "ferrolan-pack: no command given\n\n%s", kUsage);
    return kExitUsage;
  }
  const std::string& command = args.front();
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "keygen") return RunKeygen(rest);
  if (command == "archive") return RunArchive(rest);
  if (command == "build") return RunBuild(rest);
  if (command == "stamp") return RunStamp(rest);
  if (command == "inspect") return RunInspect(rest);
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  std::fprintf(stderr, "ferrolan-pack: unknown command \"%s\"\n\n%s", command.c_str(), kUsage);
  return kExitUsage;
}

}  // namespace ferrolan::pack
