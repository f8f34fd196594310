# Warnings are errors on every compiler we build with. Applied to the project's own targets
# through ferrolan_target_defaults(); third-party code (googletest) keeps its own flags.
add_library(ferrolan_warnings INTERFACE)
target_compile_options(ferrolan_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wformat=2
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wno-format-nonliteral>)
if(WIN32)
  # Keep <windows.h> lean and ANSI: the launcher works with 8-bit strings in the system code page.
  target_compile_definitions(ferrolan_warnings INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 __USE_MINGW_ANSI_STDIO=1)
endif()

# Every project target: warnings, the source root on the include path.
function(ferrolan_target_defaults target)
  target_link_libraries(${target} PRIVATE ferrolan_warnings)
  # Every function and object in a section of its own, so the shipping image's linker can leave
  # out what the launcher never calls.
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()
