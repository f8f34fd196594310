#include "launcher/platform_names.h"

namespace ferrolan::launcher {

const std::vector<const char*>& JreLauncherNames() {
  static const std::vector<const char*> names = {"java.exe", "javaw.exe"};
  return names;
}

}  // namespace ferrolan::launcher
