#include "desktop/desktop_entry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace ferrolan::desktop {
namespace {

TEST(DesktopEntryTest, SanitisedNamesAreFileNamesAndNeverCollide) {
  EXPECT_EQ(SanitisedName("Demo-App.2"), "Demo-App.2");
  EXPECT_EQ(SanitisedName("Full App"), "Full_20App");
  EXPECT_EQ(SanitisedName("a/b\\c"), "a_2Fb_5Cc");
  EXPECT_EQ(SanitisedName("\xC3\xA9t\xC3\xA9"), "_C3_A9t_C3_A9");
  EXPECT_EQ(DesktopFileId("Full App"), "ferrolan-Full_20App");
  // The escape character itself is escaped: names that a lossy rule would merge stay apart.
  std::set<std::string> ids;
  for (const char* name : {"a b", "a_b", "a_20b", "a-b", "a.b", "ab", "a__b", "a_5Fb"})
    EXPECT_TRUE(ids.insert(SanitisedName(name)).second) << name;
}

TEST(DesktopEntryTest, ExecArgumentsAreQuotedAndEscapedTwice) {
  EXPECT_EQ(QuoteExecArgument("/opt/Ferrolan-App/App"), "\"/opt/Ferrolan-App/App\"");
  EXPECT_EQ(QuoteExecArgument("/x/My App"), "\"/x/My App\"");
  // '$', '`' and '"' get one backslash; that backslash and a literal one are then escaped
  // again as string values are, so a literal backslash ends up as four.
  EXPECT_EQ(QuoteExecArgument("a$b`c\"d"), "\"a\\\\$b\\\\`c\\\\\"d\"");
  EXPECT_EQ(QuoteExecArgument("a\\b"), "\"a\\\\\\\\b\"");
  EXPECT_EQ(QuoteExecArgument("100%"), "\"100%%\"");  // not a field code
}

TEST(DesktopEntryTest, EntryTextAndOwnership) {
  const std::string text = DesktopEntryText(
      {"My App", "/data/Ferrolan-My App/My App", "ferrolan-My_20App", "/data/Ferrolan-My App"});
  EXPECT_EQ(text,
            "[Desktop Entry]\nType=Application\nName=My App\n"
            "Exec=\"/data/Ferrolan-My App/My App\"\nIcon=ferrolan-My_20App\nTerminal=false\n"
            "Categories=Utility;\nX-Ferrolan-MasterFolder=/data/Ferrolan-My App\n");
  EXPECT_EQ(DesktopEntryText({"A\nB", "/a", "", "/m"}).find("Icon="), std::string::npos);
  EXPECT_NE(DesktopEntryText({"A\nB", "/a", "", "/m"}).find("Name=A\\nB\n"), std::string::npos);

  EXPECT_TRUE(IsOurDesktopEntry(text, "/data/Ferrolan-My App"));
  // Another installation of the same name (another root), a prefix of our folder, a file that
  // only mentions the folder somewhere, and a file that is no entry: all someone else's.
  EXPECT_FALSE(IsOurDesktopEntry(text, "/other/Ferrolan-My App"));
  EXPECT_FALSE(IsOurDesktopEntry(text, "/data/Ferrolan-My"));
  EXPECT_FALSE(IsOurDesktopEntry("[Desktop Entry]\nComment=X-Ferrolan-MasterFolder=/m\n", "/m"));
  EXPECT_FALSE(IsOurDesktopEntry("X-Ferrolan-MasterFolder=/m\n", "/m"));
}

TEST(DesktopEntryTest, UninstallCommandAndEntryName) {
  EXPECT_EQ(UninstallCommand("C:\\ProgramData\\Ferrolan-My App\\My App.exe"),
            "\"C:\\ProgramData\\Ferrolan-My App\\My App.exe\" FLUNINSTALL");
  EXPECT_EQ(EntryName("My App"), "Ferrolan-My App");
}

}  // namespace
}  // namespace ferrolan::desktop
