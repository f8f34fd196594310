#include "launch/java_command.h"

#include "launch/java_command_os.h"
#include "log/log.h"

namespace ferrolan::launch {

char ClasspathSeparator() { return detail::ClasspathSeparator(); }

std::vector<std::string> BuildSpawnArguments(std::string_view executable,
                                             std::string_view mainClass,
                                             const std::vector<std::string>& jvmOptions,
                                             const std::vector<std::string>& classpath,
                                             const std::vector<std::string>& appArguments) {
  std::vector<std::string> list;
  list.emplace_back(executable);
  list.insert(list.end(), jvmOptions.begin(), jvmOptions.end());
  std::string joined;
  for (std::size_t i = 0; i < classpath.size(); ++i) {
    if (i > 0) joined.push_back(ClasspathSeparator());
    joined += classpath[i];
  }
  if (!joined.empty()) {
    list.emplace_back("-cp");
    list.push_back(joined);
  }
  list.emplace_back(mainClass);
  list.insert(list.end(), appArguments.begin(), appArguments.end());
  for (std::size_t i = 0; i < list.size(); ++i) {
    log::LogPrintf("[Extractor][Spawn][%d] %s\n", static_cast<int>(i), list[i].c_str());
  }
  return list;
}

}  // namespace ferrolan::launch
