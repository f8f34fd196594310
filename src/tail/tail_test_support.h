// Helpers shared by the tail tests: a temp folder per test, a capture of the log's console, and
// a launcher file laid out as the packager writes it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "log/log.h"
#include "tail/markers.h"

namespace ferrolan::tail::testing {

template <typename Marker>
std::string Bytes(const Marker& marker) {
  return std::string(marker.begin(), marker.end());
}

class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("ferrolan-tail-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::filesystem::path path_;
};

class LogCapture {
 public:
  LogCapture() : file_(std::tmpfile()) { log::SetConsoleForTesting(file_); }
  ~LogCapture() {
    log::SetConsoleForTesting(nullptr);
    std::fclose(file_);
  }
  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string out;
    for (int c; (c = std::fgetc(file_)) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }
  bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }

 private:
  std::FILE* file_;
};

/// Image, tail marker, fields, entries, the Params marker, count, pairs and padding.
struct LauncherLayout {
  std::string image = "MZ-image";
  std::vector<std::string> fields = {"Demo App", "00052861074", "",  "00000000042",
                                     "700",      "30820222",    "1", "perm_all",
                                     "/S",       "5",           "D"};
  std::string count = "2";
  std::vector<std::pair<std::string, std::string>> params = {{"jre_name", "jre-17"},
                                                             {"update_url", "http://u/"}};

  static std::string Fields(const std::vector<std::string>& values) {
    std::string out;
    for (const std::string& value : values) out += value + '\0';
    return out;
  }
  std::string Build() const {
    std::string out = image + Bytes(TailMarker()) + Fields(fields) + "entry-bytes" + '\0' +
                      "signature-table" + Bytes(ParamsMarker()) + count + '\0';
    for (const auto& [name, value] : params) out += Fields({name, value});
    return out + std::string(8, '\0');
  }
};

}  // namespace ferrolan::tail::testing
