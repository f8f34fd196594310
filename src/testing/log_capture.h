// The log's console redirected into a temporary file for as long as the object lives, so that a
// test can read back what the code under test logged.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ferrolan::testing {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  /// Everything written to the console so far, exactly as written ("+<ms>" prefixes included).
  std::string Text() const;
  /// Whether `text` occurs anywhere in Text().
  bool Has(const std::string& text) const;
  /// Every line written so far without its "+<ms>" timing prefix and its line break.
  std::vector<std::string> Lines() const;
  /// Whether one of Lines() is exactly `line`.
  bool Logged(const std::string& line) const;
  /// How many of Lines() start with `prefix`.
  int CountStartingWith(const std::string& prefix) const;

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

/// `line` without the "+<ms>" prefix the log puts before every message: the delta is written
/// left-aligned in eight columns and followed by one blank. A line without that prefix (the
/// continuation of a message with a line break inside) is returned as it is.
std::string WithoutTimingPrefix(const std::string& line);

}  // namespace ferrolan::testing
