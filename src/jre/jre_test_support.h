// Test support for the jre tests: fake JRE folders that look like an installed JRE to the code
// under test. Header-only; tests include it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "jre/jre_layout.h"

#ifndef FERROLAN_FAKE_JAVA_DIR
#define FERROLAN_FAKE_JAVA_DIR ""
#endif

namespace ferrolan::jre::testing {

/// Where the stand-in java executables with version resources were built ("" when the
/// platform reads the release file instead). Each is named java-<version>.exe.
inline const std::string kFakeJavaDir = FERROLAN_FAKE_JAVA_DIR;

/// The versions a fake JRE can carry on every platform: the stand-in executables exist for
/// exactly these.
inline constexpr const char* kJava17 = "17.0.15.0";
inline constexpr const char* kJava11 = "11.0.2.0";
inline constexpr const char* kJava8 = "8.0.392.8";
inline constexpr const char* kJava1_8 = "1.8.0.392";

struct FakeJre {
  std::string version;  // one of the versions above, or empty for a java without a version
  bool launcher = true;
  bool unpacker = true;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

/// Fills `folder` as a JRE: the release file (read on POSIX), the java executable (with a
/// version resource where the platform reads one), the launcher and the unpacker.
inline void MakeFakeJre(const std::string& folder, const FakeJre& jre) {
  namespace stdfs = std::filesystem;
  std::string java = JavaExecutablePath(folder);
  if (!jre.version.empty()) {
    WriteFile(folder + "/release", "IMPLEMENTOR=\"Test\"\nJAVA_VERSION=\"" + jre.version + "\"\n");
  }
  if (!kFakeJavaDir.empty() && !jre.version.empty()) {
    stdfs::create_directories(stdfs::path(java).parent_path());
    stdfs::copy_file(kFakeJavaDir + "/java-" + jre.version + ".exe", java,
                     stdfs::copy_options::overwrite_existing);
  } else {
    WriteFile(java, "#!/bin/sh\nexit 0\n");
  }
  std::string launcher = LocateJavaLauncher(folder);
  if (jre.launcher) {
    if (!stdfs::exists(launcher)) WriteFile(launcher, "#!/bin/sh\nexit 0\n");
    stdfs::permissions(launcher, stdfs::perms::owner_all, stdfs::perm_options::add);
  } else {
    stdfs::remove(launcher);
  }
  if (jre.unpacker) WriteFile(LocateUnpack200(folder), "unpacker");
}

}  // namespace ferrolan::jre::testing
