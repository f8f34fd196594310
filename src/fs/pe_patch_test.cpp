#include "fs/pe_patch.h"

#include "fs/path.h"
#include "testing/temp_folder.h"

namespace ferrolan::fs {
namespace {

using PePatchTest = testing::LoggedTempFolderTest;

constexpr std::size_t kHeader = 0x80;                      // e_lfanew of the test images
constexpr std::size_t kSubsystem = kHeader + 4 + 20 + 68;  // 220

// A minimal image: a DOS header pointing at a PE header whose optional header has `magic` and
// the Subsystem field `low`, 0. Every other byte is non-zero filler, so a stray write shows.
// `decoy` puts the bytes "PE\0\0" into the DOS stub in front of the real header.
std::string Image(int magic, char low, bool decoy = false) {
  std::string bytes(kHeader + 4 + 20 + 240 + 64, '\x5A');
  bytes.replace(0, 2, "MZ");
  bytes.replace(0x3C, 4, std::string("\x80\0\0\0", 4));
  if (decoy) bytes.replace(0x40, 4, std::string("PE\0\0", 4));
  bytes.replace(kHeader, 4, std::string("PE\0\0", 4));
  bytes[kHeader + 24] = static_cast<char>(magic & 0xFF);
  bytes[kHeader + 25] = static_cast<char>(magic >> 8);
  bytes[kSubsystem] = low;
  bytes[kSubsystem + 1] = '\0';
  return bytes;
}

TEST_F(PePatchTest, PatchesOnlyTheSubsystemByteOfPe32AndPe32Plus) {
  int run = 0;
  for (int magic : {0x10B, 0x20B}) {
    for (char before : {'\x03', '\x02'}) {
      const std::string original = Image(magic, before, magic == 0x20B);
      const std::string path = Write("image" + std::to_string(++run) + ".exe", original);
      std::size_t firstLine = Lines().size();
      EXPECT_EQ(SetWindowsSubsystemByte(path), SubsystemPatch::kPatched);
      std::string expected = original;
      expected[kSubsystem] = '\x02';
      EXPECT_EQ(Read(path), expected) << magic;
      std::vector<std::string> lines = Lines();
      lines.erase(lines.begin(), lines.begin() + static_cast<long>(firstLine));
      EXPECT_EQ(lines,
                (std::vector<std::string>{
                    "[Windows Subsystem] Fixing " + path, "[Windows Subsystem] Opened " + path,
                    "[Windows Subsystem] Found marker OK at 132 [+88 = 220]",
                    "[Windows Subsystem] Skipped to relevant spot 220",
                    std::string("[Windows Subsystem] Was ") + (before == 3 ? "03" : "02"),
                    "[Windows Subsystem] Now 02"}));
    }
  }
}

TEST_F(PePatchTest, FilesThatAreNoImageAreLeftAlone) {
  std::string farHeader = Image(0x10B, '\x03');
  farHeader[0x3D] = '\x40';  // e_lfanew beyond the end of the file
  const std::vector<std::string> contents = {
      "text with PE\0\0 in it" + std::string(200, 'x'),
      Image(0x10B, '\x03').substr(0, kSubsystem + 1),              // cut inside the field
      farHeader, Image(0x107, '\x03'),                             // neither PE32 nor PE32+
      std::string("PE\0\0", 4) + Image(0x10B, '\x03').substr(4)};  // no "MZ"
  for (const std::string& content : contents) {
    const std::string path = Write("not-an-image", content);
    EXPECT_EQ(SetWindowsSubsystemByte(path), SubsystemPatch::kNotAnImage);
    EXPECT_EQ(Read(path), content);
    EXPECT_EQ(Lines().back(), "Could not find marker: SS edit - PE sig");
  }
  EXPECT_EQ(SetWindowsSubsystemByte(Path("missing.exe")), SubsystemPatch::kCannotOpen);
  EXPECT_EQ(Lines().back(), "[Windows Subsystem] Could not open file " + Path("missing.exe"));
}

TEST_F(PePatchTest, FailuresAreFatalWhereTheyMatter) {
  EXPECT_FALSE(PatchWindowsSubsystem(Path("missing.exe")));
  const std::string script = Write("script", "#!/bin/sh\necho hello\n");
  if (PathSeparator() == '\\') {
    EXPECT_FALSE(PatchWindowsSubsystem(script));
  } else {
    EXPECT_TRUE(PatchWindowsSubsystem(script));
    EXPECT_EQ(Lines().back(),
              "[Windows Subsystem] " + script + " is not a PE image; left unchanged");
  }
  EXPECT_EQ(Read(script), "#!/bin/sh\necho hello\n");
}

}  // namespace
}  // namespace ferrolan::fs
