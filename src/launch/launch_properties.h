// The launch-properties file, through which the Java side receives the launcher's settings, and
// the LSO file ("LastSuccessfulOptions"), the JVM options that last worked with a private JRE.
//
// The launch-properties file holds the LaunchPropertiesBlock's strings without the block's two
// final NULs: key, NUL, value, NUL, ..., key, NUL, value. The LSO file is written by the Java
// side and read here: a count ("LSO Count", decimal text) and that many JVM options, each a
// NUL-terminated string. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tail/properties_block.h"

namespace ferrolan::launch {

inline constexpr int kLsoCountLimit = 40;
inline constexpr int kLsoEntryLimit = 1024;
/// Attempts after the first one, and the pause between them.
inline constexpr int kLaunchFileRetries = 5;
inline constexpr unsigned kLaunchFileRetrySleepMs = 500;

/// appFolder joined with "FLLaunchProperties-<ms>-<entries>": the wall-clock time in
/// milliseconds reduced to 32 bits (0 if it cannot be read) and the number of entries a
/// listing of appFolder yields, "." and ".." included (0 if it cannot be listed).
std::string MakeLaunchPropertiesPath(const std::string& appFolder);

/// The same name from given numbers.
std::string LaunchPropertiesPathFor(const std::string& appFolder, std::uint32_t milliseconds,
                                    long entries);

/// masterFolder joined with "FLApps" and "JRE-LastSuccessfulOptions-<JRE folder>"; of a JRE
/// folder name that holds a separator only the part after the last one counts.
std::string LsoFilePath(const std::string& masterFolder, std::string_view jreFolderName);

/// The bytes the launch-properties file receives for `block`.
std::string LaunchPropertiesContent(const tail::LaunchPropertiesBlock& block);

/// What the launch hands to the launch-properties step.
struct LaunchPropertiesRequest {
  std::string appFolder;  // the application folder: the file is written here
  std::string updateUrl;  // the wrapper tail's Update URL ("D" selects the dynamic one)
  std::optional<std::string> dynamicUpdateUrl;  // the dynamic property "update_url", if given
  std::string jreName;                 // the JRE name (launch class 1: the candidate's launcher)
  std::string launcherPath;            // the launcher's absolute path
  std::optional<std::string> lsoPath;  // the LSO file of a private JRE; none for launch class 1
};

/// The pause between attempts to open a file; tests replace it so they do not really wait.
using RetrySleep = std::function<void(unsigned milliseconds)>;

/// Copies `block`, adds the launch's own properties ("update_url", possibly a dynamic
/// "update_url", "app_dir", "jre_name", "launched_from_dynprops" and, when the LSO file opens,
/// "jvm_options_count" and "jvm_options_<i>"), appends the LSO entries to `jvmOptions` and
/// writes the launch-properties file. Returns the file's path. When the file cannot be written
/// after the first attempt and 5 retries (each with a fresh name, 500 ms apart), logs
/// "Unable to write Launch Properties file! Cannot run!" and returns none: the launch cannot
/// run without its settings.
std::optional<std::string> WriteLaunchProperties(const tail::LaunchPropertiesBlock& block,
                                                 const LaunchPropertiesRequest& request,
                                                 std::vector<std::string>& jvmOptions,
                                                 const RetrySleep& sleep = {});

}  // namespace ferrolan::launch
