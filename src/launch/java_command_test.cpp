#include "launch/java_command.h"

#include <gtest/gtest.h>

#include "testing/temp_folder.h"

namespace ferrolan::launch {
namespace {

using JavaCommandTest = testing::LoggedTempFolderTest;

TEST_F(JavaCommandTest, BuildSpawnArgumentsOrder) {
  EXPECT_EQ(BuildSpawnArguments("java", "C", {}, {}, {}), (std::vector<std::string>{"java", "C"}));
  std::string cp = std::string("a.jar") + ClasspathSeparator() + "b.jar";
  EXPECT_EQ(BuildSpawnArguments("java", "Main", {"-Xmx1g", "-Dk=v"}, {"a.jar", "b.jar"}, {"x"}),
            (std::vector<std::string>{"java", "-Xmx1g", "-Dk=v", "-cp", cp, "Main", "x"}));
  EXPECT_TRUE(Logged("[Extractor][Spawn][4] " + cp));
}

}  // namespace
}  // namespace ferrolan::launch
