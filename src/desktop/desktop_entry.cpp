#include "desktop/desktop_entry.h"

#include <cstdio>

namespace ferrolan::desktop {
namespace {

constexpr std::string_view kMasterFolderKey = "X-Ferrolan-MasterFolder=";

bool IsKeptAsIs(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

// The escaping of a Desktop Entry string value: a value is one line, and a backslash starts an
// escape sequence of its own.
std::string EscapedValue(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string EntryName(std::string_view appName) { return "Ferrolan-" + std::string(appName); }

std::string UninstallCommand(std::string_view copyPath) {
  return "\"" + std::string(copyPath) + "\" " + kUninstallArgument;
}

std::string SanitisedName(std::string_view appName) {
  std::string out;
  for (char c : appName) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsKeptAsIs(byte)) {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "_%02X", byte);
      out += hex;
    }
  }
  return out;
}

std::string DesktopFileId(std::string_view appName) { return "ferrolan-" + SanitisedName(appName); }

std::string QuoteExecArgument(std::string_view argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  return EscapedValue(quoted);
}

std::string DesktopEntryText(const DesktopEntryFields& fields) {
  std::string text = "[Desktop Entry]\nType=Application\n";
  text += "Name=" + EscapedValue(fields.name) + "\n";
  text += "Exec=" + QuoteExecArgument(fields.copyPath) + "\n";
  if (!fields.icon.empty()) text += "Icon=" + EscapedValue(fields.icon) + "\n";
  text += "Terminal=false\nCategories=Utility;\n";
  text += std::string(kMasterFolderKey) + EscapedValue(fields.masterFolder) + "\n";
  return text;
}

bool IsOurDesktopEntry(std::string_view text, std::string_view masterFolder) {
  if (text.substr(0, 16) != "[Desktop Entry]\n") return false;
  const std::string line =
      "\n" + std::string(kMasterFolderKey) + EscapedValue(std::string(masterFolder)) + "\n";
  return text.find(line) != std::string_view::npos;
}

}  // namespace ferrolan::desktop
