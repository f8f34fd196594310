#include "fs/shared_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "fs/path.h"
#include "os/os.h"
#include "testing/temp_folder.h"

namespace ferrolan::fs {
namespace {

namespace stdfs = std::filesystem;

// A system made of plain values: variables, folders that pass the access test, short paths.
class FakeSystem {
 public:
  std::map<std::string, std::string> vars;
  std::set<std::string> writable;
  std::map<std::string, std::string> shortPaths;
  std::optional<int> major = 10;
  std::string user = "alice";

  SharedDirSystem View() const {
    SharedDirSystem s;
    s.env = [this](const char* name) -> std::optional<std::string> {
      auto it = vars.find(name);
      if (it == vars.end()) return std::nullopt;
      return it->second;
    };
    s.majorVersion = major;
    s.shortPath = [this](const std::string& path) -> std::optional<std::string> {
      auto it = shortPaths.find(path);
      if (it == shortPaths.end()) return std::nullopt;
      return it->second;
    };
    s.readWritable = [this](const std::string& path) { return writable.count(path) > 0; };
    s.userName = [this] { return user; };
    return s;
  }
};

class SharedDirTest : public testing::TempFolderTest {
 protected:
  void SetUp() override { sys_.vars["ALLUSERSPROFILE"] = root_.string(); }
  std::string Join(std::string a, const std::string& b) {
    PathJoin(a, b);
    return a;
  }
  FakeSystem sys_;
};

TEST(InstallTypeTest, MessagesAndSharedDirectoryChoice) {
  EXPECT_STREQ(InstallTypeMessage("perm_all"), "Permanent install for all users\n");
  EXPECT_STREQ(InstallTypeMessage("perm_user"), "Permanent install for current user\n");
  EXPECT_STREQ(InstallTypeMessage("temp"), "Temporary install\n");
  EXPECT_STREQ(InstallTypeMessage(""), "Temporary install\n");
  EXPECT_TRUE(IsAllUsersInstall("perm_all"));
  EXPECT_FALSE(IsAllUsersInstall("perm_user"));
  EXPECT_FALSE(IsAllUsersInstall("PERM_ALL"));
}

TEST_F(SharedDirTest, AllUsersIsProgramDataOnCurrentSystems) {
  sys_.vars["PROGRAMDATA"] = "C:\\ProgramData";
  EXPECT_EQ(AllUsersSharedDir(sys_.View()), "C:\\ProgramData");
  sys_.vars.erase("PROGRAMDATA");
  EXPECT_EQ(AllUsersSharedDir(sys_.View()), std::nullopt);
}

TEST_F(SharedDirTest, AllUsersOnOldSystemsIsCreatedUnderTheProfile) {
  sys_.major = 5;
  std::string expected = Join(root_.string(), "Application Data");
  EXPECT_EQ(AllUsersSharedDir(sys_.View()), expected);
  EXPECT_TRUE(IsFolder(expected));
  sys_.vars.erase("ALLUSERSPROFILE");
  EXPECT_EQ(AllUsersSharedDir(sys_.View()), std::nullopt);
}

TEST_F(SharedDirTest, LocalAppDataThatIsUsableIsReturned) {
  sys_.vars["APPDATA"] = "C:\\Users\\alice\\AppData\\Roaming";
  sys_.writable.insert(sys_.vars["APPDATA"]);
  EXPECT_EQ(UserSharedDir(sys_.View()), sys_.vars["APPDATA"]);
}

TEST_F(SharedDirTest, RoamingAppDataIsReplacedByTheMachineLocalOne) {
  sys_.vars["APPDATA"] = "\\\\server\\profiles\\alice";
  sys_.vars["LOCALAPPDATA"] = "C:\\Users\\alice\\AppData\\Local";
  sys_.vars["USERPROFILE"] = "C:\\Documents and Settings\\alice";
  sys_.writable.insert(sys_.vars["LOCALAPPDATA"]);
  EXPECT_EQ(UserSharedDir(sys_.View()), sys_.vars["LOCALAPPDATA"]);

  // An old system keeps its local data under the profile's "Local Settings".
  sys_.major = 5;
  std::string xp = Join(Join(sys_.vars["USERPROFILE"], "Local Settings"), "Application Data");
  sys_.writable.insert(xp);
  EXPECT_EQ(UserSharedDir(sys_.View()), xp);

  // Without a version the roaming directory itself is the candidate.
  sys_.major = std::nullopt;
  sys_.writable.insert(sys_.vars["APPDATA"]);
  EXPECT_EQ(UserSharedDir(sys_.View()), sys_.vars["APPDATA"]);
}

TEST_F(SharedDirTest, UnusablePathsFallBackToTheShortPathOrTheUserFolder) {
  const std::string nonAscii = "C:\\Users\\J\xC3\xB6rg\\AppData";
  const std::string bang = "C:\\Users\\hey!\\AppData";
  for (const std::string& dir : {nonAscii, bang}) {
    sys_.vars["APPDATA"] = dir;
    sys_.writable = {dir};
    sys_.shortPaths = {{dir, "C:\\Users\\SHORT~1\\AppData"}};
    EXPECT_EQ(UserSharedDir(sys_.View()), "C:\\Users\\SHORT~1\\AppData") << dir;

    // The directory does not exist: the short path is not trusted, the user's own folder is made.
    sys_.writable.clear();
    std::string own = UserSharedDir(sys_.View());
    EXPECT_EQ(own, Join(root_.string(), UserSpecificFolderName("alice")));
    EXPECT_TRUE(IsFolder(own));
  }
  // No short form at all.
  sys_.writable = {bang};
  sys_.shortPaths.clear();
  EXPECT_EQ(UserSharedDir(sys_.View()), Join(root_.string(), UserSpecificFolderName("alice")));
}

TEST_F(SharedDirTest, MissingVariablesNeverLeaveTheUserWithoutADirectory) {
  // No APPDATA: counts as unusable.
  EXPECT_EQ(UserSharedDir(sys_.View()), Join(root_.string(), UserSpecificFolderName("alice")));
  // Roaming APPDATA but no LOCALAPPDATA.
  sys_.vars["APPDATA"] = "\\\\server\\share";
  EXPECT_EQ(UserSharedDir(sys_.View()), Join(root_.string(), UserSpecificFolderName("alice")));
  // Not even ALLUSERSPROFILE: still a path, under the temporary folder.
  sys_.vars.clear();
  sys_.user = "ferrolan-test-user";
  std::string dir = UserSharedDir(sys_.View());
  EXPECT_NE(dir.find("FLUser-"), std::string::npos);
  EXPECT_TRUE(IsFolder(dir));
  std::error_code ec;
  stdfs::remove(dir, ec);
}

TEST(UserSpecificNameTest, HashIsFnv1aOfTheRawBytes) {
  EXPECT_EQ(UserNameHash(""), 2166136261u);
  EXPECT_EQ(UserNameHash("a"), 0xE40C292Cu);
  EXPECT_EQ(UserNameHash("foobar"), 0xBF9CF968u);
  // 0xE40C292C is negative as a signed value: its negation is written.
  EXPECT_EQ(UserSpecificFolderName("a"), "FLUser-468965076-a");
}

TEST(UserSpecificNameTest, HighBytesAreHashedButWrittenAsUnderscores) {
  const std::string name = "J\xF6rg";
  std::uint32_t hash = UserNameHash(name);
  std::int32_t shown = static_cast<std::int32_t>(hash);
  if (shown < 0) shown = static_cast<std::int32_t>(0u - hash);
  EXPECT_EQ(UserSpecificFolderName(name), "FLUser-" + std::to_string(shown) + "-J_rg");
  EXPECT_NE(UserNameHash(name), UserNameHash("J_rg"));
}

TEST(UserSpecificNameTest, TheMostNegativeHashStaysNegative) {
  // A name found by search whose hash is exactly 0x80000000, which has no positive counterpart.
  ASSERT_EQ(UserNameHash(";K$25"), 0x80000000u);
  EXPECT_EQ(UserSpecificFolderName(";K$25"), "FLUser--2147483648-;K$25");
}

TEST(CurrentSystemTest, AllUsersDirectoryIsKnownHere) {
  // Both test platforms are "current" systems, so the all-users directory is PROGRAMDATA; POSIX,
  // where the variable is normally unset, has /var/lib in its place.
  const std::optional<std::string> saved = os::GetEnv("PROGRAMDATA");
  if (CurrentSystem().privateFolder) {
    os::SetEnv("PROGRAMDATA", std::nullopt);
    EXPECT_EQ(AllUsersSharedDir(), "/var/lib");
    os::SetEnv("PROGRAMDATA", "/srv/shared");
    EXPECT_EQ(AllUsersSharedDir(), "/srv/shared");
    os::SetEnv("PROGRAMDATA", saved);
  } else {
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(AllUsersSharedDir(), *saved);
    EXPECT_TRUE(stdfs::is_directory(*saved)) << *saved;
  }
}

// A fresh account on POSIX: no APPDATA, no XDG variable, no ~/.local/share yet. The per-user
// directory is created for the user alone, and the fallback folder is never one in /var/lib
// (which only root may write to) nor one that someone else made first.
TEST(CurrentSystemTest, PerUserPlacesAreOnesTheUserCanCreate) {
  SharedDirSystem system = CurrentSystem();
  if (!system.privateFolder) GTEST_SKIP() << "the Windows folders exist for every user";
  testing::TempFolder temp;
  const stdfs::path home = temp.root() / "home";
  stdfs::create_directory(home);
  const char* names[] = {"APPDATA", "LOCALAPPDATA", "XDG_DATA_HOME", "ALLUSERSPROFILE", "HOME"};
  std::map<std::string, std::optional<std::string>> saved;
  for (const char* name : names) saved[name] = os::GetEnv(name);
  for (const char* name : names) os::SetEnv(name, std::nullopt);
  os::SetEnv("HOME", home.string());

  const std::optional<std::string> appData = system.env("APPDATA");
  const std::optional<std::string> base = system.env("ALLUSERSPROFILE");
  // An XDG data folder whose parents do not exist yet is made whole.
  const stdfs::path nested = home / "elsewhere" / "data";
  os::SetEnv("XDG_DATA_HOME", nested.string());
  const std::optional<std::string> xdgData = system.env("APPDATA");
  for (const auto& [name, value] : saved) os::SetEnv(name.c_str(), value);
  EXPECT_EQ(xdgData, nested.string());
  EXPECT_TRUE(stdfs::is_directory(nested));

  ASSERT_EQ(appData, (home / ".local" / "share").string());
  EXPECT_TRUE(stdfs::is_directory(*appData));
  EXPECT_EQ(stdfs::status(*appData).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
  ASSERT_TRUE(base.has_value());
  EXPECT_EQ(base->rfind("/var/lib", 0), std::string::npos) << *base;

  // The fallback folder: made private; one of that name open to others is not used.
  const std::string mine = (temp.root() / "FLUser-1-me").string();
  EXPECT_EQ(system.privateFolder(mine), mine);
  EXPECT_EQ(stdfs::status(mine).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
  const std::string open = (temp.root() / "FLUser-2-me").string();
  stdfs::create_directory(open);
  stdfs::permissions(open, stdfs::perms::all);
  const std::string replaced = system.privateFolder(open);
  EXPECT_NE(replaced, open);
  EXPECT_EQ(replaced.rfind(open + "-", 0), 0u) << replaced;
  EXPECT_EQ(stdfs::status(replaced).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
}

}  // namespace
}  // namespace ferrolan::fs
