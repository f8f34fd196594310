// inspect: shows what a packaged launcher carries and checks every archive's signature.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "payload_reader.h"
#include "usage.h"

namespace ferrolan::pack {
namespace {

const char* TypeName(long type) {
  switch (type) {
    case 0:
      return "file";
    case 1:
      return "folder";
    case 2:
      return "pack200";
    default:
      return "file?";
  }
}

// Long values (the public key, a base64 splash image) are shortened to one line.
std::string Shown(const std::string& value) {
  if (value.size() <= 100) return "\"" + value + "\"";
  return "\"" + value.substr(0, 60) + "...\" (" + std::to_string(value.size()) + " bytes)";
}

}  // namespace

int RunInspect(const std::vector<std::string>& args) {
  int exitCode = kExitUsage;
  std::optional<CommandLine> parsed = ParseCommandArguments(args, std::span<const OptionDef>(),
                                                            "inspect", kInspectUsage, &exitCode);
  if (!parsed) return exitCode;
  const CommandLine& line = *parsed;
  if (line.positionals.size() != 1) {
    return ReportUsageError("inspect",
                            line.positionals.empty() ? "missing LAUNCHER" : "give one LAUNCHER",
                            kInspectUsage);
  }
  const std::string path = line.positionals[0];
  std::string error;
  std::optional<LauncherContents> contents = ReadLauncherContents(path, &error);
  if (!contents) return ReportFailure("inspect", error);

  std::printf("%s: %llu bytes, launcher image %llu bytes\n", path.c_str(),
              static_cast<unsigned long long>(contents->fileSize),
              static_cast<unsigned long long>(contents->tailMarkerOffset));
  std::printf("\nWrapper tail (marker at %llu):\n",
              static_cast<unsigned long long>(contents->tailMarkerOffset));
  for (const tail::TailFieldDescription& field : tail::kTailFieldLayout) {
    std::printf("  %-22s %s\n", field.label, Shown(contents->fields.*field.member).c_str());
  }

  std::unique_ptr<archive::PublicKey> key = ImportTailKey(contents->fields.publicKey);
  bool allOk = true;
  if (!contents->fields.publicKey.empty() && !key) {
    std::printf("  The public key cannot be imported: the launcher would refuse signed archives\n");
    allOk = false;
  }

  std::printf("\nEntries (%zu):\n", contents->entries.size());
  int archives = 0;
  for (std::size_t i = 0; i < contents->entries.size(); ++i) {
    const TailEntryInfo& entry = contents->entries[i];
    std::printf("  %2zu  %-7s %12lld  %s\n", i + 1, TypeName(entry.type),
                static_cast<long long>(entry.length), entry.path.c_str());
    if (entry.type != 1 && entry.path.ends_with("p2.l2") && entry.length > 0) {
      ++archives;
      ArchiveCheck check = CheckCarriedArchive(path, entry.contentOffset,
                                               static_cast<std::uint64_t>(entry.length), key.get());
      std::printf("      %s: %s\n", check.ok ? "ok" : "FAILED", check.message.c_str());
      allOk = allOk && check.ok;
    }
  }
  if (contents->params.markerOffset > contents->entriesEnd) {
    std::printf(
        "  (%llu bytes between the entries and the Params marker)\n",
        static_cast<unsigned long long>(contents->params.markerOffset - contents->entriesEnd));
  }

  std::printf("\nParams (%zu, marker at %llu):\n", contents->params.params.size(),
              static_cast<unsigned long long>(contents->params.markerOffset));
  for (const auto& [name, value] : contents->params.params) {
    std::printf("  %s = %s\n", name.c_str(), Shown(value).c_str());
  }
  std::printf("\n%s: %d archive%s checked\n", allOk ? "OK" : "FAILED", archives,
              archives == 1 ? "" : "s");
  return allOk ? kExitOk : kExitFailed;
}

}  // namespace ferrolan::pack
