// Archives carry no permission bits. Windows needs none; on POSIX a program extracted without
// its executable bit could not run (a JRE's bin/java, its helper programs), so extracted files
// that are programs — an ELF image or a script with a "#!" line — are made executable.
#pragma once

#include <string>
#include <string_view>

namespace ferrolan::archive {

/// True when the first bytes of a file show a program: "\x7F" "ELF" or "#!".
bool LooksLikeProgram(std::string_view head);

/// Gives an extracted program the modes rwxr-xr-x (fs::MakeExecutable, which has nothing to do on
/// Windows).
void MarkExecutableIfProgram(const std::string& path, std::string_view head);

}  // namespace ferrolan::archive
