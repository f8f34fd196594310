#include "tail/params.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fs/owned_file.h"
#include "fs/path.h"
#include "pipeline/stages.h"
#include "tail/markers.h"
#include "tail/params_locator.h"
#include "testing/log_capture.h"
#include "testing/tail_builder.h"
#include "testing/temp_folder.h"

namespace ferrolan::tail {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// A Params section after its marker, in a buffer whose producer has finished.
std::shared_ptr<pipeline::RingBuffer> Section(const std::string& count, const Pairs& pairs) {
  std::string bytes = count + '\0';
  for (const auto& [name, value] : pairs) bytes += name + '\0' + value + '\0';
  auto buffer = pipeline::RingBuffer_create(3, 204800);
  pipeline::RingBuffer_write(*buffer, bytes.data(), static_cast<int>(bytes.size()));
  pipeline::RingBuffer_close(*buffer);
  return buffer;
}

class ParamsTest : public ::testing::Test {
 protected:
  DynamicProperties Process(const std::string& count, const Pairs& pairs, bool prepare = false) {
    return ProcessParamsFrom(*Section(count, pairs), list_, prepare);
  }
  testing::LogCapture log_;
  LaunchPropertiesBlock list_;
};

TEST(LaunchPropertiesBlockTest, EntriesEmptyValueMarkerAndDoubleNul) {
  LaunchPropertiesBlock list;
  EXPECT_EQ(list.Bytes(), std::string(2, '\0'));
  list.AppendToLastEntry("abc");  // on an empty block: the first string
  list.AppendToLastEntry("");     // changes nothing
  AddDynamicProperty(list, "e", "");
  EXPECT_EQ(list.Bytes(), std::string("abc\0fldyna_e\0\x04\0\0", 16));
  // The block grows instead of overrunning its usual size.
  AddStaticProperty(list, "big", std::string(250000, 'v'));
  EXPECT_EQ(list.Entries().size(), 5u);
}

TEST(Base64Test, DecodesPaddingAndRejectsUnalignedInput) {
  testing::LogCapture log;
  auto text = [](std::string_view in) {
    auto bytes = DecodeBase64(in);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<none>");
  };
  EXPECT_EQ(text("TWFu"), "Man");
  EXPECT_EQ(text("TWE="), "Ma");
  EXPECT_EQ(text("TQ=="), "M");
  EXPECT_EQ(text("+/+/"), "\xFB\xFF\xBF");
  EXPECT_EQ(text(""), "");
  EXPECT_TRUE(log.Has("[DynProps] Decode complete [image size is 0]\n"));
  EXPECT_EQ(text("TWF"), "<none>");
  EXPECT_TRUE(log.Has("[Extractor] Base64 deconding failed as input_length is not aligned\n"));
}

TEST_F(ParamsTest, InterpretsKeysAndPassesEveryPropertyOn) {
  DynamicProperties state = Process("11", {{"update_url", "http://up/x"},
                                           {"match_versions", "true"},
                                           {"wrapper_autotest", "false"},
                                           {"show_no_ui", "true"},
                                           {"show_no_ui", "false"},
                                           {"force_spawn", "true"},
                                           {"splash_buffer", "12"},
                                           {"splash_image", "TWFu"},
                                           {"jre_name", std::string(6000, 'j')},
                                           {"desktop_shortcut", "true"},
                                           {"publisher", "Example Ltd"}});
  EXPECT_EQ(state.count, 11);
  EXPECT_EQ(state.updateUrl, "http://up/x");
  EXPECT_TRUE(state.hasUpdateUrl);
  EXPECT_TRUE(state.autoTest);  // present, whatever its value
  EXPECT_TRUE(state.silent);    // only ever set
  EXPECT_TRUE(state.forceSpawn);
  EXPECT_EQ(state.splashBorder, 12);
  ASSERT_TRUE(state.splashImage);
  EXPECT_EQ(std::string(state.splashImage->begin(), state.splashImage->end()), "Man");
  EXPECT_EQ(state.jreName->size(), kJreNameMaxLength);  // cut to its path buffer
  EXPECT_TRUE(state.desktopShortcut);
  EXPECT_EQ(state.publisher, "Example Ltd");
  std::vector<std::string> entries = list_.Entries();
  ASSERT_EQ(entries.size(), 22u);
  EXPECT_EQ(entries[0] + "=" + entries[1], "fldyna_update_url=http://up/x");
  EXPECT_EQ(entries[17].size(), 6000u);  // the Java side gets it whole
  for (const char* line :
       {"+++ Processing 11 dynamic properties\n", "[DynProps] Dynamic Update URL: http://up/x\n",
        "[DynProps] Splash Image is TWFu\n", "Base64 decoding image...\n",
        "--- End: Processing dynamic properties"}) {
    EXPECT_TRUE(log_.Has(line)) << line;
  }
  EXPECT_FALSE(log_.Has("Will not show UI"));
  // An empty value is a value given.
  EXPECT_TRUE(Process("1", {{"update_url", ""}}).hasUpdateUrl);
  EXPECT_FALSE(Process("1", {{"jre_name", "j"}}).hasUpdateUrl);
}

TEST_F(ParamsTest, EmptyValuesLongValuesAndPrepareOnly) {
  std::string v100(100, 'a'), v101(101, 'b');
  DynamicProperties state = Process(
      "5",
      {{"splash_buffer", ""}, {"k100", v100}, {"k101", v101}, {"splash_image", v100}, {"e", ""}},
      true);
  EXPECT_EQ(state.splashBorder, 0);  // an empty value leaves it
  EXPECT_FALSE(state.forceSpawn);
  EXPECT_FALSE(state.desktopShortcut);
  ASSERT_TRUE(state.splashImage);
  EXPECT_EQ(state.splashImage->size(), 75u);
  EXPECT_EQ(list_.Entries().back(), "\x04");
  EXPECT_TRUE(log_.Has("Dynamic Param 1: k100=[" + v100 + "]\n"));
  EXPECT_TRUE(log_.Has("Dynamic Param 2: k101=[" + std::string(99, 'b') + "...]\n"));
  EXPECT_TRUE(log_.Has("Splash Image is " + std::string(99, 'a') + "...\n"));
  EXPECT_TRUE(
      log_.Has("This is an elevated run purely to prepare an installation. Will not "
               "show UI or launch an app\n"));
}

// A count the pairs do not fill or a value beyond its limit ends the section early, keeping
// what came before; an unreadable count means no properties.
TEST_F(ParamsTest, BadSectionsEndEarly) {
  EXPECT_EQ(Process("1000000", {{"a", "1"}, {"big", std::string(200000, 'v')}}).count, 1000000);
  EXPECT_EQ(list_.Entries().size(), 2u);
  EXPECT_TRUE(
      log_.Has("[DynProps] Dynamic Param 1 could not be read; stopping after 1 "
               "properties\n"));
  LaunchPropertiesBlock fits;
  ProcessParamsFrom(*Section("1", {{"big", std::string(199999, 'v')}}), fits, false);
  EXPECT_EQ(fits.Entries().size(), 2u);
  auto noCount = pipeline::RingBuffer_create(3, 100);
  pipeline::RingBuffer_close(*noCount);
  LaunchPropertiesBlock none;
  EXPECT_EQ(ProcessParamsFrom(*noCount, none, false).count, -1);
  EXPECT_TRUE(log_.Has("+++ Processing -1 dynamic properties\n"));
}

TEST_F(ParamsTest, WindowsAppIdNeverStopsTheRun) {
  Process("2", {{"windows_app_id", "Vendor.Demo"}, {"after", "x"}});
  for (const char* line : {"[DynProps] Windows APP ID is Vendor.Demo\n",
                           "[Extractor] Asked to set the Windows APP ID to 'Vendor.Demo'\n",
                           "[Extractor] Loading shell32\n", "Dynamic Param 1: after=[x]\n"}) {
    EXPECT_TRUE(log_.Has(line)) << line;
  }
  // On Windows the call is made and its outcome logged; without shell32 nothing follows.
  bool found = log_.Has("Finding procedure address for SetCurrentProcessExplicitAppUserModelID");
  EXPECT_EQ(found, fs::PathSeparator() == '\\');
  EXPECT_EQ(found, log_.Has("Setting app ID to Vendor.Demo (Vendor.Demo)\n"));
  EXPECT_EQ(found, log_.Has("Set App ID OK\n") || log_.Has("failed with error"));
}

// Reads the Params section of the launcher file `path` as ProcessParams does, with a file reader
// on its own thread, but gives up after a time-out: the buffer is then closed, which releases
// both threads, so a hang fails the test instead of stalling the run.
struct TimedParams {
  bool finished = false;
  int count = 0;
  std::size_t entries = 0;
};
TimedParams ProcessParamsWithin(const std::string& path, std::chrono::seconds limit) {
  fs::OwnedFile file = fs::OpenFile(path, "rb");
  if (!file || !LocateParamsMarker(file.get())) return {};
  pipeline::FileReaderPipe pipe = pipeline::StartFileReader(std::move(file));
  LaunchPropertiesBlock list;
  std::atomic<bool> done{false};
  TimedParams result;
  std::thread consumer([&] {
    result.count = ProcessParamsFrom(*pipe.buffer, list, false).count;
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  result.finished = done;
  pipeline::RingBuffer_close(*pipe.buffer);
  consumer.join();
  pipe.reader.Join();
  result.entries = list.Entries().size();
  return result;
}

// Values close to the limit fill most of the file reader's buffer; the reader's chunks must
// still get in while a field waits for its end, whatever the sizes and their alignment.
TEST(ParamsFileTest, LargeValuesNeverHangTheReader) {
  testing::LogCapture log;
  testing::TempFolder folder("params_large_values");
  const std::vector<std::pair<int, std::size_t>> cases = {{3, 185000}, {3, 190000}, {3, 180000},
                                                          {2, 199990}, {3, 175000}, {4, 199999},
                                                          {3, 160001}, {5, 154000}, {3, 153601}};
  for (const auto& [count, size] : cases) {
    testing::LauncherLayout layout;
    layout.params.clear();
    for (int i = 0; i < count; ++i) {
      layout.params.emplace_back("key" + std::to_string(i),
                                 std::string(size, static_cast<char>('a' + i)));
    }
    layout.params.emplace_back("after", "x");
    layout.count = std::to_string(layout.params.size());
    const std::string path = folder.Write("launcher.bin", layout.Build());
    TimedParams result = ProcessParamsWithin(path, std::chrono::seconds(10));
    EXPECT_TRUE(result.finished) << count << " values of " << size << " bytes hang";
    EXPECT_EQ(result.count, count + 1);
    EXPECT_EQ(result.entries, 2u * static_cast<std::size_t>(count + 1))
        << count << " values of " << size << " bytes";
  }
}

TEST(StaticPropertiesTest, AddedInTheirOrder) {
  testing::LogCapture log;
  testing::LauncherLayout layout;
  TailFields tail;
  for (std::size_t i = 0; i < kTailFieldLayout.size(); ++i) {
    tail.*kTailFieldLayout[i].member = layout.fields[i];
  }
  tail.silentParameter = "";
  LaunchPropertiesBlock list;
  AddStaticProperties(list, tail, true);
  std::string joined;
  for (const std::string& entry : list.Entries()) joined += entry + ",";
  EXPECT_EQ(joined,
            "flstat_update_url,D,flstat_install_type,perm_all,flstat_min_splash_ms,700,"
            "flstat_flsig_public_key,30820222,flstat_can_override_splash,1,flstat_app_name,"
            "Demo App,flstat_wrapper_app_version,00052861074,flstat_wrapper_gu_version,"
            "00000000042,flstat_silent_parameter,\x04,flstat_java_version,5,flstat_show_no_ui,"
            "true,");
  EXPECT_TRUE(log.Has("[Extractor] Setting up static properties\n"));
}

}  // namespace
}  // namespace ferrolan::tail
