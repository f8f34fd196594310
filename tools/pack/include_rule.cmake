# The packager's include rule (tools/pack/CMakeLists.txt), read from the sources: a folder of
# tools/pack includes the packager's headers only from itself and the folders before it in
# FOLDERS, and never a file at the top of tools/pack; nothing under src/ includes the packager.
# Tests (x_test.cpp) are free to use every command. Run by the test pack.include_rule:
#   cmake -DPACK_DIR=<tools/pack> -DSRC_DIR=<src> "-DFOLDERS=support;cli;..." -P include_rule.cmake
cmake_minimum_required(VERSION 3.25)
set(problems "")
set(checked 0)

# Adds to `problems` each include of `file` that reaches the packager where `allowed` (the
# packager's folders it may use) does not let it; `who` names the file's place in the message.
function(check_includes file who allowed)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
    set(refused FALSE)
    if(included MATCHES "\\.\\./")
      set(refused TRUE)  # a relative path would pass by the rule unseen
    elseif(included MATCHES "^pack/([^/]+)/")
      if(NOT CMAKE_MATCH_1 IN_LIST allowed)
        set(refused TRUE)
      endif()
    elseif(included MATCHES "^pack/")
      set(refused TRUE)  # the files at the top use every folder
    endif()
    if(refused)
      string(REPLACE ";" ", " names "${allowed}")
      if(names STREQUAL "")
        set(names "none")
      endif()
      list(APPEND problems "${who}: includes \"${included}\" (allowed: ${names})")
    endif()
  endforeach()
  math(EXPR count "${checked} + 1")
  set(checked ${count} PARENT_SCOPE)
  set(problems "${problems}" PARENT_SCOPE)
endfunction()

# Every folder of the packager takes part in the rule (and in the build: CMake compiles only
# the folders it lists).
file(GLOB children LIST_DIRECTORIES true RELATIVE ${PACK_DIR} ${PACK_DIR}/*)
foreach(child IN LISTS children)
  if(IS_DIRECTORY ${PACK_DIR}/${child} AND NOT child IN_LIST FOLDERS)
    list(APPEND problems "tools/pack/${child}/ is not in FERROLAN_PACK_FOLDERS")
  endif()
endforeach()

set(allowed "")
foreach(folder IN LISTS FOLDERS)
  list(APPEND allowed ${folder})
  file(GLOB sources ${PACK_DIR}/${folder}/*.h ${PACK_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME)
    if(NOT name MATCHES "_test\\.cpp$")
      check_includes(${source} "tools/pack/${folder}/${name}" "${allowed}")
    endif()
  endforeach()
endforeach()

file(GLOB_RECURSE sources ${SRC_DIR}/*.h ${SRC_DIR}/*.cpp)
foreach(source IN LISTS sources)
  file(RELATIVE_PATH name ${SRC_DIR} ${source})
  check_includes(${source} "src/${name}" "")
endforeach()

if(problems)
  string(REPLACE ";" "\n  " text "${problems}")
  message(FATAL_ERROR "The include rule is broken:\n  ${text}")
endif()
message(STATUS "Include rule kept in ${checked} files")
