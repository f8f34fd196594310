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
#include <vector>

#include "archive/archive_writer.h"
#include "payload_writer.h"
#include "tail/tail_reader.h"

namespace ferrolan::pack {

/// A folder to pack, with its version (eleven digits) and, for the JRE, its name.
struct Component {
  std::string name;  // JRE only
  std::string version;
  std::string folder;
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
};

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

/// Adds the Params "jre_name" with the JRE's name when the configuration has a JRE and the
/// Params have none; warns when they name a different JRE.
void AddJreNameParam(BuildConfig& config, const char* command);

/// Loads the signing key and puts its public half into the tail fields. Null without a key
/// (with a warning) and on failure (reported, `*failed` set).
std::unique_ptr<archive::SigningKey> LoadConfiguredKey(BuildConfig& config, const char* command,
                                                       bool* failed);

}  // namespace ferrolan::pack
