#include "testing/environment.h"

#include "os/os.h"

namespace ferrolan::testing {

ScopedEnvironment::~ScopedEnvironment() {
  // In reverse order, so that a variable set twice ends with its first saved value.
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    os::SetEnv(it->first.c_str(), it->second);
  }
}

void ScopedEnvironment::Set(const std::string& name, const std::optional<std::string>& value) {
  saved_.emplace_back(name, os::GetEnv(name.c_str()));
  os::SetEnv(name.c_str(), value);
}

}  // namespace ferrolan::testing
