#include "pack/format/launch_file_writer.h"

namespace ferrolan::pack {
namespace {

// Text fields hold at most 1023 bytes before their NUL, numbers at most 39 digits.
constexpr std::size_t kTextLimit = 1024;

std::string CheckText(const std::string& text, const std::string& what) {
  if (text.find('\0') != std::string::npos) return what + " must not contain a NUL character";
  if (text.size() >= kTextLimit)
    return what + " is " + std::to_string(text.size()) + " bytes; the launcher reads at most 1023";
  return {};
}

void Field(std::string& out, const std::string& text) {
  out += text;
  out.push_back('\0');
}

}  // namespace

std::string CheckLaunchSettings(const LaunchSettings& settings, const std::string& appName,
                                const std::string& where) {
  if (settings.mainClass.empty()) return "\"" + where + ".main_class\" is missing";
  if (settings.classpath.empty()) return "the classpath of \"" + where + "\" is empty";
  if (settings.maxHeapMb > kMaxHeapMb || settings.initialHeapMb > kMaxHeapMb)
    return "the heap sizes of \"" + where + "\" must stay below 2^31 MiB";
  std::string problem = CheckText(settings.mainClass, where + ".main_class");
  if (problem.empty()) problem = CheckText(appName, "the application name");
  for (const std::string& entry : settings.classpath)
    if (problem.empty()) problem = CheckText(entry, where + ".classpath entry \"" + entry + "\"");
  for (const std::string& option : settings.javaOptions)
    if (problem.empty()) problem = CheckText(option, where + ".java_options entry");
  for (const std::string& argument : settings.arguments)
    if (problem.empty()) problem = CheckText(argument, where + ".arguments entry");
  return problem;
}

std::string EncodeLaunchFile(const LaunchSettings& settings, const std::string& appName) {
  std::string out;
  Field(out, std::to_string(kLaunchFileVersion));
  Field(out, settings.mainClass);
  Field(out, "");  // class on update: not used
  Field(out, appName);
  Field(out, "");   // OS ICNS: not used
  Field(out, "0");  // URL required: no
  Field(out, std::to_string(settings.maxHeapMb));
  Field(out, std::to_string(settings.initialHeapMb));
  Field(out, std::to_string(settings.classpath.size()));
  for (const std::string& entry : settings.classpath) Field(out, entry);
  Field(out, std::to_string(settings.arguments.size()));
  for (const std::string& argument : settings.arguments) Field(out, argument);
  Field(out, kCompatibilityClass);
  Field(out, "");  // post-install class: none
  Field(out, "");  // pre-uninstall class: none
  Field(out, std::to_string(settings.javaOptions.size()));
  for (const std::string& option : settings.javaOptions) Field(out, option);
  Field(out, settings.ownJvm ? "1" : "0");
  return out;
}

}  // namespace ferrolan::pack
