// Environment variables changed for one test and put back afterwards, so that a test of code
// that reads the environment leaves the process as it found it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ferrolan::testing {

class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  /// Restores every variable it changed to the value it had before the first change.
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  /// Sets a variable, or removes it with none.
  void Set(const std::string& name, const std::optional<std::string>& value);

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace ferrolan::testing
