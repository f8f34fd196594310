#include "testing/log_capture.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "log/log.h"

namespace ferrolan::testing {

LogCapture::LogCapture() : file_(std::tmpfile()) {
  if (!file_) throw std::runtime_error("no temporary file for the log's console");
  log::SetConsoleForTesting(file_.get());
  // The prefixes then start from "+0", whatever ran in this process before.
  log::ResetTimingForTesting();
}

LogCapture::~LogCapture() {
  log::SetConsoleForTesting(nullptr);
  log::ResetTimingForTesting();
}

std::string LogCapture::Text() const {
  std::FILE* file = file_.get();
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    text.append(buffer, got);
  // Later messages are appended, not written over what was read.
  std::fseek(file, 0, SEEK_END);
  return text;
}

bool LogCapture::Has(const std::string& text) const {
  return Text().find(text) != std::string::npos;
}

std::vector<std::string> LogCapture::Lines() const {
  const std::string text = Text();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(WithoutTimingPrefix(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

bool LogCapture::Logged(const std::string& line) const {
  const std::vector<std::string> lines = Lines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int LogCapture::CountStartingWith(const std::string& prefix) const {
  const std::vector<std::string> lines = Lines();
  return static_cast<int>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
}

std::string WithoutTimingPrefix(const std::string& line) {
  constexpr std::size_t kDeltaColumns = 8;
  if (line.empty() || line[0] != '+') return line;
  std::size_t digits = 1;
  while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
  if (digits == 1) return line;
  const std::size_t text = std::max(digits, 1 + kDeltaColumns) + 1;
  return text >= line.size() ? std::string() : line.substr(text);
}

}  // namespace ferrolan::testing
