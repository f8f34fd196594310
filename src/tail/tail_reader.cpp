#include "tail/tail_reader.h"

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "fs/path.h"
#include "log/log.h"
#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/tail_reader_os.h"

namespace ferrolan::tail {

std::optional<TailFields> ReadTailFields(pipeline::RingBuffer& buffer) {
  TailFields fields;
  for (const TailFieldDescription& field : kTailFieldLayout) {
    std::optional<std::string> value =
        pipeline::RingBuffer_readUntil(buffer, field.label, field.limit, nullptr);
    if (!value) {
      // Every later field and entry would be read from the wrong place, so a damaged tail
      // cannot be partly used.
      log::LogPrintf(
          "[Extractor] ************************* Wrapper tail field %s is missing or too "
          "long\n",
          field.label);
      return std::nullopt;
    }
    fields.*field.member = std::move(*value);
  }
  return fields;
}

std::optional<WrapperTail> ReadWrapperTail(const std::string& ownPath) {
  fs::OwnedFile file = fs::OpenFile(ownPath, "rb");
  if (!file) {
    log::LogPrintf(
        "[Extractor] ************************* Failed to extract wrapper tail - couldn't open "
        "file %s\n",
        ownPath.c_str());
    return std::nullopt;
  }
  const auto& marker = TailMarker();
  if (FindMarker(file.get(), marker.data(), kTailMarkerLength, "Tail") < 0) return std::nullopt;
  WrapperTail tail;
  tail.reader = pipeline::StartFileReader(std::move(file));
  std::optional<TailFields> fields = ReadTailFields(*tail.reader.buffer);
  if (!fields) return std::nullopt;  // the pipe's destructor stops the reader
  tail.fields = std::move(*fields);
  return tail;
}

std::string READSTRING(std::FILE* stream, const char* /*label*/, int limit) {
  std::string text;
  if (limit < 2) return text;
  const auto full = static_cast<std::size_t>(limit - 1);
  for (;;) {
    int c = std::fgetc(stream);
    if (c == 0 || c == EOF) break;
    text.push_back(static_cast<char>(c));
    if (text.size() == full) {
      std::printf("***WARNING - STRING TOO LONG FOR ALLOC %d>%d! (READSTRING) [%s]\n",
                  static_cast<int>(text.size()), limit, text.c_str());
      break;
    }
  }
  return text;
}

std::string AbsoluteWrapperPath(const std::string& name) {
  if (IsAbsoluteName(name)) return name;
  std::error_code error;
  std::string path = std::filesystem::current_path(error).string();
  if (error || path.empty()) return name;
  fs::PathJoin(path, name);
  return path;
}

bool IsSilentInstall(bool silentFlag, const std::string& silentParameter, int argCount,
                     char** args) {
  bool silent = silentFlag;
  if (!silent && !silentParameter.empty()) {
    for (int i = 0; i < argCount && !silent; ++i) {
      silent = args[i] != nullptr && silentParameter == args[i];
    }
  }
  log::LogPrintf("[Extractor] Is silent install is %d\n", silent ? 1 : 0);
  return silent;
}

bool IsAbsoluteName(const std::string& name) { return detail::IsAbsoluteName(name); }

}  // namespace ferrolan::tail
