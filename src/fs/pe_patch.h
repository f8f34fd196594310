// Turns a console program into a windowed one, so starting it opens no console window: the low
// byte of the Subsystem field of the file's PE optional header is set to 2 (Windows GUI), in
// place. Only that byte is written; the high byte, the header checksum and all else stay.
//
// Platforms: on Windows every failure is fatal to the caller (a program that keeps its console
// is not to be run). On POSIX the programs this is applied to are usually not PE images at
// all, so such a file is logged and left alone; a file that cannot be opened for update is
// still a failure there too.
#pragma once

#include <string>

namespace ferrolan::fs {

enum class SubsystemPatch {
  kPatched,     ///< the byte now reads 2
  kCannotOpen,  ///< the file cannot be opened for update
  kNotAnImage,  ///< no PE header where the DOS header says it is
  kWriteFailed  ///< the byte could not be written or read back
};

/// The patch without the process-ending policy: logs every step and reports the outcome.
/// The PE header is found through the DOS header's e_lfanew field and must carry the signature
/// "PE\0\0" and a PE32 or PE32+ optional header long enough to hold the Subsystem field.
SubsystemPatch SetWindowsSubsystemByte(const std::string& path);

/// Patches the file in place (see above) and applies the platform's policy. False when the run
/// cannot go on with this file: the caller ends the run with exit code 1. Patching twice leaves
/// the file as after the first.
[[nodiscard]] bool PatchWindowsSubsystem(const std::string& path);

}  // namespace ferrolan::fs
