// Test support for the jre tests and the launcher's end-to-end tests: fake JRE folders that look
// like an installed JRE to the code under test. Header-only; tests include it.
#pragma once

#include <filesystem>
#include <string>

#include "jre/jre_layout.h"
#include "testing/files.h"

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

/// When set in the environment of a runnable launcher (below), the file it appends one line
/// per run to: its path and its arguments, separated by blanks.
inline constexpr const char* kFakeJavaLogVariable = "FERROLAN_FAKE_JAVA_LOG";

/// The launcher of a runnable fake JRE on POSIX: the same answers as the stand-in executable
/// (72 for the compatibility class, else 0), and the same record of its runs.
inline constexpr const char* kRunnableLauncherScript =
    "#!/bin/sh\n"
    "if [ -n \"$FERROLAN_FAKE_JAVA_LOG\" ]; then echo \"$0 $*\" >> \"$FERROLAN_FAKE_JAVA_LOG\"; "
    "fi\n"
    "case \"$*\" in *Compatibility*) exit 72 ;; esac\n"
    "exit 0\n";

struct FakeJre {
  std::string version;  // one of the versions above, or empty for a java without a version
  bool launcher = true;
  bool unpacker = true;
  /// The launcher really runs: it exits with 72 when an argument names the compatibility class
  /// (contains "Compatibility") and with 0 otherwise. Without this it is a file that only
  /// exists (on Windows not even an executable).
  bool runnableLauncher = false;
};

using ferrolan::testing::WriteFile;

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
  if (jre.launcher && jre.runnableLauncher) {
    // On POSIX the launcher is the java executable itself, so it is replaced here.
    if (!kFakeJavaDir.empty()) {
      const std::string program = jre.version.empty() ? kJava17 : jre.version;
      stdfs::copy_file(kFakeJavaDir + "/java-" + program + ".exe", launcher,
                       stdfs::copy_options::overwrite_existing);
    } else {
      WriteFile(launcher, kRunnableLauncherScript);
    }
    stdfs::permissions(launcher, stdfs::perms::owner_all, stdfs::perm_options::add);
  } else if (jre.launcher) {
    if (!stdfs::exists(launcher)) WriteFile(launcher, "#!/bin/sh\nexit 0\n");
    stdfs::permissions(launcher, stdfs::perms::owner_all, stdfs::perm_options::add);
  } else {
    stdfs::remove(launcher);
  }
  if (jre.unpacker) WriteFile(LocateUnpack200(folder), "unpacker");
}

}  // namespace ferrolan::jre::testing
