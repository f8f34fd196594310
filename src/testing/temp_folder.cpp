#include "testing/temp_folder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "fs/path.h"
#include "testing/files.h"

namespace ferrolan::testing {

namespace stdfs = std::filesystem;

namespace {

// Characters every file system takes in a name.
std::string Plain(std::string name) {
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!plain && c != '-' && c != '_') c = '_';
  }
  return name;
}

// "ferrolan-<suite>-<test>[-<tag>]-<build>". The name must be the same in every process that
// runs the test: a death test's child runs the test again from its start and leaves its files
// where the parent looks for them. The build part (from the bin folder CTest passes) keeps the
// presets and other checkouts on this machine, which share the temp folder, apart. The test's
// part is cut short so that the deep folders some tests build below it stay within Windows'
// path limit.
std::string FolderName(const std::string& tag) {
  constexpr std::size_t kMaxTestNameLength = 48;
  std::string name;
  if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    name = Plain(std::string(info->test_suite_name()) + "-" + info->name());
    if (name.size() > kMaxTestNameLength) name.resize(kMaxTestNameLength);
    if (!tag.empty()) name += "-";
  }
  name += Plain(tag);
  std::uint32_t hash = 2166136261u;  // FNV-1a
  if (const char* bin = std::getenv("FERROLAN_TEST_BIN_DIR")) {
    for (const char* c = bin; *c != '\0'; ++c)
      hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
  }
  char build[16];
  std::snprintf(build, sizeof build, "%08x", static_cast<unsigned>(hash));
  return "ferrolan-" + name + "-" + build;
}

}  // namespace

TempFolder::TempFolder(const std::string& tag)
    : root_(stdfs::temp_directory_path() / FolderName(tag)) {
  std::error_code ignored;
  stdfs::remove_all(root_, ignored);
  stdfs::create_directories(root_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  stdfs::remove_all(root_, ignored);
}

std::string TempFolder::Path(const std::string& relative) const {
  std::string path = root_.string();
  if (!relative.empty()) fs::PathJoin(path, relative);
  return path;
}

std::string TempFolder::Write(const std::string& relative, const std::string& content) const {
  const std::string path = Path(relative);
  WriteFile(path, content);
  return path;
}

std::string TempFolderTest::Read(const std::string& path) { return ReadFile(path); }

void LoggedTempFolderTest::TearDown() {
  if (HasFailure()) std::cout << "The log of the failed test:\n" << log_.Text() << std::flush;
}

}  // namespace ferrolan::testing
