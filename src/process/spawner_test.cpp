#include "process/spawner.h"

#include <chrono>
#include <thread>

#include "fs/path.h"
#include "fs/pe_patch.h"
#include "testing/files.h"
#include "testing/temp_folder.h"

namespace ferrolan::process {
namespace {

namespace stdfs = std::filesystem;

// Reads back what argv_echo wrote: one "<length>:<bytes>\n" record per argument.
std::vector<std::string> ReadEcho(const std::string& path) {
  std::string text = ferrolan::testing::ReadFile(path);
  std::vector<std::string> arguments;
  for (std::size_t at = 0, colon; (colon = text.find(':', at)) != std::string::npos;) {
    std::size_t length = std::stoul(text.substr(at, colon - at));
    arguments.push_back(text.substr(colon + 1, length));
    at = colon + 1 + length + 1;
  }
  return arguments;
}

class SpawnerTest : public ferrolan::testing::LoggedTempFolderTest {
 protected:
  // A Spawner that runs `program` (argv_echo) writing to `output` and exiting with `code`.
  static Spawner Echo(const std::string& output, int code, const std::vector<std::string>& args,
                      const std::string& program = FERROLAN_ARGV_ECHO) {
    Spawner spawner = SpawnerCreate();
    SpawnerSetExe(spawner, program);
    SpawnerAppend(spawner, output);
    SpawnerAppend(spawner, std::to_string(code));
    for (const std::string& argument : args) SpawnerAppend(spawner, argument);
    return spawner;
  }
};

TEST(SpawnerQuoting, OnlyQuotesAndBackslashesBeforeThemAreEscaped) {
  EXPECT_EQ(QuoteArgument("C:\\J\\bin\\app.exe"), "\"C:\\J\\bin\\app.exe\"");
  EXPECT_EQ(QuoteArgument("with space"), "\"with space\"");
  EXPECT_EQ(QuoteArgument(""), "\"\"");
  EXPECT_EQ(QuoteArgument("C:\\dir\\"), "\"C:\\dir\\\\\"");
  EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteArgument("a\\\"b"), "\"a\\\\\\\"b\"");
}

TEST_F(SpawnerTest, CommandLineAndTableLimits) {
  Spawner spawner = SpawnerCreate();
  SpawnerSetExe(spawner, "C:\\J\\bin\\app.exe");
  SpawnerAppend(spawner, "-cp");
  SpawnerAppend(spawner, "a.jar");
  EXPECT_EQ(BuildCommandLine(spawner), "\"C:\\J\\bin\\app.exe\" \"-cp\" \"a.jar\" ");
  EXPECT_TRUE(Logged("[Spawner] Setting spawner exe to C:\\J\\bin\\app.exe"));
  while (spawner.arguments.size() < Spawner::kMaxArguments) SpawnerAppend(spawner, "x");
  SpawnerAppend(spawner, "one-too-many");
  EXPECT_EQ(spawner.arguments.size(), Spawner::kMaxArguments);
  EXPECT_EQ(spawner.arguments.back(), "x");
  EXPECT_TRUE(Logged("[Spawner] WARNING: couldn't append argument one-too-many"));

  // A line that would not fit is refused without starting anything.
  Spawner tooLong = Echo(Path("never"), 0, {std::string(Spawner::kCommandLineCapacity, 'y')});
  EXPECT_FALSE(BuildCommandLine(tooLong).has_value());
  EXPECT_EQ(runSpawnerAndWait(tooLong), -1);
  EXPECT_EQ(SpawnerRun(tooLong), -1);
}

TEST_F(SpawnerTest, ChildReceivesEveryArgumentIntactAndItsExitCodeComesBack) {
  const std::vector<std::string> arguments = {"plain",
                                              "with space",
                                              "",
                                              "trailing\\",
                                              "C:\\dir with space\\",
                                              "say \"hi\"",
                                              "a\\\"b",
                                              "\\\\server\\share",
                                              "tab\there",
                                              "\"",
                                              "\\"};
  Spawner spawner = Echo(Path("echo.txt"), 72, arguments);
  EXPECT_EQ(runSpawnerAndWait(spawner), 72);
  EXPECT_EQ(ReadEcho(Path("echo.txt")), arguments);
  EXPECT_TRUE(Logged("[Spawner] Creating command line '" + *BuildCommandLine(spawner) + "'"));
  EXPECT_EQ(Lines().back(), "[Spawner] runSpawnerAndWait returned 72");
}

// A helper's chatter goes into the capture, not onto the launcher's console; the capture is
// bounded and the child still runs to its end (a full pipe would block it).
TEST_F(SpawnerTest, QuietRunCapturesBothStreamsUpToTheLimit) {
  Spawner spawner = SpawnerCreate();
  SpawnerSetExe(spawner, FERROLAN_ARGV_ECHO);
  for (const char* argument : {"-", "7", "hello"}) SpawnerAppend(spawner, argument);
  std::string output;
  EXPECT_EQ(runSpawnerAndWaitQuietly(spawner, output), 7);
  // (Lines end in CR LF on Windows, where the child's streams are in text mode.)
  EXPECT_EQ(output.rfind("5:hello", 0), 0u) << output.substr(0, 40);
  EXPECT_NE(output.find("to stderr"), std::string::npos);
  EXPECT_EQ(output.size(), 64u * 1024u);
}

TEST_F(SpawnerTest, RunReturnsWithoutWaiting) {
  Spawner spawner = Echo(Path("later.txt"), 0, {"one", "two words"});
  EXPECT_EQ(SpawnerRun(spawner), 0);
  EXPECT_TRUE(Logged("[Spawner] Executing command '" + *BuildCommandLine(spawner) + "'"));
  EXPECT_EQ(Lines().back(), "[Spawner] Create process seems to have worked");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!stdfs::exists(Path("later.txt")) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ReadEcho(Path("later.txt")), (std::vector<std::string>{"one", "two words"}));
}

TEST_F(SpawnerTest, MissingExecutableFailsWithTheSystemCode) {
  Spawner spawner = Echo(Path("never"), 0, {}, Path("missing-program.exe"));
  EXPECT_EQ(runSpawnerAndWait(spawner), -1);
  EXPECT_EQ(Lines().back(), "CreateProcess failed (2).");
  EXPECT_EQ(SpawnerRun(spawner), -1);
  EXPECT_EQ(Lines().back(), "CreateProcess failed (2).");
}

// The windowed-program patch on a real executable of this platform: a PE image gets its
// Subsystem byte set, another kind of program is left alone; either way it still runs.
TEST_F(SpawnerTest, PatchedProgramStillRuns) {
  stdfs::copy_file(FERROLAN_ARGV_ECHO, Path("patched.exe"));
  const bool patched =
      fs::SetWindowsSubsystemByte(Path("patched.exe")) == fs::SubsystemPatch::kPatched;
  EXPECT_EQ(patched, fs::PathSeparator() == '\\');
  Spawner spawner = Echo(Path("out.txt"), 5, {"still here"}, Path("patched.exe"));
  EXPECT_EQ(runSpawnerAndWait(spawner), 5);
  EXPECT_EQ(ReadEcho(Path("out.txt")), std::vector<std::string>{"still here"});
}

}  // namespace
}  // namespace ferrolan::process
