#include "tail/params_locator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tail/markers.h"
#include "testing/log_capture.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::tail {
namespace {

using testing::AsString;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string Entry(const std::string& type, const std::string& path, const std::string& content) {
  std::string out = type + '\0' + path + '\0';
  if (type != "1") out += std::to_string(content.size()) + '\0' + content;
  return out;
}

// The eleven tail fields with the given versions; the rest as a packager writes them.
std::string Fields(const std::string& appVersion, const std::string& jreVersion) {
  return testing::Fields({"Demo App", appVersion, jreVersion, "00000000001", "700", "3082", "1",
                          "perm_all", "", "11", "D"});
}

std::string Params() { return AsString(ParamsMarker()) + "2" + '\0' + "k" + '\0' + "v" + '\0'; }

// Locates the Params in `bytes` and returns what follows the marker (up to 8 bytes), or
// "<none>" when there is none.
std::string After(const testing::TempFolder& temp, const std::string& bytes) {
  File f(std::fopen(temp.Write("launcher", bytes).c_str(), "rb"), &std::fclose);
  if (!LocateParamsMarker(f.get())) return "<none>";
  std::string next(8, '\0');
  next.resize(std::fread(next.data(), 1, next.size(), f.get()));
  return next;
}

// The search starts after the entries the fields announce: a copy of the marker inside a
// carried file is stepped over with the file, whatever the entry types, and the count after
// the real marker is what the stream delivers next.
TEST(LocateParamsMarkerTest, StepsOverTheAnnouncedEntries) {
  testing::TempFolder temp;
  testing::LogCapture log;
  const std::string decoy = "x" + AsString(ParamsMarker()) + "9";
  struct Build {
    const char* appVersion;
    const char* jreVersion;
    int entries;
  };
  for (const Build& build :
       {Build{"", "", 5}, Build{"00000000002", "", 7}, Build{"00000000002", "00000000017", 8}}) {
    std::string bytes =
        "MZ image" + AsString(TailMarker()) + Fields(build.appVersion, build.jreVersion);
    bytes += Entry("0", "lzma.exe", decoy);
    bytes += Entry("1", "folder", "");
    bytes += Entry("0", "empty", "");
    bytes += Entry("2", "packed.jar", decoy + decoy);
    for (int i = 4; i < build.entries; ++i) bytes += Entry("0", "e" + std::to_string(i), decoy);
    bytes += "signature table" + Params();
    EXPECT_EQ(After(temp, bytes), std::string("2\0k\0v\0", 6)) << build.entries;
  }
  EXPECT_FALSE(log.Has("Could not find marker"));
}

// Whenever the entries are not as announced, the answer is the full search's: the first
// marker in the file, even one inside a carried file.
TEST(LocateParamsMarkerTest, FallsBackToTheFirstMarkerInTheFile) {
  testing::TempFolder temp;
  const std::string head = "MZ image" + AsString(TailMarker()) + Fields("00000000002", "");
  const std::string decoy = AsString(ParamsMarker()) + "9";
  const std::vector<std::string> brokenEntries = {
      Entry("0", "a", decoy) + Entry("0", "b", "x"),  // two of the seven announced entries
      Entry("0", "a", decoy) + "0" + '\0' + "b" + '\0' + "12x" + '\0',  // not a plain length
      Entry("0", "a", decoy) + Entry("00", "b", "x"),                   // not exactly a type
      Entry("0", "a", decoy) + Entry("0", "b", std::string(20, 'x')).substr(0, 10),  // cut short
  };
  for (const std::string& entries : brokenEntries) {
    EXPECT_EQ(After(temp, head + entries + Params()).substr(0, 1), "9") << entries.size();
  }
  // No tail marker at all, and an entry whose length runs past the file's end.
  EXPECT_EQ(After(temp, "image" + decoy + Params()).substr(0, 1), "9");
  EXPECT_EQ(After(temp, head + Entry("0", "a", decoy) + "0" + '\0' + "b" + '\0' + "999" + '\0')
                .substr(0, 1),
            "9");
}

// A missing Params marker is reported once, as the full search reports it.
TEST(LocateParamsMarkerTest, NoMarkerIsReportedOnce) {
  testing::TempFolder temp;
  testing::LogCapture log;
  std::string bytes = "MZ image" + AsString(TailMarker()) + Fields("", "");
  for (int i = 0; i < 5; ++i) bytes += Entry("0", "e", "content");
  EXPECT_EQ(After(temp, bytes + "padding"), "<none>");
  const std::string text = log.Text();
  const std::string message = "Could not find marker: Params\n";
  ASSERT_NE(text.find(message), std::string::npos);
  EXPECT_EQ(text.find(message), text.rfind(message));
  EXPECT_EQ(text.find("Tail"), std::string::npos);
}

}  // namespace
}  // namespace ferrolan::tail
