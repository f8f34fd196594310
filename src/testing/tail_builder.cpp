#include "testing/tail_builder.h"

#include "tail/markers.h"

namespace ferrolan::testing {

std::string Fields(const std::vector<std::string>& values) {
  std::string bytes;
  for (const std::string& value : values) {
    bytes += value;
    bytes.push_back('\0');
  }
  return bytes;
}

std::string WrapperTailFields(const std::vector<std::string>& fields) {
  return AsString(tail::TailMarker()) + Fields(fields);
}

std::string ParamsSection(const ParamList& params) {
  return ParamsSection(std::to_string(params.size()), params);
}

std::string ParamsSection(const std::string& count, const ParamList& params) {
  std::string bytes = AsString(tail::ParamsMarker()) + Fields({count});
  for (const auto& [name, value] : params) bytes += Fields({name, value});
  return bytes;
}

std::string LauncherLayout::Build() const {
  return image + WrapperTailFields(fields) + "entry-bytes" + '\0' + "signature-table" +
         ParamsSection(count, params) + std::string(8, '\0');
}

std::string LaunchFileContents::Bytes() const {
  std::vector<std::string> f = {std::to_string(version),
                                mainClass,
                                "com.example.OnUpdate",
                                appName,
                                "icon.icns",
                                "0",
                                std::to_string(jvmMem),
                                std::to_string(jvmStack),
                                std::to_string(classpath.size())};
  f.insert(f.end(), classpath.begin(), classpath.end());
  f.push_back(std::to_string(extraArguments.size()));
  f.insert(f.end(), extraArguments.begin(), extraArguments.end());
  if (version >= 3) f.push_back(compatibilityClass);
  if (version >= 4) {
    f.push_back("com.example.PostInstall");
    f.push_back("com.example.PreUninstall");
  }
  if (version >= 5) {
    f.push_back(std::to_string(appJvmOptions.size()));
    f.insert(f.end(), appJvmOptions.begin(), appJvmOptions.end());
  }
  if (version >= 6) f.push_back(std::to_string(mustFork));
  return Fields(f);
}

}  // namespace ferrolan::testing
