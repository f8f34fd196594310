#include "tail/tail_reader.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "fs/file_ops.h"
#include "fs/path.h"
#include "log/log.h"
#include "tail/find_marker.h"
#include "tail/markers.h"
#include "tail/params_locator.h"
#include "tail/tail_reader_os.h"

namespace ferrolan::tail {

std::optional<TailFields> ReadTailFields(pipeline::RingBuffer& buffer) {
  TailFields fields;
  for (std::size_t i = 0; i < kTailFieldLayout.size(); ++i) {
    const TailFieldDescription& field = kTailFieldLayout[i];
    std::optional<std::string> value =
        pipeline::RingBuffer_readUntil(buffer, field.label, field.limit, nullptr);
    // The stream ended before the field's NUL (an overlong field leaves at least its limit
    // unread instead).
    const bool ended = !value && buffer.Closed() && buffer.Used() < field.limit;
    if (ended && i >= TailFields::kPublicKeyIndex) {
      fields.presentFields = i;
      return fields;
    }
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
  // The entries end where the Params section begins: an entry cut short must not take the
  // Params bytes behind it as its own rest.
  const std::int64_t paramsAt = ParamsMarkerOffset(file.get());
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) return std::nullopt;
  std::clearerr(file.get());
  const auto& marker = TailMarker();
  if (FindMarker(file.get(), marker.data(), kTailMarkerLength, "Tail") < 0) return std::nullopt;
  log::LogPrintf("[Extractor] Found tail marker\n");
  const std::int64_t entriesAt = CurrentOffset(file.get());
  std::uint64_t limit = pipeline::kWholeFile;
  if (paramsAt >= 0 && entriesAt >= 0 && paramsAt >= entriesAt) {
    limit = static_cast<std::uint64_t>(paramsAt - entriesAt);
  }
  WrapperTail tail;
  tail.reader = pipeline::StartFileReader(std::move(file), limit);
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
  std::string path = fs::CurrentFolder();
  if (path.empty()) return name;
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
