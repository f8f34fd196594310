#include "jre/cacerts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/temp_folder.h"

namespace ferrolan::jre {
namespace {

namespace stdfs = std::filesystem;

class CacertsTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  std::string Jre() const { return Path("jre"); }
  std::string Target() const { return TrustStorePath(Jre()); }
  std::string Override() { return Write("cacerts", "new trust store"); }
  void JreWithTrustStore(const std::string& content) {
    stdfs::create_directories(Path("jre/lib/security"));
    Write("jre/lib/security/cacerts", content);
  }
  bool NoStagingLeft() const {
    for (const auto& entry : stdfs::directory_iterator(Path("jre/lib/security"))) {
      if (entry.path().filename() != "cacerts") return false;
    }
    return true;
  }
};

TEST_F(CacertsTest, ReplacesTheJresTrustStore) {
  JreWithTrustStore("old trust store");
  std::string override = Override();
  OverrideCacerts(override, Jre());
  EXPECT_EQ(Read(Target()), "new trust store");
  EXPECT_EQ(Read(override), "new trust store");
  EXPECT_TRUE(Logged("[Extractor] CACerts path " + override + " exists"));
  EXPECT_TRUE(Logged("[Extractor] TargetCACerts path is " + Target()));
  EXPECT_TRUE(Logged("[Extractor] Removing old cacerts file"));
  EXPECT_TRUE(Logged("[Extractor] Result = 0"));
  EXPECT_TRUE(Logged("[Extractor] Copying FILE " + Target()));
  EXPECT_TRUE(NoStagingLeft());
}

TEST_F(CacertsTest, JreWithoutTrustStoreGetsTheOverrideWhenItsFolderExists) {
  stdfs::create_directories(Path("jre/lib/security"));
  OverrideCacerts(Override(), Jre());
  EXPECT_EQ(Read(Target()), "new trust store");
  EXPECT_FALSE(Logged("[Extractor] Removing old cacerts file"));
  EXPECT_TRUE(NoStagingLeft());

  // Without lib/security nothing is created: the JRE is left as it is.
  stdfs::create_directories(Path("bare"));
  OverrideCacerts(Path("cacerts"), Path("bare"));
  EXPECT_FALSE(stdfs::exists(Path("bare/lib")));
}

TEST_F(CacertsTest, UnreadableOverrideKeepsTheOldTrustStore) {
  JreWithTrustStore("old trust store");
  OverrideCacerts(Path("missing-cacerts"), Jre());
  EXPECT_EQ(Read(Target()), "old trust store");
  EXPECT_TRUE(
      Logged("[Extractor] *************************** Unable to open source file for copy " +
             Path("missing-cacerts")));
  EXPECT_FALSE(Logged("[Extractor] Removing old cacerts file"));
}

TEST_F(CacertsTest, FailedWriteKeepsTheOldTrustStore) {
  JreWithTrustStore("old trust store");
  // A folder where the new content would be written makes the write fail.
  stdfs::create_directories(Target() + ".ferrolan-new");
  OverrideCacerts(Override(), Jre());
  EXPECT_EQ(Read(Target()), "old trust store");
  EXPECT_FALSE(Logged("[Extractor] Removing old cacerts file"));
}

TEST_F(CacertsTest, MainFlowStepOverridesOnlyWhenTheUpdaterCarriesATrustStore) {
  JreWithTrustStore("old trust store");
  ApplyCacertsOverride(Path("cacerts"), Jre());
  EXPECT_TRUE(Logged("[Extractor] JRE setup. Overriding cacerts."));
  EXPECT_TRUE(Logged("[Extractor] Override CACerts does not exist."));
  EXPECT_EQ(Read(Target()), "old trust store");

  ApplyCacertsOverride(Override(), Jre());
  EXPECT_EQ(Read(Target()), "new trust store");
}

}  // namespace
}  // namespace ferrolan::jre
