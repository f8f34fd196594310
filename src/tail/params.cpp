#include "tail/params.h"

#include <array>
#include <climits>
#include <utility>

#include "log/log.h"
#include "pipeline/stages.h"
#include "tail/params_locator.h"
#include "tail/params_os.h"

namespace ferrolan::tail {
namespace {

constexpr const char* kPlusLine = "++++++++++++++++++++++++++++++++++++++++++++++++\n";

// Reverse table of the base64 alphabet; characters outside it map to 0.
constexpr std::array<std::uint8_t, 256> MakeBase64Table() {
  constexpr const char* alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 64; ++i) {
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kBase64Table = MakeBase64Table();

void LogParam(int index, const std::string& name, const std::string& value) {
  if (value.size() > 100) {
    log::LogPrintf("[DynProps] Dynamic Param %d: %s=[%.99s...]\n", index, name.c_str(),
                   value.c_str());
  } else {
    log::LogPrintf("[DynProps] Dynamic Param %d: %s=[%s]\n", index, name.c_str(), value.c_str());
  }
}

void DecodeSplashImage(const std::string& value, DynamicProperties& state) {
  if (value.size() >= 100) {
    log::LogPrintf("[DynProps] Splash Image is %.99s...\n", value.c_str());
  } else {
    log::LogPrintf("[DynProps] Splash Image is %s\n", value.c_str());
  }
  log::LogPrintf("[DynProps] Base64 decoding image...\n");
  state.splashImage = DecodeBase64(value);
}

// Applies the rule of the one interpreted key that `name` equals, if any.
void Interpret(const std::string& name, const std::string& value, DynamicProperties& state) {
  if (name == "update_url") {
    state.updateUrl = value;
    state.hasUpdateUrl = true;
    log::LogPrintf("[DynProps] Dynamic Update URL: %s\n", value.c_str());
  } else if (name == "match_versions") {
    // Meant for the Java side only; it reaches it through the list.
  } else if (name == "wrapper_autotest") {
    state.autoTest = true;
  } else if (name == "show_no_ui") {
    if (value == "true") state.silent = true;
  } else if (name == "force_spawn") {
    state.forceSpawn = value == "true";
  } else if (name == "desktop_shortcut") {
    state.desktopShortcut = value == "true";
  } else if (name == "publisher") {
    state.publisher = value;
  } else if (name == "splash_buffer") {
    if (!value.empty()) state.splashBorder = DecimalValue(value);
  } else if (name == "splash_image") {
    DecodeSplashImage(value, state);
  } else if (name == "jre_name") {
    // The name becomes part of folder paths; a longer one is cut to the path buffer's size.
    state.jreName = value.substr(0, kJreNameMaxLength);
    log::LogPrintf("[DynProps] JRE name from dynamic launch properties is %s\n",
                   state.jreName->c_str());
  } else if (name == "windows_app_id") {
    SetWindowsAppId(value);
  }
}

}  // namespace

int DecimalValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) {
    log::LogPrintf("[Extractor] Base64 deconding failed as input_length is not aligned\n");
    return std::nullopt;
  }
  std::size_t outLength = text.size() / 4 * 3;
  if (!text.empty() && text.back() == '=') --outLength;
  if (text.size() >= 2 && text[text.size() - 2] == '=') --outLength;
  std::vector<std::uint8_t> out;
  out.reserve(outLength);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t triple = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      auto c = static_cast<unsigned char>(text[i + k]);
      triple = (triple << 6) | (c == '=' ? 0u : kBase64Table[c]);
    }
    for (int shift = 16; shift >= 0 && out.size() < outLength; shift -= 8) {
      out.push_back(static_cast<std::uint8_t>((triple >> shift) & 0xFF));
    }
  }
  log::LogPrintf("[DynProps] Decode complete [image size is %d]\n", static_cast<int>(outLength));
  return out;
}

DynamicProperties ProcessParamsFrom(pipeline::RingBuffer& buffer, LaunchPropertiesBlock& list,
                                    bool prepareOnly) {
  DynamicProperties state;
  std::optional<std::string> countText =
      pipeline::RingBuffer_readUntil(buffer, "Params Count", kParamsCountLimit, nullptr);
  state.count = countText ? DecimalValue(*countText) : -1;
  log::LogPrintf("\n");
  log::LogPrintf("%s", kPlusLine);
  log::LogPrintf("+++ Processing %d dynamic properties\n", state.count);
  log::LogPrintf("%s", kPlusLine);
  for (int i = 0; i < state.count; ++i) {
    std::optional<std::string> name =
        pipeline::RingBuffer_readUntil(buffer, "Param Name", kParamNameLimit, nullptr);
    std::optional<std::string> value;
    if (name)
      value = pipeline::RingBuffer_readUntil(buffer, "Param Value", kParamValueLimit, nullptr);
    if (!value) {
      // A section cut short or a field beyond its limit: what follows cannot be told apart
      // from garbage, so keep what was read and go on without the rest.
      log::LogPrintf(
          "[DynProps] Dynamic Param %d could not be read; stopping after %d "
          "properties\n",
          i, i);
      break;
    }
    LogParam(i, *name, *value);
    AddDynamicProperty(list, *name, *value);
    Interpret(*name, *value, state);
  }
  pipeline::RingBuffer_close(buffer);
  log::LogEnd("Processing dynamic properties");
  if (prepareOnly) {
    log::LogPrintf(
        "[Extractor] This is an elevated run purely to prepare an installation. Will not show "
        "UI or launch an app\n");
  }
  log::LogPrintf("\n");
  return state;
}

std::optional<DynamicProperties> ProcessParams(const std::string& ownPath,
                                               LaunchPropertiesBlock& list, bool prepareOnly) {
  fs::OwnedFile file = fs::OpenFile(ownPath, "rb");
  if (!file) {
    log::LogPrintf(
        "[Extractor] *********************** Failed to extract wrapper params - couldn't open "
        "file %s\n",
        ownPath.c_str());
    return std::nullopt;
  }
  if (!LocateParamsMarker(file.get())) return std::nullopt;
  pipeline::FileReaderPipe pipe = pipeline::StartFileReader(std::move(file));
  log::LogPrintf("[Extractor] Found Params marker. Extracting now...\n");
  DynamicProperties state = ProcessParamsFrom(*pipe.buffer, list, prepareOnly);
  pipe.reader.Join();
  return state;
}

void SetWindowsAppId(const std::string& value) {
  log::LogPrintf("[DynProps] Windows APP ID is %s\n", value.c_str());
  log::LogPrintf("[Extractor] Asked to set the Windows APP ID to '%s'\n", value.c_str());
  log::LogPrintf("[Extractor] Loading shell32\n");
  detail::ApplyAppUserModelId(value);
}

void AddStaticProperties(LaunchPropertiesBlock& list, const TailFields& tail, bool silent) {
  log::LogPrintf("[Extractor] Setting up static properties\n");
  AddStaticProperty(list, "update_url", tail.updateUrl);
  AddStaticProperty(list, "install_type", tail.installType);
  AddStaticProperty(list, "min_splash_ms", tail.minSplashMs);
  AddStaticProperty(list, "flsig_public_key", tail.publicKey);
  AddStaticProperty(list, "can_override_splash", tail.canOverrideSplash);
  AddStaticProperty(list, "app_name", tail.appName);
  AddStaticProperty(list, "wrapper_app_version", tail.appVersion);
  AddStaticProperty(list, "wrapper_gu_version", tail.guVersion);
  AddStaticProperty(list, "silent_parameter", tail.silentParameter);
  AddStaticProperty(list, "java_version", tail.requiredJavaVersion);
  if (silent) AddStaticProperty(list, "show_no_ui", "true");
}

}  // namespace ferrolan::tail
