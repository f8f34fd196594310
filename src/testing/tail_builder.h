// Builders of the byte sequences a launcher file carries, as the packager lays them out: runs of
// NUL-terminated fields (the wrapper tail's fields, the launch file, the LSO file), the tail
// marker, and the Params section.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ferrolan::testing {

/// Each value followed by a NUL.
std::string Fields(const std::vector<std::string>& values);

/// Raw bytes (a marker, a byte array) as a string.
template <typename Bytes>
std::string AsString(const Bytes& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

/// The tail marker followed by the wrapper tail's fields.
std::string WrapperTailFields(const std::vector<std::string>& fields);

using ParamList = std::vector<std::pair<std::string, std::string>>;

/// The Params marker, the count of pairs and the name/value pairs.
std::string ParamsSection(const ParamList& params);
/// The same with a count of the test's choosing, which need not match the pairs.
std::string ParamsSection(const std::string& count, const ParamList& params);

/// A whole launcher file: image, tail marker, fields, entries, the Params marker, count, pairs
/// and padding.
struct LauncherLayout {
  std::string image = "MZ-image";
  std::vector<std::string> fields = {"Demo App", "00052861074", "",  "00000000042",
                                     "700",      "30820222",    "1", "perm_all",
                                     "/S",       "5",           "D"};
  std::string count = "2";
  ParamList params = {{"jre_name", "jre-17"}, {"update_url", "http://u/"}};

  std::string Build() const;
};

/// The contents of a launch file of `version`; the fields a version lacks are left out.
struct LaunchFileContents {
  int version = 6;
  std::string mainClass = "com.example.Main";
  std::string appName = "DemoApp";
  int jvmMem = 0;
  int jvmStack = 0;
  std::vector<std::string> classpath;
  std::vector<std::string> extraArguments;
  std::string compatibilityClass = "com.example.Compat";
  std::vector<std::string> appJvmOptions;
  int mustFork = 0;

  std::string Bytes() const;
};

}  // namespace ferrolan::testing
