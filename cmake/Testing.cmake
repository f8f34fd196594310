# GoogleTest is compiled from the sources Debian ships, so the native and the mingw build use the
# same framework. Each subsystem has one test binary that runs natively and, for the Windows
# build, through CMake's cross-compiling emulator (Wine).
if(NOT FERROLAN_BUILD_TESTS)
  return()
endif()
enable_testing()
set(FERROLAN_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${FERROLAN_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# ferrolan_add_test(NAME sources... LIBS libs... [PROPERTIES name value...])
# Every test binary links ferrolan_testing (src/testing), the helpers all tests share. PROPERTIES
# are further CTest properties of each of its tests.
function(ferrolan_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  ferrolan_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ferrolan_testing GTest::gtest GTest::gmock
    GTest::gtest_main)
  if(WIN32)
    # Static runtime: the test binaries run under Wine without mingw DLLs on the path.
    target_link_options(${name} PRIVATE -static)
  endif()
  # One variable only: the discovery would read a second one as the next property's name. The
  # switches for the launchers a test runs are set by src/testing's TempFolder.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 600 ENVIRONMENT "FERROLAN_TEST_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
    ${ARG_PROPERTIES})
endfunction()

# ferrolan_test_tool_path(<out> <target> | FOLDER <path>)
# The path of a built target (or, with FOLDER, of a folder of this machine) as a test program
# sees it: under Wine, paths of this machine are reached through the Z: drive.
function(ferrolan_test_tool_path out)
  cmake_parse_arguments(ARG "" "FOLDER" "" ${ARGN})
  if(DEFINED ARG_FOLDER)
    set(path "${ARG_FOLDER}")
  else()
    set(path "$<TARGET_FILE:${ARGV1}>")
  endif()
  if(WIN32)
    set(path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# ferrolan_add_test_tool(<target> SOURCES ... [LIBS ...] [FOR <test binary> DEFINE <macro>])
# A helper program that tests run. Linked statically on Windows so it runs under Wine without
# the mingw runtime DLLs; with FOR, its path reaches that test binary as the string <macro>.
function(ferrolan_add_test_tool target)
  cmake_parse_arguments(ARG "" "FOR;DEFINE" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  ferrolan_target_defaults(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
  endif()
  if(ARG_FOR)
    ferrolan_test_tool_path(path ${target})
    target_compile_definitions(${ARG_FOR} PRIVATE ${ARG_DEFINE}="${path}")
    add_dependencies(${ARG_FOR} ${target})
  endif()
endfunction()
