# Cross-compiling for windows-x64 with Debian's mingw-w64 (posix threads, so std::thread and
# std::mutex work). Tests run through Wine as the cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

include(${CMAKE_CURRENT_LIST_DIR}/CacheDir.cmake)
set(FERROLAN_WIN_DEPS_PREFIX ${FERROLAN_CACHE_DIR}/win-deps CACHE PATH
  "Cross-built third-party libraries")
list(APPEND CMAKE_FIND_ROOT_PATH ${FERROLAN_WIN_DEPS_PREFIX})

get_filename_component(_src_root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_src_root}/scripts/wine-run.sh)
