#include "pack/format/launch_file_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace ferrolan::pack {
namespace {

TEST(LaunchFileWriterTest, RefusesFieldsTheLauncherWouldCutShort) {
  LaunchSettings settings{"a.B", {"a.jar"}, {}, {}, 0, 0};
  EXPECT_EQ(CheckLaunchSettings(settings, "App", "app"), "");
  settings.javaOptions = {std::string(1023, 'x')};  // with its NUL, the whole field
  EXPECT_EQ(CheckLaunchSettings(settings, "App", "app"), "");
  settings.javaOptions = {std::string(1024, 'x')};
  EXPECT_NE(CheckLaunchSettings(settings, "App", "app"), "");
  settings.javaOptions = {std::string("a\0b", 3)};
  EXPECT_NE(CheckLaunchSettings(settings, "App", "app"), "");
  settings.javaOptions = {};
  settings.classpath = {};
  EXPECT_NE(CheckLaunchSettings(settings, "App", "app"), "");
}

}  // namespace
}  // namespace ferrolan::pack
