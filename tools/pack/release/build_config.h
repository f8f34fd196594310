// The JSON configuration that "build" and "publish" share: one file describes the launcher, the
// components it carries and the key that signs them, so the update folder a vendor publishes is
// made from exactly what the launcher was built from. Reading it is strict (see
// docs/packager.md); every problem is the vendor's to fix and is reported under the command's
// name before any work starts.
//
// Platforms: portable.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_writer.h"
#include "pack/archive/folder_archive.h"
#include "pack/format/launch_file_writer.h"
#include "pack/format/payload_writer.h"
#include "tail/tail_reader.h"

namespace ferrolan::pack {

/// A folder to pack, with its version (eleven digits) and, for the JRE, its name.
struct Component {
  std::string name;  // JRE only
  std::string version;
  std::string folder;  // empty for an updater made of ferrolan-updater.jar alone
  /// Files added to the archive beside the folder's own (the generated launch file, the icon,
  /// the updater jar): the vendor's folder itself is never changed. Set by StageLaunchFiles.
  std::vector<StagedFile> staged;
  /// The launch settings, when the configuration (or the command line) declares any; the
  /// packager then writes the folder's launch file. `classpathGiven` is false when the
  /// classpath is to be every jar at the top of the folder, sorted.
  std::optional<LaunchSettings> launch;
  bool classpathGiven = false;
};

/// The configuration with every relative path resolved against the configuration's folder and
/// the versions written with eleven digits. `fields` holds the tail fields, including the
/// component versions; its public key is set by LoadConfiguredKey.
struct BuildConfig {
  std::string launcher;  // empty when the configuration names none
  tail::TailFields fields;
  std::string key;
  std::string lzmaExe;
  std::string splashImage;
  std::string cacerts;
  Component updater;
  std::optional<Component> jre;
  std::optional<Component> app;
  std::vector<Param> params;
  std::string icon;        // a PNG file carried as FerrolanIcon.png and .ico; empty for none
  std::string updaterJar;  // ferrolan-updater.jar, used when the updater has no folder
};

/// Why `text` cannot name the application or the JRE (it becomes part of folder and file names
/// on every system); empty when it can. `setting` names it in the message.
std::string PlainNameProblem(const std::string& text, const std::string& setting);

/// Reads, parses and checks the configuration file. None when it cannot be read (reported as a
/// usage error with `usage`) or is not a valid configuration (reported with its path);
/// `command` names the command in the messages. Either way the exit code is kExitUsage.
std::optional<BuildConfig> LoadBuildConfig(const std::string& configPath, const char* command,
                                           const char* usage);

/// Which of the configuration's inputs a command needs.
enum class Inputs {
  kEverything,     // the launcher image, the carried files, the folders and the key
  kFoldersAndKey,  // only what becomes an archive, and the key that signs it
};

/// True when every input of kind `inputs` exists; else reports the first missing one.
bool CheckInputsExist(const BuildConfig& config, const std::string& configPath, Inputs inputs,
                      const char* command);

/// ferrolan-updater.jar beside ferrolan-pack (the native build puts it there); the bare name
/// when the program's own path is unknown.
std::string DefaultUpdaterJar();

/// Adds the Params "jre_name" with the JRE's name when the configuration has a JRE and the
/// Params have none; warns when they name a different JRE.
void AddJreNameParam(BuildConfig& config, const char* command);

/// Loads the signing key and puts its public half into the tail fields. Null without a key
/// (with a warning) and on failure (reported, `*failed` set).
std::unique_ptr<archive::SigningKey> LoadConfiguredKey(BuildConfig& config, const char* command,
                                                       bool* failed);

}  // namespace ferrolan::pack
