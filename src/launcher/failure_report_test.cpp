#include "launcher/failure_report.h"

#include <gtest/gtest.h>

#include "launcher/main_flow.h"

namespace ferrolan::launcher {
namespace {

TEST(FailureReportTest, MessageNamesTheApplicationTheReasonAndTheLog) {
  EXPECT_EQ(FailureMessage("Demo App", "Its launch file cannot be read.", "/m/logs/Wrapper-1.log"),
            "Demo App could not be installed or started.\n\nIts launch file cannot be read.\n\n"
            "The log has the details: /m/logs/Wrapper-1.log");
  // Before the tail is read there is no name, and before the log is open no log.
  EXPECT_EQ(FailureMessage("", "", ""), "The application could not be installed or started.");
}

TEST(FailureReportTest, ThrowableTextLosesOnlyAClassNameInFront) {
  EXPECT_EQ(UserFacingThrowable("java.lang.IllegalStateException: Demo cannot start: x: y"),
            "Demo cannot start: x: y");
  EXPECT_EQ(UserFacingThrowable("a.B$Inner: message"), "message");
  EXPECT_EQ(UserFacingThrowable("java.lang.OutOfMemoryError"), "java.lang.OutOfMemoryError");
  EXPECT_EQ(UserFacingThrowable("Not a class: message"), "Not a class: message");
}

}  // namespace
}  // namespace ferrolan::launcher
