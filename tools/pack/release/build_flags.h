// The command-line form of "build" and "publish" for the common case, an alternative to a
// configuration file: --name, --input, --main-jar and a few more flags describe one application
// the way jpackage's flags do, and become the same BuildConfig the configuration file would
// (see docs/packager.md for the defaults and the classpath the flags make).
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pack/cli/cli.h"
#include "pack/release/build_config.h"

namespace ferrolan::pack {

/// True when the command line uses any of the flags that describe an application
/// (kPackagingOptions), which selects the flags form.
bool UsesPackagingFlags(const CommandLine& line);

/// Why the command line names no single source of settings: both --config and the flags, or
/// neither. Empty when it names one.
std::string SettingsSourceProblem(const CommandLine& line);

/// The limits of a version given the way jpackage takes it ("1", "1.2", "1.2.3"): the major
/// number up to 999, the minor and micro numbers up to 9999 each.
inline constexpr std::uint64_t kMaxMajorVersion = 999;
inline constexpr std::uint64_t kMaxMinorVersion = 9999;

/// Maps a dotted version of 1 to 3 numbers to a whole-number version, keeping their order:
/// major * 10^8 + minor * 10^4 + micro ("1.2.3" becomes 100020003, "1" 100000000). None when
/// the text is no such version or a number is over its limit.
std::optional<std::uint64_t> MapDottedVersion(std::string_view text);

/// The configuration the flags describe. None, with `error` set, when a flag is missing or
/// wrong; the main jar is read here (its manifest gives the default main class and part of the
/// classpath), the rest is checked like a configuration file's. Warnings name `command`.
std::optional<BuildConfig> ConfigFromFlags(const CommandLine& line, const char* command,
                                           std::string* error);

/// The configuration a command line of "build" or "publish" describes: read from --config, or
/// made from the flags. `*source` is set to what messages call it (the configuration's path,
/// or "flags"). None after the problem was reported under `command` with `usage`; the exit
/// code is then kExitUsage.
std::optional<BuildConfig> LoadCommandConfig(const CommandLine& line, const char* command,
                                             const char* usage, std::string* source);

}  // namespace ferrolan::pack
