// The state the Extractor main flow keeps from start-up to the hand-over. Start-up
// (extractor.cpp) fills it; the extraction (extraction.cpp) and the JRE setup use it.
#pragma once

#include <optional>
#include <string>

#include "launch/launch_sequence.h"
#include "tail/params.h"
#include "tail/properties_block.h"
#include "tail/tail_reader.h"

namespace ferrolan::launcher {

/// Everything the flow keeps from start-up to the hand-over.
struct MainFlow {
  std::string programPath;
  std::string absoluteWrapperPath;
  int argCount = 0;
  char** args = nullptr;
  bool prepareOnly = false;

  tail::LaunchPropertiesBlock properties;
  tail::DynamicProperties dynamic;
  std::optional<tail::WrapperTail> wrapperTail;
  std::string jreName;
  std::string tailUpdateUrl;  // the tail's "Update URL" field as read ("D": the dynamic one)
  std::string updateUrl;      // effective: static or dynamic, with a trailing "/" when not empty
  bool silentInstall = false;
  std::string sharedDir;
  std::string masterFolder;
  std::string sharedConfigFolder;
};

/// The launch of `appFolderName` (relative to the master folder) for this run: its properties,
/// arguments, update URLs and force-spawn setting. `jreName` is the private JRE's name for the
/// application launch, the candidate's launcher for the compatibility test.
launch::LaunchRequest LaunchRequestFor(const MainFlow& flow, const std::string& appFolderName,
                                       const std::string& jreName, launch::LaunchClass launchClass);

}  // namespace ferrolan::launcher
