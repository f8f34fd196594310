#include "launch/launch_properties.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "log/log.h"
#include "os/os.h"
#include "pipeline/stages.h"
#include "tail/params.h"
#include "tail/tail_reader.h"

namespace ferrolan::launch {

using log::LogError;
using log::LogPrintf;

namespace {

void Sleep(const RetrySleep& sleep, unsigned milliseconds) {
  if (sleep)
    sleep(milliseconds);
  else
    os::SleepMs(milliseconds);
}

std::uint32_t WallClockMs() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  if (since.count() < 0) return 0;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

long CountFolderEntries(const std::string& folder) {
  std::optional<fs::FolderListing> listing = fs::OpenFolderListing(folder);
  if (!listing) return 0;
  long entries = 0;
  while (fs::NextFolderEntry(*listing)) ++entries;
  return entries;
}

// Opens the LSO file, retrying while it exists but cannot be opened (the Java side may be
// writing it at this moment). None when it is missing or stays closed.
fs::OwnedFile OpenLsoFile(const std::string& path, const RetrySleep& sleep) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (file) return file;
  if (fs::FileExists(path) == 0) return nullptr;
  for (int retry = 0; retry < kLaunchFileRetries; ++retry) {
    LogPrintf("[Extractor] LSO file does exist. Retrying (%d)...", retry);
    file = fs::OpenFile(path, "rb");
    if (file) return file;
    Sleep(sleep, kLaunchFileRetrySleepMs);
  }
  return nullptr;
}

// Reads the LSO entries into the JVM options and the properties. A file that ends before its
// count is reached yields only the entries it holds: empty options are not invented for the
// missing ones, and "jvm_options_count" tells the Java side how many "jvm_options_<i>" follow.
void ReadLsoFile(std::FILE* file, tail::LaunchPropertiesBlock& block,
                 std::vector<std::string>& jvmOptions) {
  LogPrintf("[Extractor] JRE LSO file exists\n");
  long count = tail::DecimalValue(tail::READSTRING(file, "LSO Count", kLsoCountLimit));
  LogPrintf("[Extractor] Found %ld JVM Options\n", count);
  std::vector<std::string> entries;
  for (long i = 0; i < count; ++i) {
    std::string entry = tail::READSTRING(file, "LSO Entry", kLsoEntryLimit);
    if (entry.empty() && std::feof(file)) break;
    entries.push_back(std::move(entry));
  }
  tail::AddStaticProperty(block, "jvm_options_count", std::to_string(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    jvmOptions.push_back(entry);
    std::string name = "jvm_options_" + std::to_string(i);
    if (entry.size() >= 100)
      LogPrintf("[Extractor] Launch Prop: %s = %s...\n", name.c_str(), entry.substr(0, 99).c_str());
    else
      LogPrintf("[Extractor] Launch Prop: %s = %s\n", name.c_str(), entry.c_str());
    tail::AddStaticProperty(block, name, entry);
  }
}

}  // namespace

std::string LaunchPropertiesPathFor(const std::string& appFolder, std::uint32_t milliseconds,
                                    long entries) {
  std::string path = appFolder;
  fs::PathJoin(
      path, "FLLaunchProperties-" + std::to_string(milliseconds) + "-" + std::to_string(entries));
  return path;
}

std::string MakeLaunchPropertiesPath(const std::string& appFolder) {
  return LaunchPropertiesPathFor(appFolder, WallClockMs(), CountFolderEntries(appFolder));
}

std::string LsoFilePath(const std::string& masterFolder, std::string_view jreFolderName) {
  std::size_t slash = jreFolderName.find_last_of("\\/");
  if (slash != std::string_view::npos) jreFolderName.remove_prefix(slash + 1);
  std::string path = masterFolder;
  fs::PathJoin(path, "FLApps");
  fs::PathJoin(path, std::string("JRE-LastSuccessfulOptions-").append(jreFolderName));
  return path;
}

std::string LaunchPropertiesContent(const tail::LaunchPropertiesBlock& block) {
  std::string bytes = block.Bytes();
  bytes.resize(bytes.size() >= 2 ? bytes.size() - 2 : 0);
  return bytes;
}

std::optional<std::string> WriteLaunchProperties(const tail::LaunchPropertiesBlock& mainBlock,
                                                 const LaunchPropertiesRequest& request,
                                                 std::vector<std::string>& jvmOptions,
                                                 const RetrySleep& sleep) {
  LogPrintf("[Extractor] Creating launch properties\n");
  tail::LaunchPropertiesBlock block = mainBlock;
  tail::AddStaticProperty(block, "update_url", request.updateUrl);
  // Given but empty, it is still written, with the empty-value marker.
  if (request.updateUrl == "D" && request.dynamicUpdateUrl)
    tail::AddDynamicProperty(block, "update_url", *request.dynamicUpdateUrl);
  tail::AddStaticProperty(block, "app_dir", request.appFolder);
  tail::AddStaticProperty(block, "jre_name", request.jreName);
  tail::AddStaticProperty(block, "launched_from_dynprops", request.launcherPath);

  LogPrintf("[Extractor] Checking LSO file\n");
  if (!request.lsoPath) {
    LogError("Not a private JRE (no need to check for LSO file)\n");
  } else {
    LogPrintf("[Extractor] Reading %s\n", request.lsoPath->c_str());
    fs::OwnedFile lso = OpenLsoFile(*request.lsoPath, sleep);
    if (lso)
      ReadLsoFile(lso.get(), block, jvmOptions);
    else
      LogError("JRE LSO file does not exist\n");
  }

  LogPrintf("[Extractor] Writing launch properties file\n");
  std::string content = LaunchPropertiesContent(block);
  std::string path = MakeLaunchPropertiesPath(request.appFolder);
  LogPrintf("[Extractor] Writing launch properties to %s (length: %zu)\n", path.c_str(),
            content.size());
  fs::OwnedFile out = fs::OpenFile(path, "wb");
  for (int retry = 0; !out && retry < kLaunchFileRetries; ++retry) {
    path = MakeLaunchPropertiesPath(request.appFolder);
    LogPrintf("[Retry] Writing launch properties to %s\n", path.c_str());
    out = fs::OpenFile(path, "wb");
    if (!out) Sleep(sleep, kLaunchFileRetrySleepMs);
  }
  if (!out) {
    LogError("Unable to write Launch Properties file! Cannot run!\n");
    return std::nullopt;
  }

  LogPrintf("[Extractor] Writing to file\n");
  bool written = std::fwrite(content.data(), 1, content.size(), out.get()) == content.size();
  written = std::fflush(out.get()) == 0 && written;
  written = std::fclose(out.release()) == 0 && written;
  if (!written) {
    // The Java side would read a cut file as a different set of settings: a launch without
    // its settings cannot run correctly.
    LogError("Unable to write Launch Properties file! Cannot run!\n");
    return std::nullopt;
  }
  LogPrintf("[Extractor] Finished writing launch properties file\n");
  return path;
}

}  // namespace ferrolan::launch
