// The launch file "FerrolanLaunch" that every installed folder carries: which class the launcher
// starts, from which jars, with which virtual-machine options and arguments. The packager writes
// it from the configuration (or from the command line's flags) so that vendors never assemble
// its NUL-terminated fields by hand; the launcher's reader is launch::ReadLaunchFile.
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ferrolan::pack {

/// The launch-file version written: it carries the compatibility class, the install hooks and
/// the application's JVM options.
inline constexpr int kLaunchFileVersion = 6;
/// The updater that starts the newest installed application, and the class that tests whether a
/// system JRE can run it. Both live in ferrolan-updater.jar.
inline constexpr const char* kUpdaterMainClass = "com.ferrolan.updater.Updater";
inline constexpr const char* kCompatibilityClass = "com.ferrolan.updater.CompatibilityCheck";
inline constexpr const char* kUpdaterJarName = "ferrolan-updater.jar";
inline constexpr const char* kUpdaterLaunchName = "FerrolanUpdater";
/// The files the packager adds to the application's installed folder. Desktop shortcuts read
/// them from there under these names.
inline constexpr const char* kIconPngName = "FerrolanIcon.png";
inline constexpr const char* kIconIcoName = "FerrolanIcon.ico";

/// What one launch file says.
struct LaunchSettings {
  std::string mainClass;
  std::vector<std::string> classpath;  // relative to the installed folder, "/" as separator
  std::vector<std::string> javaOptions;
  std::vector<std::string> arguments;
  std::uint32_t maxHeapMb = 0;  // 0: the virtual machine's default
  std::uint32_t initialHeapMb = 0;
  bool ownJvm = false;  // "Must Fork": the application never runs in the updater's machine
};

/// The largest heap size in MiB the launcher reads (it keeps the number in an int).
inline constexpr std::uint32_t kMaxHeapMb = 0x7FFFFFFF;

/// Why these settings cannot be written so that the launcher reads them back unchanged (a field
/// of 1024 bytes or more, a NUL, an empty main class or classpath); empty when they can.
/// `appName` is the base name of the launch executable. `where` names the settings in the
/// message ("app" or "updater").
std::string CheckLaunchSettings(const LaunchSettings& settings, const std::string& appName,
                                const std::string& where);

/// The bytes of the launch file (version 5).
std::string EncodeLaunchFile(const LaunchSettings& settings, const std::string& appName);

}  // namespace ferrolan::pack
