#include "launcher/install_decision.h"

#include <cstdlib>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "fs/versioned_folder.h"
#include "jre/jre_layout.h"
#include "log/log.h"
#include "tail/payload_layout.h"

namespace ferrolan::launcher {
namespace {

using log::LogPrintf;

// Tail versions are decimal text; folder versions come from FolderVersion. Both are compared
// as 64-bit integers so eleven-digit versions order correctly.
std::int64_t TailVersion(const std::string& text) {
  return std::strtoll(text.c_str(), nullptr, 10);
}

bool Exists(const std::string& folder, std::initializer_list<const char*> parts) {
  std::string path = folder;
  for (const char* part : parts) fs::PathJoin(path, part);
  return fs::FileExists(path) == 1;
}

}  // namespace

bool IsJreSound(const std::string& jreFolder) {
  for (const char* launcher : jre::JreLauncherNames()) {
    if (!Exists(jreFolder, {"bin", launcher})) return false;
  }
  return Exists(jreFolder, {"lib", "rt.jar"}) || Exists(jreFolder, {"jre", "lib", "rt.jar"}) ||
         Exists(jreFolder, {"lib", "modules"});
}

InstallDecision DecideInstall(const InstallState& state) {
  InstallDecision decision;
  LogPrintf("[Extractor] Checking for a latest valid GU\n");
  decision.latestUpdaterFolder = fs::PickFolder(state.masterFolder, tail::kUpdaterName);
  decision.latestJreFolder = fs::PickFolder(state.masterFolder, state.jreName);

  if (decision.latestJreFolder) {
    std::string jre = state.masterFolder;
    fs::PathJoin(jre, *decision.latestJreFolder);
    if (!IsJreSound(jre)) {
      LogPrintf("[Extractor] The existing JRE is broken. Instructing the wrapper to update.\n");
      decision.latestJreFolder.reset();
    }
  }

  if (!decision.latestUpdaterFolder || !decision.latestJreFolder) {
    LogPrintf(
        "[Extractor] No latest GU or JRE version exists, will check tail for online/offline "
        "info\n");
    decision.action = InstallAction::Extract;
    return decision;
  }

  const bool hasUpdater = !state.guVersion.empty();
  if (hasUpdater &&
      TailVersion(state.guVersion) > fs::FolderVersion(*decision.latestUpdaterFolder)) {
    LogPrintf(
        "[Extractor] Our GU version is newer than existing latest version so will extract and "
        "run\n");
    decision.action = InstallAction::Extract;
    return decision;
  }
  LogPrintf("[Extractor] Latest GUversion is newer or same as our version so will just run\n");

  if (!hasUpdater || state.appVersion.empty()) {
    decision.action = InstallAction::RunInstalled;
    return decision;
  }
  std::optional<std::string> app = fs::PickFolder(state.masterFolder, state.appName);
  if (!app) {
    LogPrintf("[Extractor] No app version found and we are offline so will extract\n");
    decision.action = InstallAction::Extract;
  } else if (TailVersion(state.appVersion) > fs::FolderVersion(*app)) {
    LogPrintf(
        "[Extractor] Our App version is newer than existing latest version so will extract and "
        "run\n");
    decision.action = InstallAction::Extract;
  } else {
    LogPrintf("[Extractor] Latest App version is newer or same as our version so will just run\n");
    decision.action = InstallAction::RunInstalled;
  }
  return decision;
}

}  // namespace ferrolan::launcher
