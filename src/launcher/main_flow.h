// The state the Extractor main flow keeps from start-up to the hand-over. Start-up
// (extractor.cpp) fills it; the extraction (extraction.cpp) and the JRE setup use it.
#pragma once

#include <optional>
#include <string>

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
  std::string updateUrl;  // effective: static or dynamic, with a trailing "/" when not empty
  bool silentInstall = false;
  std::string sharedDir;
  std::string masterFolder;
  std::string sharedConfigFolder;
};

}  // namespace ferrolan::launcher
