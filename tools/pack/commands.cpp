#include "pack/commands.h"

#include <cstdio>

#include "pack/archive/archive_command.h"
#include "pack/archive/keygen_command.h"
#include "pack/cli/cli.h"
#include "pack/cli/usage.h"
#include "pack/packaged/inspect_command.h"
#include "pack/packaged/sign_command.h"
#include "pack/packaged/stamp_command.h"
#include "pack/release/build_command.h"
#include "pack/release/publish_command.h"

namespace ferrolan::pack {

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
  if (command == "publish") return RunPublish(rest);
  if (command == "stamp") return RunStamp(rest);
  if (command == "inspect") return RunInspect(rest);
  if (command == "sign") return RunSign(rest);
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  std::fprintf(stderr, "ferrolan-pack: unknown command \"%s\"\n\n%s", command.c_str(), kUsage);
  return kExitUsage;
}

}  // namespace ferrolan::pack
