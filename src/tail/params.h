// The Params section (dynamic properties) and the static properties from the wrapper tail:
// both go into the LaunchPropertiesBlock; a few dynamic keys also steer the launcher itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/ring_buffer.h"
#include "tail/properties_block.h"
#include "tail/tail_reader.h"

namespace ferrolan::tail {

inline constexpr int kParamsCountLimit = 40;
inline constexpr int kParamNameLimit = 1024;
inline constexpr int kParamValueLimit = 200000;
/// The JRE name is kept in a path-sized buffer: at most this many characters.
inline constexpr std::size_t kJreNameMaxLength = 4999;

/// What the dynamic properties decided for the run.
struct DynamicProperties {
  int count = -1;             // "Params Count" as read; -1 when it could not be read
  std::string updateUrl;      // "update_url"; empty when not given
  bool hasUpdateUrl = false;  // "update_url" is present, even with an empty value
  bool silent = false;        // "show_no_ui" equal to "true" (only ever set)
  bool autoTest = false;      // "wrapper_autotest" present, whatever its value
  std::optional<std::vector<std::uint8_t>> splashImage;  // decoded "splash_image"
  std::optional<std::string> jreName;                    // "jre_name"
  bool forceSpawn = false;  // "force_spawn" equal to "true": launch by spawning, never JNI
  int splashBorder = 0;     // "splash_buffer": the splash border width (an empty value keeps 0)
  bool desktopShortcut = false;  // "desktop_shortcut" equal to "true": a desktop shortcut too
  std::string publisher;         // "publisher": shown in the installed-programs list; may be empty
};

/// Decimal text converted the way atoi does: optional leading white space and sign, then the
/// leading digits; 0 when there are none. Values beyond the int range saturate.
int DecimalValue(std::string_view text);

/// Decodes base64 text with the standard alphabet. "=" counts as 0 and shortens the output by
/// one for each of the last two characters that is "="; characters outside the alphabet count
/// as 0. Returns none, after logging "[Extractor] Base64 deconding failed as input_length is
/// not aligned\n", when the length is not a multiple of 4. An empty text gives an empty image.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

/// Reads the Params section from `buffer` (positioned after the Params marker) into `list` and
/// the returned state, logging each property; closes `buffer` at the end. A count that cannot
/// be read counts as -1 (no properties). A pair that is missing or longer than its limits ends
/// the processing early with "[DynProps] Dynamic Param %d could not be read; stopping after %d
/// properties\n": the properties before it are kept.
DynamicProperties ProcessParamsFrom(pipeline::RingBuffer& buffer, LaunchPropertiesBlock& list,
                                    bool prepareOnly);

/// Opens `ownPath` ("rb"), finds the Params marker (label "Params"), starts a file reader and
/// runs ProcessParamsFrom. Returns none when the file cannot be opened ("[Extractor]
/// *********************** Failed to extract wrapper params - couldn't open file %s\n") or the
/// marker is missing ("Could not find marker: Params\n"); the caller then ends the process with
/// exit code 1.
std::optional<DynamicProperties> ProcessParams(const std::string& ownPath,
                                               LaunchPropertiesBlock& list, bool prepareOnly);

/// Sets the process's explicit application user model ID to `value` (key "windows_app_id").
/// Windows: looks up SetCurrentProcessExplicitAppUserModelID in shell32 at run time and logs
/// the outcome; an older system without it is skipped. POSIX: shell32 is absent, so after the
/// first three log lines the step stops silently. Never stops the run.
void SetWindowsAppId(const std::string& value);

/// Adds the static properties from the tail in their fixed order, after logging
/// "[Extractor] Setting up static properties\n"; "show_no_ui" = "true" only when `silent`.
void AddStaticProperties(LaunchPropertiesBlock& list, const TailFields& tail, bool silent);

}  // namespace ferrolan::tail
