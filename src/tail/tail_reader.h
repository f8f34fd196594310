// The wrapper tail: the eleven string fields that describe a build, read from the launcher's
// own file after the tail marker, and the plain-stream string reader READSTRING.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"

namespace ferrolan::tail {

/// Size of the buffer each tail field is read into; a value and its NUL must fit.
inline constexpr int kFieldLimit = 1024;
inline constexpr int kPublicKeyLimit = 8192;
inline constexpr int kUpdateUrlLimit = 5000;

/// The tail's fields, in file order.
struct TailFields {
  std::string appName;              // "App Name"
  std::string appVersion;           // "App Version": empty in an online build
  std::string jreVersion;           // "JRE Version": empty when no JRE is embedded
  std::string guVersion;            // "GU Version": empty in a bare launcher
  std::string minSplashMs;          // "Min Splash MS"
  std::string publicKey;            // "Signature Public Key": hex text of a DER key, or empty
  std::string canOverrideSplash;    // "Can Override Splash": "1" allows the dynamic image
  std::string installType;          // "Install Type": "perm_all", "perm_user" or temporary
  std::string silentParameter;      // "Silent Parameter": empty for none
  std::string requiredJavaVersion;  // "Required Java Version"
  std::string updateUrl;            // "Update URL": "D" selects the dynamic URL
  // How many fields the tail holds. A tail may end at "Signature Public Key" or after it: the
  // fields it lacks are empty, and a missing key is reported as such.
  std::size_t presentFields = 11;
  bool PublicKeyMissing() const { return presentFields <= kPublicKeyIndex; }
  static constexpr std::size_t kPublicKeyIndex = 5;
};

/// One field of the layout: its label, its limit and where it is stored.
struct TailFieldDescription {
  const char* label;
  int limit;
  std::string TailFields::*member;
};

/// The eleven fields in file order.
inline constexpr std::array<TailFieldDescription, 11> kTailFieldLayout = {{
    {"App Name", kFieldLimit, &TailFields::appName},
    {"App Version", kFieldLimit, &TailFields::appVersion},
    {"JRE Version", kFieldLimit, &TailFields::jreVersion},
    {"GU Version", kFieldLimit, &TailFields::guVersion},
    {"Min Splash MS", kFieldLimit, &TailFields::minSplashMs},
    {"Signature Public Key", kPublicKeyLimit, &TailFields::publicKey},
    {"Can Override Splash", kFieldLimit, &TailFields::canOverrideSplash},
    {"Install Type", kFieldLimit, &TailFields::installType},
    {"Silent Parameter", kFieldLimit, &TailFields::silentParameter},
    {"Required Java Version", kFieldLimit, &TailFields::requiredJavaVersion},
    {"Update URL", kUpdateUrlLimit, &TailFields::updateUrl},
}};

/// Reads the eleven fields from `buffer` in order. A field longer than its limit, or one of the
/// first five missing (the stream ends first), makes the whole tail unusable: the function logs
/// "[Extractor] ************************* Wrapper tail field %s is missing or too long\n"
/// and returns none, leaving the buffer open. When the stream ends at "Signature Public Key" or
/// a later field, that field and the rest are empty and `presentFields` says how many were read
/// (there is then nothing left to extract, but what is installed still runs).
std::optional<TailFields> ReadTailFields(pipeline::RingBuffer& buffer);

/// The wrapper tail of a launcher file: its fields and the reader that keeps streaming the
/// archive entries that follow them. The buffer stays open for the extraction; destroying the
/// object closes it and stops the reader.
struct WrapperTail {
  TailFields fields;
  pipeline::FileReaderPipe reader;
};

/// Opens `ownPath` ("rb"), finds the tail marker (label "Tail"), starts a file reader on the
/// rest of the payload, up to the Params marker when there is one (an entry cut short then ends
/// there instead of swallowing the Params section), and reads the eleven fields. On failure logs
/// the reason and returns none; the caller ends the process with exit code 1. Messages:
///   "[Extractor] ************************* Failed to extract wrapper tail - couldn't open file
///   %s\n", "Could not find marker: Tail\n", or the message of ReadTailFields.
std::optional<WrapperTail> ReadWrapperTail(const std::string& ownPath);

/// Reads one NUL-terminated string straight from `stream` (no thread, no ring). Stops at a NUL
/// (consumed), at the end of the stream, or when limit - 1 bytes are stored: then it prints
/// "***WARNING - STRING TOO LONG FOR ALLOC %d>%d! (READSTRING) [%s]\n" to standard output and
/// the rest of that string, its NUL included, stays unread. Never fails; a limit below 2
/// yields an empty string without reading.
std::string READSTRING(std::FILE* stream, const char* label, int limit);

/// The absolute form of the name the launcher was started under, for logging and launching.
/// A name that is already absolute is kept; any other is joined to the current directory with
/// PathJoin. Windows: absolute means longer than 2 characters and starting with two
/// backslashes, or a drive letter with ":" and a separator ("\" or "/"). POSIX: starting "/".
std::string AbsoluteWrapperPath(const std::string& name);

/// True when `name` is absolute by the rule above for this platform.
bool IsAbsoluteName(const std::string& name);

/// Whether this run installs silently: when `silentFlag` (from "show_no_ui") is set, or else
/// when the tail's silent parameter is not empty and equals one of `args` exactly. Logs
/// "[Extractor] Is silent install is %d\n".
bool IsSilentInstall(bool silentFlag, const std::string& silentParameter, int argCount,
                     char** args);

}  // namespace ferrolan::tail
