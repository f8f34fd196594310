// The entry format shared by the wrapper tail and the archives: NUL-terminated text fields
// (type, path, length) followed by raw content, with no count, header or index. These are the
// rules both the reader and the writer apply to the fields.
//
// Platforms: identical on Windows and POSIX; a path may use "/" or "\" on both.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ferrolan::archive {

/// Entry types. Any type text that is not a number reads as 0, a plain file.
enum class EntryType : int { kFile = 0, kFolder = 1, kPack200 = 2 };

/// Field limits, each including the field's NUL.
inline constexpr int kTypeFieldMax = 1024;
inline constexpr int kPathFieldMax = 1024;
inline constexpr int kLengthFieldMax = 40;
inline constexpr int kSignatureHexMax = 4096;

/// The path prefix of a special block and the name of the signature block after it.
inline constexpr std::string_view kSpecialBlockPrefix = "flArcSpBlock_";
inline constexpr std::string_view kSignatureBlockName = "DigitalSignature1";

/// The number in a type field, read the way atoi does (leading digits; 0 for none).
long ParseEntryType(std::string_view text);

/// A length field's value: only decimal digits, at most 2^31-1. Anything else (empty, a sign,
/// other characters, too large) is none: such a field could make the reader write a wrong or
/// negative amount, so the archive is refused instead.
std::optional<std::int32_t> ParseEntryLength(std::string_view text);

/// True when a relative entry path stays inside the destination folder: not empty, not
/// absolute, no drive letter or other colon, no "." or ".." component and no empty one
/// ("a//b"), with either separator. The reader refuses archives holding other paths; the
/// writer refuses to produce them.
bool IsSafeEntryPath(std::string_view path);

/// True when Win32 would not keep `component` (one name of a path) as the name it reads: a name
/// ending in a dot or a blank (the system drops them, so "a." is "a"), or a device name (CON,
/// PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9, also with the superscript digits 1-3 of
/// the Western code page), in any case, alone or before an extension ("nul.txt", "COM1 .log").
/// Writing such a name would write to another file or to a device.
bool IsWindowsAliasName(std::string_view component);

/// True when a component of `path` (either separator) names another file or a device on this
/// system (IsWindowsAliasName on Windows; never on POSIX, where such names are ordinary). The
/// reader refuses such archives like an unsafe path.
bool AliasesOnThisSystem(std::string_view path);

}  // namespace ferrolan::archive
