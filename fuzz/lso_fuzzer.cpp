// The LSO file reader, reached the way the launch reaches it: WriteLaunchProperties with the
// fuzzed bytes as the private JRE's LSO file. The launch-properties file it writes, and the LSO
// file, live in a scratch folder that is emptied after every input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/path.h"
#include "fuzz/fuzz_support.h"
#include "launch/launch_properties.h"
#include "tail/properties_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ferrolan::fuzz::QuietLog();
  static const ferrolan::fuzz::Scratch scratch("lso");
  ferrolan::launch::LaunchPropertiesRequest request;
  request.appFolder = scratch.Path("app");
  ferrolan::fs::CreateFolder(request.appFolder);
  request.updateUrl = "D";
  request.dynamicUpdateUrl = "http://127.0.0.1/update/";
  request.jreName = "jre";
  request.launcherPath = scratch.Path("launcher");
  request.lsoPath = scratch.WriteFile("LastSuccessfulOptions", data, size);
  ferrolan::tail::LaunchPropertiesBlock block;
  block.AppendEntry("fldyna_jre_name");
  block.AppendEntry("jre");
  std::vector<std::string> jvmOptions;
  ferrolan::launch::WriteLaunchProperties(block, request, jvmOptions, [](unsigned) {});
  if (jvmOptions.size() > size) __builtin_trap();  // every option took at least one byte
  scratch.Reset();
  return 0;
}
