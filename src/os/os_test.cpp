#include "os/os.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace ferrolan::os {
namespace {

TEST(OsTest, ClockIsMonotonicAndCountsMilliseconds) {
  std::uint64_t a = MonotonicMs();
  SleepMs(30);
  std::uint64_t b = MonotonicMs();
  EXPECT_GE(b - a, 25u);  // coarse timers may round, never by a whole tick
}

TEST(OsTest, LocalTimeFieldsAreInRange) {
  LocalTime t = LocalTimeNow();
  EXPECT_GE(t.year, 2000);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12);
  EXPECT_TRUE(t.day >= 1 && t.day <= 31);
  EXPECT_TRUE(t.millisecond >= 0 && t.millisecond <= 999);
}

TEST(OsTest, EnvironmentAndErrorText) {
  EXPECT_FALSE(GetEnv("FERROLAN_SURELY_UNSET_VARIABLE").has_value());
  // PATH exists in every environment the tests run in, natively and under Wine.
  EXPECT_TRUE(GetEnv("PATH").has_value());
  SetEnv("FERROLAN_OS_TEST_VAR", std::string("value 1"));
  EXPECT_EQ(GetEnv("FERROLAN_OS_TEST_VAR"), "value 1");
  SetEnv("FERROLAN_OS_TEST_VAR", std::nullopt);
  EXPECT_FALSE(GetEnv("FERROLAN_OS_TEST_VAR").has_value());
  EXPECT_FALSE(SystemErrorText(2).empty());  // ENOENT / ERROR_FILE_NOT_FOUND
}

TEST(OsTest, DynamicLibraryMissingAndMoved) {
  DynamicLibrary missing("ferrolan-no-such-library-xyz");
  EXPECT_FALSE(missing.IsLoaded());
  EXPECT_EQ(missing.Symbol("anything"), nullptr);
  DynamicLibrary moved(std::move(missing));
  EXPECT_FALSE(moved.IsLoaded());
}

}  // namespace
}  // namespace ferrolan::os
