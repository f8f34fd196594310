#include "desktop/desktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/desktop_entry.h"
#include "fs/path.h"
#include "testing/environment.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::desktop {
namespace {

using testing::ReadFile;

class DesktopTest : public testing::LoggedTempFolderTest {
 protected:
  // A master folder as a start of the launcher leaves it, with an installed application.
  Installation MakeInstallation(const std::string& root, const std::string& appName) {
    Installation installation;
    installation.appName = appName;
    installation.masterFolder = fs::MasterFolderPath(Path(root), appName);
    Write(root + "/" + EntryName(appName) + "/FLApps/keep", "");
    Write(root + "/" + EntryName(appName) + "/FLAppsSharedConfig/DetectedProxy", "");
    Write(root + "/" + EntryName(appName) + "/Ferrolan-" + appName + "-00000000001-complete/a",
          "app");
    return installation;
  }
  bool Exists(const std::string& path) const { return std::filesystem::exists(path); }
};

TEST_F(DesktopTest, RefreshCopyWritesOnlyWhatDiffers) {
  const std::string source = Write("source", "launcher-1");
  const std::string target = Path("copy");
  EXPECT_TRUE(RefreshCopy(source, target, true));
  EXPECT_EQ(ReadFile(target), "launcher-1");
  EXPECT_TRUE(Logged("[Desktop] Wrote " + target));
  EXPECT_FALSE(Exists(target + ".new"));
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
#endif

  // The same bytes are not written again; neither is the file itself.
  EXPECT_TRUE(RefreshCopy(source, target, true));
  EXPECT_TRUE(RefreshCopy(target, target, true));
  EXPECT_EQ(CountStartingWith("[Desktop] Wrote"), 1);

  // The copy carries its source's modification time, by which a later start knows it at once.
  EXPECT_EQ(std::filesystem::last_write_time(target), std::filesystem::last_write_time(source));

  // Same size, other bytes (written later); and another size: both replace the copy.
  Write("source", "launcher-2");
  std::filesystem::last_write_time(
      source, std::filesystem::last_write_time(target) + std::chrono::seconds(1));
  EXPECT_TRUE(RefreshCopy(source, target, true));
  EXPECT_EQ(ReadFile(target), "launcher-2");
  Write("source", "launcher-10");
  EXPECT_TRUE(RefreshCopy(source, target, true));
  EXPECT_EQ(ReadFile(target), "launcher-10");

  // A source that cannot be read leaves the copy as it was.
  EXPECT_FALSE(RefreshCopy(Path("missing"), target, true));
  EXPECT_EQ(ReadFile(target), "launcher-10");
}

TEST_F(DesktopTest, OnlyOurMasterFoldersLookLikeOne) {
  const Installation ours = MakeInstallation("root", "App");
  EXPECT_TRUE(LooksLikeMasterFolder(ours.masterFolder, "App"));
  EXPECT_FALSE(LooksLikeMasterFolder(ours.masterFolder, "Other"));  // named for another app
  Write("root/Ferrolan-Bare/user-file", "mine");
  EXPECT_FALSE(LooksLikeMasterFolder(Path("root/Ferrolan-Bare"), "Bare"));  // none of our folders
  Write("root/Ferrolan-File", "a file");
  EXPECT_FALSE(LooksLikeMasterFolder(Path("root/Ferrolan-File"), "File"));
  EXPECT_FALSE(LooksLikeMasterFolder(Path("root/Ferrolan-Missing"), "Missing"));
}

TEST_F(DesktopTest, UninstallRemovesTheMasterFolderAndNothingBesideIt) {
  testing::ScopedEnvironment env;
  env.Set("XDG_DATA_HOME", Path("share"));
  const Installation app = MakeInstallation("root", "App");
  const Installation other = MakeInstallation("root", "App 2");
  const std::string sibling = Write("root/user-notes.txt", "keep me");
  Write("root/Ferrolan-App/App", "the launcher copy");

  EXPECT_EQ(Uninstall(app, Path("elsewhere")), UninstallOutcome::kRemoved);
  EXPECT_FALSE(Exists(app.masterFolder));
  EXPECT_TRUE(Exists(other.masterFolder + "/FLApps"));
  EXPECT_EQ(ReadFile(sibling), "keep me");
  EXPECT_TRUE(Logged("[Desktop] Removed the master folder " + app.masterFolder));

  // A second uninstall finds nothing and is content.
  EXPECT_EQ(Uninstall(app, Path("elsewhere")), UninstallOutcome::kNothingInstalled);
}

TEST_F(DesktopTest, UninstallRefusesAFolderThatIsNotOurs) {
  Installation app;
  app.appName = "App";
  app.masterFolder = fs::MasterFolderPath(Path("root"), "App");
  const std::string precious = Write("root/Ferrolan-App/thesis.txt", "years of work");
  EXPECT_EQ(Uninstall(app, Path("elsewhere")), UninstallOutcome::kRefused);
  EXPECT_EQ(ReadFile(precious), "years of work");
}

TEST_F(DesktopTest, IntegrationCanBeTurnedOff) {
  testing::ScopedEnvironment env;
  env.Set(kDisableVariable, std::string("1"));
  EXPECT_FALSE(IntegrationEnabled());
  env.Set(kDisableVariable, std::string("0"));
  EXPECT_TRUE(IntegrationEnabled());
  env.Set(kDisableVariable, std::nullopt);
  EXPECT_TRUE(IntegrationEnabled());
}

// The menu entry and icon are POSIX's; the Windows shortcuts and registry entry are checked end
// to end under a private Wine (tests/e2e/desktop.sh), never in the shared prefix of unit tests.
#ifndef _WIN32
// A PNG signature and IHDR chunk declaring 48 x 32 pixels: all a size reader looks at.
std::string PngHeader() {
  return std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x30\0\0\0\x20\x08\x06\0\0\0", 29);
}

TEST_F(DesktopTest, MenuEntryIconAndCopyComeAndGo) {
  testing::ScopedEnvironment env;
  env.Set("XDG_DATA_HOME", Path("share"));
  const Installation app = MakeInstallation("root", "My App");
  Write("root/Ferrolan-My App/Ferrolan-My App-00000000001-complete/FerrolanIcon.png", PngHeader());
  const std::string launcher = Write("downloads/launcher", "launcher bytes");
  // Another application's entry, and a file of our name that someone else wrote elsewhere.
  const std::string foreign = Write("share/applications/other.desktop", "[Desktop Entry]\n");

  EXPECT_TRUE(Integrate(app, launcher));
  const std::string copy = app.masterFolder + "/My App";
  const std::string entry = Path("share/applications/ferrolan-My_20App.desktop");
  const std::string icon = Path("share/icons/hicolor/48x32/apps/ferrolan-My_20App.png");
  EXPECT_EQ(ReadFile(copy), "launcher bytes");
  EXPECT_EQ(ReadFile(icon), PngHeader());
  EXPECT_EQ(ReadFile(entry),
            DesktopEntryText({"My App", copy, "ferrolan-My_20App", app.masterFolder}));

  // The copy runs later: nothing is written again, and a deleted entry comes back.
  std::filesystem::remove(entry);
  EXPECT_TRUE(Integrate(app, copy));
  EXPECT_TRUE(Exists(entry));
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Desktop] Wrote " + copy), 1);  // once only

  EXPECT_EQ(Uninstall(app, copy), UninstallOutcome::kRemoved);
  EXPECT_FALSE(Exists(entry));
  EXPECT_FALSE(Exists(icon));
  EXPECT_FALSE(Exists(app.masterFolder));
  EXPECT_EQ(ReadFile(foreign), "[Desktop Entry]\n");
  EXPECT_TRUE(Exists(launcher));
}

TEST_F(DesktopTest, AnEntryOfTheSameNameFromAnotherInstallStays) {
  testing::ScopedEnvironment env;
  env.Set("XDG_DATA_HOME", Path("share"));
  const Installation app = MakeInstallation("root", "App");
  const std::string theirs =
      Write("share/applications/ferrolan-App.desktop",
            DesktopEntryText({"App", "/elsewhere/App", "", "/elsewhere/Ferrolan-App"}));
  EXPECT_FALSE(Integrate(app, Write("launcher", "x")));  // logged, not replaced
  EXPECT_EQ(Uninstall(app, Path("launcher")), UninstallOutcome::kRemoved);
  EXPECT_NE(ReadFile(theirs).find("/elsewhere/Ferrolan-App"), std::string::npos);
}
#endif

}  // namespace
}  // namespace ferrolan::desktop
