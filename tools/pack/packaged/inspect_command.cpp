// inspect: shows what a packaged launcher carries and checks every archive's signature.
#include "pack/packaged/inspect_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "fs/owned_file.h"
#include "launch/launch_sequence.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/launch_file_writer.h"
#include "pack/format/payload_reader.h"
#include "pack/format/pe_file.h"
#include "pack/format/signed_launcher.h"
#include "pack/support/file_remover.h"
#include "pack/support/quiet_log.h"
#include "tail/payload_layout.h"

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

std::string Joined(const std::vector<std::string>& items) {
  if (items.empty()) return "(none)";
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + Shown(item);
  return text;
}

// Shows the launch file of a carried folder (the updater's or the application's) and whether it
// carries the icon. The archive is extracted into a temporary folder, removed afterwards: the
// launch file is read with the launcher's own reader, so what is shown is what it will run.
void ShowLaunchSettings(const std::string& path, const TailEntryInfo& entry,
                        const archive::PublicKey* key, const char* title) {
  namespace stdfs = std::filesystem;
  std::error_code ignored;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  FolderRemover folder(
      (stdfs::temp_directory_path(ignored) / ("ferrolan-inspect-" + std::to_string(stamp)))
          .string());
  std::string error;
  if (!MakeFreshFolder(folder.path()) ||
      !ExtractCarriedArchive(path, entry.contentOffset, static_cast<std::uint64_t>(entry.length),
                             key, folder.path(), &error)) {
    std::printf("\n%s: cannot be extracted to show it (%s)\n", title, error.c_str());
    return;
  }
  const stdfs::path root(folder.path());
  std::printf("\n%s:\n", title);
  fs::OwnedFile file = fs::OpenFile((root / launch::kLaunchFileName).string(), "rb");
  if (!file) {
    std::printf("  no %s: the launcher cannot start it\n", launch::kLaunchFileName);
  } else {
    launch::LaunchFile launch;
    {
      QuietLog quiet;  // the reader logs every field; inspect's output shows them once, below
      launch = launch::ReadLaunchFile(file.get());
    }
    std::printf("  %-16s %d\n", "launch file", launch.version);
    std::printf("  %-16s %s\n", "main class", Shown(launch.mainClass).c_str());
    std::printf("  %-16s %s\n", "name", Shown(launch.appName).c_str());
    std::printf("  %-16s %s\n", "classpath", Joined(launch.classpath).c_str());
    std::printf("  %-16s %s\n", "JVM options", Joined(launch.appJvmOptions).c_str());
    std::printf("  %-16s %s\n", "arguments", Joined(launch.extraArguments).c_str());
    std::printf("  %-16s max %d MiB, initial %d MiB (0: the JVM's default)\n", "heap",
                launch.jvmMem, launch.jvmStack);
    if (launch.version >= 6)
      std::printf("  %-16s %s\n", "own JVM",
                  launch.mustFork != 0 ? "yes" : "no (shares the updater's when settings match)");
  }
  const bool png = stdfs::is_regular_file(root / kIconPngName, ignored);
  const bool ico = stdfs::is_regular_file(root / kIconIcoName, ignored);
  std::printf("  %-16s %s\n", "icon",
              png && ico ? "FerrolanIcon.png and FerrolanIcon.ico"
              : png      ? "FerrolanIcon.png only"
              : ico      ? "FerrolanIcon.ico only"
                         : "none");
}

// The lines of the signing tool's verification output that say why it failed.
std::string VerifyProblem(const SigningToolRun& run) {
  if (run.exitCode < 0) return "osslsigncode cannot be started";
  std::string reasons;
  std::size_t start = 0;
  while (start < run.output.size()) {
    std::size_t end = run.output.find('\n', start);
    if (end == std::string::npos) end = run.output.size();
    std::string lineText = run.output.substr(start, end - start);
    start = end + 1;
    while (!lineText.empty() && (lineText.front() == ' ' || lineText.front() == '\t'))
      lineText.erase(0, 1);
    const bool telling = lineText.find("arning") != std::string::npos ||
                         lineText.find("rror") != std::string::npos ||
                         lineText.find("ailed") != std::string::npos ||
                         lineText.find("MISMATCH") != std::string::npos ||
                         lineText.find("No signature") != std::string::npos;
    if (telling && lineText != "Failed") reasons += (reasons.empty() ? "" : "; ") + lineText;
  }
  return reasons.empty() ? "osslsigncode verify exited with " + std::to_string(run.exitCode)
                         : reasons;
}

// Shows the launcher's Authenticode signature: none (with why), or its signer, whether it
// verifies and where the Params lie. False when a signature is there and does not verify.
bool ShowSignature(const std::string& path, const ParamsSection& params, const std::string& ca) {
  std::printf("\nSignature:\n");
  const ExecutableKind kind = ExecutableKindOf(path);
  if (kind != ExecutableKind::kPe) {
    std::printf("  none (%s)\n", kind == ExecutableKind::kElf
                                     ? "a Linux launcher carries no Authenticode signature"
                                     : "not a Windows executable");
    std::printf("  Params marker at %llu, appended after the payload\n",
                static_cast<unsigned long long>(params.markerOffset));
    return true;
  }
  std::string error;
  std::optional<PeLayout> layout = ReadPeLayout(path, &error);
  if (!layout) {
    std::printf("  cannot be read: %s\n", error.c_str());
    return false;
  }
  const ParamsPlace place = PlaceOfParams(*layout, params.markerOffset);
  if (!layout->signedFile()) {
    std::printf("  unsigned\n  Params marker at %llu, %s\n",
                static_cast<unsigned long long>(params.markerOffset), DescribePlace(place));
    return true;
  }
  std::printf("  certificate table at %u, %u bytes\n", layout->certificateTableOffset,
              layout->certificateTableSize);
  std::printf("  Params marker at %llu, %s\n", static_cast<unsigned long long>(params.markerOffset),
              DescribePlace(place));
  if (!CanHandleSignatures(&error)) {
    std::printf("  signed; not checked: %s\n", error.c_str());
    return true;
  }
  std::optional<LauncherSignature> signature = ReadLauncherSignature(path, &error);
  std::printf("  signed by  %s\n",
              signature ? signature->info.signerSubject.c_str() : ("? (" + error + ")").c_str());
  std::vector<std::string> tool = {"verify", "-in", path};
  if (!ca.empty()) tool.insert(tool.end(), {"-CAfile", ca});
  const SigningToolRun run = RunSigningTool(tool);
  const bool verifies = run.exitCode == 0 && place != ParamsPlace::kAfterSignature;
  if (verifies) {
    std::printf("  verifies   yes (osslsigncode verify)\n");
  } else {
    std::string reason = run.exitCode == 0 ? std::string() : VerifyProblem(run);
    if (place == ParamsPlace::kAfterSignature) {
      reason = "Params appended after the signature" + (reason.empty() ? "" : "; " + reason);
    }
    std::printf("  not verifying: %s\n", reason.c_str());
  }
  return verifies;
}

}  // namespace

int RunInspect(const std::vector<std::string>& args) {
  int exitCode = kExitUsage;
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kInspectOptions, "inspect", kInspectUsage, &exitCode);
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
  // The folders whose launch settings are shown once every entry is listed.
  const std::string updaterArchive =
      tail::TailEntryName(tail::TailEntry::kUpdaterArchive, contents->fields, {});
  const std::string appArchive =
      tail::TailEntryName(tail::TailEntry::kAppArchive, contents->fields, {});
  std::vector<std::pair<const TailEntryInfo*, const char*>> shown;
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
      if (check.ok && entry.path == updaterArchive) shown.emplace_back(&entry, "Updater launch");
      if (check.ok && !contents->fields.appVersion.empty() && entry.path == appArchive)
        shown.emplace_back(&entry, "Application launch");
    }
  }
  if (contents->params.markerOffset > contents->entriesEnd) {
    std::printf(
        "  (%llu bytes between the entries and the Params marker)\n",
        static_cast<unsigned long long>(contents->params.markerOffset - contents->entriesEnd));
  }

  for (const auto& [entry, title] : shown) ShowLaunchSettings(path, *entry, key.get(), title);

  std::printf("\nParams (%zu, marker at %llu):\n", contents->params.params.size(),
              static_cast<unsigned long long>(contents->params.markerOffset));
  for (const auto& [name, value] : contents->params.params) {
    std::printf("  %s = %s\n", name.c_str(), Shown(value).c_str());
  }
  const bool signatureOk = ShowSignature(path, contents->params, line.Value("--ca"));
  allOk = allOk && signatureOk;
  std::printf("\n%s: %d archive%s checked\n", allOk ? "OK" : "FAILED", archives,
              archives == 1 ? "" : "s");
  return allOk ? kExitOk : kExitFailed;
}

}  // namespace ferrolan::pack
