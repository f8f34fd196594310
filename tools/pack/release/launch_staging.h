// The files the packager adds to the installed folders: the launch files written from the launch
// settings, the updater jar when the configuration names no updater folder, the icon (as PNG and
// as ICO), and the stand-in lzma.exe of a launcher whose configuration names none. They go into
// the archives beside the folders' own files, so the vendor's folders stay untouched.
//
// Platforms: portable.
#pragma once

#include <cstdint>
#include <string>

#include "pack/release/build_config.h"

namespace ferrolan::pack {

/// Makes the launch files, the icon and the updater jar part of the archives (Component::staged)
/// and checks them: the main classes exist in their classpath jars, every classpath entry
/// exists, both folders end up with a launch file, and a folder that already has one is not
/// given another. False after reporting the problem (exit code kExitUsage: the vendor has to
/// fix the configuration or the folders). `source` names the configuration in messages.
bool StageLaunchFiles(BuildConfig& config, const std::string& source, const char* command);

/// For publish: the files a launcher carries in its tail for the updater's folder (lzma.exe,
/// the splash image, the trust store) go into the published updater archive as well, so an
/// updater installed from the update folder has them too. Only what the configuration names
/// (and the stand-in lzma.exe) is added, and nothing the updater folder already holds.
void StageCarriedUpdaterFiles(BuildConfig& config);

/// The bytes of an ICO file whose single image is `png` (Windows Vista and later read PNG
/// images in ICO files). `width` and `height` are the PNG's; 256 and more are written as 0.
std::string IcoWithPng(const std::string& png, std::uint32_t width, std::uint32_t height);

/// The lzma.exe carried when the configuration names none: a DOS header pointing at a PE
/// signature, a file header without sections and a PE32+ optional header whose Subsystem is
/// already 2 (windowed), 328 bytes in all. The launcher's Windows subsystem patch accepts it;
/// Windows refuses to start it, so it does nothing should anything ever try.
std::string LzmaPlaceholder();

}  // namespace ferrolan::pack
