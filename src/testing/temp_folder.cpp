#include "testing/temp_folder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "desktop/desktop.h"
#include "fs/path.h"
#include "os/os.h"
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
  // Tests install into throwaway folders: a launcher they run, in this process or as a child,
  // must not leave shortcuts and entries in the menus of the user who runs the tests. The
  // desktop tests turn integration back on for themselves.
  os::SetEnv(desktop::kDisableVariable, std::string("1"));
  // Nor may a failing run put up a dialog that nobody would close, and its log lines go to its
  // standard output, where a test may look for them.
  os::SetEnv("FERROLAN_NO_DIALOGS", std::string("1"));
  os::SetEnv("FERROLAN_LOG_ECHO", std::string("1"));
  // The packager keeps its compressed archives in a cache of the test's own, so no test takes
  // an archive another one made, and nothing is left in the user's cache folder.
  // It lies beside the folder, so a test that looks at everything in its folder does not see it.
  stdfs::remove_all(PackCache(), ignored);
  os::SetEnv("FERROLAN_PACK_CACHE", PackCache());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  stdfs::remove_all(root_, ignored);
  stdfs::remove_all(PackCache(), ignored);
}

std::string TempFolder::PackCache() const { return root_.string() + "-pack-cache"; }

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
