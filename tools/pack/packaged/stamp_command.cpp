// stamp: rewrites the Params section of a packaged launcher and nothing else.
#include "pack/packaged/stamp_command.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fs/owned_file.h"
#include "pack/cli/cli.h"
#include "pack/cli/command_report.h"
#include "pack/cli/usage.h"
#include "pack/format/payload_reader.h"
#include "pack/format/payload_writer.h"
#include "pack/format/pe_file.h"
#include "pack/format/signed_launcher.h"

namespace ferrolan::pack {
namespace {

namespace stdfs = std::filesystem;
struct Change {
  bool set = false;
  std::string name;
  std::string value;
};

// Copies [from, to) of `in` to `out`; false on any short read or write.
bool CopyRange(std::FILE* in, std::FILE* out, std::uint64_t count) {
  std::vector<char> buffer(1 << 16);
  while (count > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), count));
    std::size_t got = std::fread(buffer.data(), 1, want, in);
    if (got == 0 || std::fwrite(buffer.data(), 1, got, out) != got) return false;
    count -= got;
  }
  return true;
}

// Reads and drops `count` bytes of `in`.
bool SkipBytes(std::FILE* in, std::uint64_t count) {
  std::vector<char> buffer(1 << 16);
  while (count > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), count));
    std::size_t got = std::fread(buffer.data(), 1, want, in);
    if (got == 0) return false;
    count -= got;
  }
  return true;
}

// What the command line asks for.
struct StampRequest {
  std::string launcher;
  std::string output;  // the launcher itself unless -o was given
  std::vector<Change> changes;
};

// Takes one option that has a value into the request. A problem is returned as its message.
std::string TakeOption(const std::string& option, const std::string& value, StampRequest& request) {
  if (option == "--set") {
    std::size_t eq = value.find('=');
    if (eq == std::string::npos || eq == 0) return "--set needs NAME=VALUE, got \"" + value + "\"";
    request.changes.push_back({true, value.substr(0, eq), value.substr(eq + 1)});
  } else if (option == "--unset") {
    if (value.empty()) return "--unset needs a NAME";
    request.changes.push_back({false, value, {}});
  } else {
    if (!request.output.empty()) return "-o given twice";
    request.output = value;
  }
  return {};
}

// Reads the command line. The options repeat, which the shared parser refuses, so they are read
// here. None when the command ends here: `*exitCode` then says how (help was shown, or a usage
// error was reported).
std::optional<StampRequest> ParseStampArguments(const std::vector<std::string>& args,
                                                int* exitCode) {
  StampRequest request;
  std::vector<std::string> positionals;
  *exitCode = kExitUsage;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kStampUsage, stdout);
      *exitCode = kExitOk;
      return std::nullopt;
    }
    std::string option = arg;
    std::optional<std::string> value;
    if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
      option = arg.substr(0, arg.find('='));
      value = arg.substr(arg.find('=') + 1);
    }
    std::string problem;
    if (option == "--set" || option == "--unset" || option == "-o" || option == "--output") {
      if (!value && i + 1 < args.size()) value = args[++i];
      problem = value ? TakeOption(option, *value, request) : option + " needs a value";
    } else if (arg.size() > 1 && arg[0] == '-') {
      problem = "unknown option " + option;
    } else {
      positionals.push_back(arg);
    }
    if (!problem.empty()) {
      ReportUsageError("stamp", problem, kStampUsage);
      return std::nullopt;
    }
  }
  std::string problem;
  if (positionals.empty()) problem = "missing LAUNCHER";
  if (positionals.size() > 1) problem = "unexpected argument \"" + positionals[1] + "\"";
  if (problem.empty() && request.changes.empty()) problem = "nothing to do: give --set or --unset";
  if (!problem.empty()) {
    ReportUsageError("stamp", problem, kStampUsage);
    return std::nullopt;
  }
  request.launcher = positionals[0];
  if (request.output.empty()) request.output = request.launcher;
  return request;
}

// Applies the changes in the order given. A Param the launcher could not read is returned as a
// problem message; `params` is then partly changed and must not be used.
std::string ApplyChanges(const std::vector<Change>& changes, std::vector<Param>& params) {
  auto named = [](const std::string& name) {
    return [&name](const Param& p) { return p.first == name; };
  };
  for (const Change& change : changes) {
    auto it = std::find_if(params.begin(), params.end(), named(change.name));
    if (!change.set) {
      if (it == params.end()) {
        std::fprintf(stderr, "ferrolan-pack stamp: note: \"%s\" was not set\n",
                     change.name.c_str());
        continue;
      }
      // Every pair of that name goes: a launcher applies them all, the last one winning.
      params.erase(std::remove_if(params.begin(), params.end(), named(change.name)), params.end());
      continue;
    }
    Param param{change.name, change.value};
    std::string problem = CheckParam(param);
    if (!problem.empty()) return problem;
    if (it == params.end()) {
      params.push_back(std::move(param));
    } else {
      it->second = change.value;
      // Later duplicates would override the new value in the launcher; drop them.
      params.erase(std::remove_if(it + 1, params.end(), named(change.name)), params.end());
    }
  }
  return {};
}

// The new file: the bytes up to the section unchanged, the new count and pairs, then whatever
// followed the old pairs. It is written beside the output and renamed into place, so a failure
// leaves the output as it was.
int WriteStampedFile(const StampRequest& request, const ParamsSection& section,
                     const std::vector<Param>& params) {
  const std::string& launcher = request.launcher;
  std::error_code fsError;
  std::uint64_t size = stdfs::file_size(launcher, fsError);
  if (fsError) return ReportFailure("stamp", "cannot read " + launcher);
  const std::string partial = request.output + ".partial";
  bool ok = false;
  {
    fs::OwnedFile in = fs::OpenFile(launcher, "rb");
    fs::OwnedFile out = fs::OpenFile(partial, "wb");
    if (in && out) {
      std::string encoded = EncodeParamsSection(params);
      // The old pairs are read past rather than skipped with fseek, whose offsets do not
      // reach beyond 2 GiB on every C runtime.
      ok = CopyRange(in.get(), out.get(), section.start) &&
           std::fwrite(encoded.data(), 1, encoded.size(), out.get()) == encoded.size() &&
           SkipBytes(in.get(), section.end - section.start) &&
           CopyRange(in.get(), out.get(), size - section.end);
      ok = (std::fclose(out.release()) == 0) && ok;
    }
  }
  if (!ok) {
    stdfs::remove(partial, fsError);
    return ReportFailure("stamp", "cannot write " + partial);
  }
  stdfs::permissions(partial, stdfs::status(launcher, fsError).permissions(),
                     stdfs::perm_options::replace, fsError);
  stdfs::rename(partial, request.output, fsError);
  if (fsError) {
    stdfs::remove(partial, fsError);
    return ReportFailure("stamp", "cannot replace " + request.output);
  }
  return kExitOk;
}

void PrintParams(const std::string& output, const std::vector<Param>& params,
                 std::size_t previousCount) {
  std::printf("Stamped %s: %zu Params (was %zu)\n", output.c_str(), params.size(), previousCount);
  for (const auto& [name, value] : params) {
    std::printf("  %s = %s\n", name.c_str(),
                value.size() > 100 ? (value.substr(0, 99) + "...").c_str() : value.c_str());
  }
}

// Stamps a signed launcher: the Params go into the signature's Params attribute, and the signed
// image stays as it is. Params that a launcher would read from the signed range cannot be
// changed without signing again; Params appended after the signature (which make verifiers
// refuse the file) are taken over into the signature and left out.
int StampSigned(const StampRequest& request, const PeLayout& layout, const ParamsSection& section,
                const std::vector<Param>& params) {
  const ParamsPlace place = PlaceOfParams(layout, section.markerOffset);
  if (place == ParamsPlace::kInsideSignedRange) {
    return ReportFailure("stamp", request.launcher +
                                      ": its Params lie inside the signed range, where no stamp "
                                      "can change them; sign it with \"ferrolan-pack sign\", "
                                      "which moves them into the signature");
  }
  std::string error;
  std::optional<LauncherSignature> signature = ReadLauncherSignature(request.launcher, &error);
  if (!signature) return ReportFailure("stamp", error);
  if (!WriteSignedParams(request.launcher, *signature, params, request.output, &error)) {
    return ReportFailure("stamp", error);
  }
  if (place == ParamsPlace::kAfterSignature) {
    std::fprintf(stderr,
                 "ferrolan-pack stamp: note: the Params appended after the signature were moved "
                 "into it\n");
  }
  // What a launcher will read: the first Params section of the new file, inside the signature.
  std::optional<ParamsSection> written = ReadParamsSection(request.output, &error);
  std::optional<PeLayout> writtenLayout = ReadPeLayout(request.output, &error);
  if (!written || !writtenLayout || written->params != params ||
      PlaceOfParams(*writtenLayout, written->markerOffset) != ParamsPlace::kInsideSignature) {
    return ReportFailure(
        "stamp", request.output + ": the stamped Params are not the first a launcher finds");
  }
  return kExitOk;
}

}  // namespace

int RunStamp(const std::vector<std::string>& args) {
  int exitCode = kExitOk;
  std::optional<StampRequest> request = ParseStampArguments(args, &exitCode);
  if (!request) return exitCode;
  std::string error;
  std::optional<ParamsSection> section = ReadParamsSection(request->launcher, &error);
  if (!section) return ReportFailure("stamp", error);
  std::vector<Param> params = section->params;
  std::string problem = ApplyChanges(request->changes, params);
  if (!problem.empty()) return ReportUsageError("stamp", problem, kStampUsage);
  std::optional<PeLayout> layout;
  if (ExecutableKindOf(request->launcher) == ExecutableKind::kPe) {
    layout = ReadPeLayout(request->launcher, &error);
  }
  exitCode = layout && layout->signedFile() ? StampSigned(*request, *layout, *section, params)
                                            : WriteStampedFile(*request, *section, params);
  if (exitCode == kExitOk) PrintParams(request->output, params, section->params.size());
  return exitCode;
}

}  // namespace ferrolan::pack
