// The PE Subsystem patch. The header is found the way the loader finds it, through the DOS
// header, rather than by scanning for the first "PE\0\0": a scan can stop at those bytes inside
// the DOS stub or other data before the real header and would then overwrite an unrelated byte.
#include "fs/pe_patch.h"
#include "fs/owned_file.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "fs/pe_patch_os.h"
#include "log/log.h"

namespace ferrolan::fs {
namespace {

using log::LogPrintf;

constexpr const char* kSignatureLabel = "SS edit - PE sig";
constexpr long kLfanewOffset = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
// The Subsystem field lies at the same offset of the optional header in PE32 and PE32+.
constexpr std::size_t kSubsystemOffset = 68;
constexpr std::size_t kSkipAfterSignature = kFileHeaderSize + kSubsystemOffset;  // 88
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr int kWindowsGui = 2;

std::uint32_t Le32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint16_t Le16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

// The offset just past the PE signature, or -1 when the file is no PE image with a Subsystem
// field.
long FindPeHeader(std::FILE* file) {
  std::array<unsigned char, 4> lfanew{};
  std::array<unsigned char, 2> mz{};
  if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(mz.data(), 1, 2, file) != 2 ||
      mz[0] != 'M' || mz[1] != 'Z' || std::fseek(file, kLfanewOffset, SEEK_SET) != 0 ||
      std::fread(lfanew.data(), 1, 4, file) != 4) {
    return -1;
  }
  std::uint32_t header = Le32(lfanew.data());
  // Offsets are logged with %d, and no real image puts its header anywhere near this far.
  if (header > 0x10000000u) return -1;
  std::array<unsigned char, 4 + kSkipAfterSignature + 2> bytes{};
  if (std::fseek(file, static_cast<long>(header), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    return -1;
  }
  if (bytes[0] != 'P' || bytes[1] != 'E' || bytes[2] != 0 || bytes[3] != 0) return -1;
  std::uint16_t magic = Le16(bytes.data() + 4 + kFileHeaderSize);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return -1;
  return static_cast<long>(header) + 4;
}

}  // namespace

SubsystemPatch SetWindowsSubsystemByte(const std::string& path) {
  LogPrintf("[Windows Subsystem] Fixing %s\n", path.c_str());
  OwnedFile file = OpenFile(path, "r+b");
  if (!file) {
    LogPrintf("[Windows Subsystem] Could not open file %s\n", path.c_str());
    return SubsystemPatch::kCannotOpen;
  }
  LogPrintf("[Windows Subsystem] Opened %s\n", path.c_str());

  long offset = FindPeHeader(file.get());
  if (offset < 0) {
    LogPrintf("Could not find marker: %s\n", kSignatureLabel);
    return SubsystemPatch::kNotAnImage;
  }
  const int skip = static_cast<int>(kSkipAfterSignature);
  const long spot = offset + skip;
  LogPrintf("[Windows Subsystem] Found marker OK at %d [+%d = %d]\n", static_cast<int>(offset),
            skip, static_cast<int>(spot));

  std::fseek(file.get(), spot, SEEK_SET);
  LogPrintf("[Windows Subsystem] Skipped to relevant spot %d\n", static_cast<int>(spot));
  int before = std::fgetc(file.get());
  LogPrintf("[Windows Subsystem] Was %02X\n", static_cast<unsigned>(before & 0xFF));

  // A stream switching from reading to writing must be positioned first, and back again.
  bool written = std::fseek(file.get(), spot, SEEK_SET) == 0 &&
                 std::fputc(kWindowsGui, file.get()) != EOF && std::fflush(file.get()) == 0;
  int after = EOF;
  if (written && std::fseek(file.get(), spot, SEEK_SET) == 0) after = std::fgetc(file.get());
  if (after != EOF) LogPrintf("[Windows Subsystem] Now %02X\n", static_cast<unsigned>(after));
  bool closed = std::fclose(file.release()) == 0;
  if (!written || after != kWindowsGui || !closed) {
    LogPrintf("[Windows Subsystem] Could not write file %s\n", path.c_str());
    return SubsystemPatch::kWriteFailed;
  }
  return SubsystemPatch::kPatched;
}

bool PatchWindowsSubsystem(const std::string& path) {
  switch (SetWindowsSubsystemByte(path)) {
    case SubsystemPatch::kPatched:
      return true;
    case SubsystemPatch::kNotAnImage:
      return detail::AcceptNotAnImage(path);
    case SubsystemPatch::kCannotOpen:
    case SubsystemPatch::kWriteFailed:
      break;
  }
  return false;
}

}  // namespace ferrolan::fs
