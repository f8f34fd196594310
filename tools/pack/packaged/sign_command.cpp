// sign: Authenticode for a packaged Windows launcher, with its Params moved into the signature.
#include "pack/packaged/sign_command.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/authenticode.h"
#include "pack/format/payload_reader.h"
#include "pack/format/pe_file.h"
#include "pack/format/signed_launcher.h"
#include "pack/support/file_remover.h"

namespace ferrolan::pack {
namespace {

// The first lines of the signing tool's output that say what went wrong.
std::string ToolProblem(const SigningToolRun& run) {
  std::string text = run.output;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.size() > 600) text = text.substr(0, 600) + "...";
  return text.empty() ? "exit code " + std::to_string(run.exitCode) : text;
}

}  // namespace

int RunSign(const std::vector<std::string>& args) {
  int exitCode = kExitUsage;
  std::optional<CommandLine> parsed =
      ParseCommandArguments(args, kSignOptions, "sign", kSignUsage, &exitCode);
  if (!parsed) return exitCode;
  const CommandLine& line = *parsed;
  if (line.positionals.size() != 1) {
    return ReportUsageError(
        "sign", line.positionals.empty() ? "missing LAUNCHER" : "give one LAUNCHER", kSignUsage);
  }
  if (!line.Has("--cert") || !line.Has("--key")) {
    return ReportUsageError("sign", "give --cert and --key", kSignUsage);
  }
  const std::string launcher = line.positionals[0];
  const std::string output = line.Value("--output", launcher);

  switch (ExecutableKindOf(launcher)) {
    case ExecutableKind::kElf:
      return ReportFailure("sign", launcher +
                                       " is a Linux (ELF) launcher: Authenticode signing applies "
                                       "to Windows launchers only");
    case ExecutableKind::kOther:
      return ReportFailure("sign", launcher + " is not a Windows (PE) launcher");
    case ExecutableKind::kPe:
      break;
  }
  std::string error;
  if (!CanHandleSignatures(&error)) return ReportFailure("sign", error);
  std::optional<LauncherContents> contents = ReadLauncherContents(launcher, &error);
  if (!contents) return ReportFailure("sign", error);
  std::optional<PeLayout> layout = ReadPeLayout(launcher, &error);
  if (!layout) return ReportFailure("sign", error);

  // The payload ends with the last tail entry: the Params section appended after it, and any
  // earlier signature, are left out of what is signed.
  FileRemover unsigned_(output + ".unsigned.partial");
  FileRemover signed_(output + ".signed.partial");
  if (!WriteWithoutCertificateTable(launcher, *layout, contents->entriesEnd, unsigned_.path(),
                                    &error)) {
    return ReportFailure("sign", error);
  }
  std::vector<std::string> tool = {
      "sign", "-h", "sha256", "-certs", line.Value("--cert"), "-key", line.Value("--key")};
  if (line.Has("--timestamp")) {
    tool.insert(tool.end(), {"-ts", line.Value("--timestamp")});
  }
  tool.insert(tool.end(), {"-in", unsigned_.path(), "-out", signed_.path()});
  std::error_code ignored;
  std::filesystem::remove(signed_.path(), ignored);
  SigningToolRun run = RunSigningTool(tool);
  if (run.exitCode != 0) {
    return ReportFailure("sign", run.exitCode < 0
                                     ? "osslsigncode cannot be started: " + ToolProblem(run)
                                     : "osslsigncode failed: " + ToolProblem(run));
  }
  std::optional<LauncherSignature> signature = ReadLauncherSignature(signed_.path(), &error);
  if (!signature ||
      !WriteSignedParams(signed_.path(), *signature, contents->params.params, output, &error)) {
    return ReportFailure("sign", error);
  }
  // The signing tool writes a plain file; the launcher keeps the permissions it had.
  std::filesystem::permissions(output, std::filesystem::status(launcher, ignored).permissions(),
                               std::filesystem::perm_options::replace, ignored);
  std::printf("Signed %s by %s; %zu Params carried in the signature\n", output.c_str(),
              signature->info.signerSubject.c_str(), contents->params.params.size());
  return kExitOk;
}

}  // namespace ferrolan::pack
