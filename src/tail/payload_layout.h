// The layout of the payload that the launcher and the packager must agree on: which entries
// follow the wrapper tail's fields and in which order, the names they are written under, and
// the names of the archives and version files on an update server. Everything that forms or
// walks the payload takes these facts from here.
//
// Platforms: identical on Windows and POSIX.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tail/tail_reader.h"

namespace ferrolan::tail {

/// The updater's component name in folder, archive and version-file names.
inline constexpr const char* kUpdaterName = "Ferrolan";

/// The file names of the updater's plain tail entries, which are also their names in the
/// updater's folder.
inline constexpr const char* kLzmaFileName = "lzma.exe";
inline constexpr const char* kSplashFileName = "nativesplash.png";
inline constexpr const char* kCacertsFileName = "cacerts";

/// The tail entries, in the order the launcher consumes them.
enum class TailEntry {
  kLzma,            // lzma.exe
  kSplash,          // nativesplash.png
  kCacerts,         // cacerts
  kUpdaterArchive,  // the updater's archive
  kUpdaterVersion,  // the updater's version file
  kJreArchive,      // only with a "JRE Version"
  kAppArchive,      // only with an "App Version"
  kAppVersion,      // only with an "App Version"
};

/// The number of entries the updater brings: lzma.exe to its version file.
inline constexpr int kUpdaterEntryCount = 5;

/// The entries a launcher with these fields carries, in order: none for a bare launcher (no
/// "GU Version"), else the updater's five, the JRE archive when "JRE Version" is set and the
/// application's archive and version file when "App Version" is set.
std::vector<TailEntry> TailEntriesFor(const TailFields& fields);

/// "Ferrolan-<component>-<version>-archive.p2.l2": an archive in the tail or on the server.
std::string ArchiveName(std::string_view component, std::string_view version);

/// "Ferrolan-<component>-version.txt": a version file in the tail or on the server.
std::string VersionFileName(std::string_view component);

/// The component name an application's archive carries in the tail: "<App Name>_offline_flwin".
std::string OfflineAppComponent(std::string_view appName);

/// The name the packager writes `entry` under for a launcher with these fields; `jreName` is
/// the JRE's component name.
std::string TailEntryName(TailEntry entry, const TailFields& fields, std::string_view jreName);

/// The components an update server offers, each as a version file and an archive.
enum class ServerComponent {
  kUpdater,
  kJre,
  kApp,
};

/// The components of a launcher with these fields, in the order of its tail: the updater when
/// "GU Version" is set, the JRE when "JRE Version" is set, the application when "App Version"
/// is set.
std::vector<ServerComponent> ServerComponentsFor(const TailFields& fields);

/// One component's files on an update server, both directly below the update URL.
struct ServerFiles {
  std::string versionFile;  // "Ferrolan-<component>-version.txt", holding the version
  std::string archive;      // "Ferrolan-<component>-<version>-archive.p2.l2"
};

/// The server files of `component` at the version the fields give it. The component names are
/// the updater's, the JRE's (`jreName`) and the App Name: unlike the tail, the server names the
/// application's archive after the application itself, without the offline suffix, so its
/// archive and its version file share one component name.
ServerFiles ServerFilesFor(ServerComponent component, const TailFields& fields,
                           std::string_view jreName);

}  // namespace ferrolan::tail
