# Third-party libraries as imported targets, one spelling for both targets:
#   ferrolan::tomcrypt  libtomcrypt with libtommath as its big-number provider
#   ferrolan::lzma      liblzma (xz)
#   ferrolan::json      nlohmann-json (header-only)
#   ferrolan::zlib      zlib (the packager inflates jar manifests with it)
#   ferrolan::curl, ferrolan::x11, ferrolan::png, ferrolan::libproxy   POSIX backends only
#                                                  (headers; the libraries load at run time)
# Native builds take Debian's packages, except liblzma: scripts/build-lzma.sh (run by
# scripts/install-deps.sh) builds a newer static one into FERROLAN_NATIVE_DEPS_PREFIX. The mingw
# build takes the static libraries that scripts/build-win-deps.sh cross-builds into
# FERROLAN_WIN_DEPS_PREFIX, and Debian's mingw zlib (libz-mingw-w64-dev).
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

if(WIN32)
  if(NOT FERROLAN_WIN_DEPS_PREFIX)
    message(FATAL_ERROR "FERROLAN_WIN_DEPS_PREFIX is not set; run scripts/build-win-deps.sh")
  endif()
  set(_deps_hint ${FERROLAN_WIN_DEPS_PREFIX})
  set(_find_opts NO_DEFAULT_PATH)
  set(_lzma_hint ${FERROLAN_WIN_DEPS_PREFIX})
else()
  set(_deps_hint "")
  set(_find_opts "")
  include(${CMAKE_CURRENT_LIST_DIR}/CacheDir.cmake)
  set(FERROLAN_NATIVE_DEPS_PREFIX ${FERROLAN_CACHE_DIR}/native-deps CACHE PATH
    "Third-party libraries built for this machine")
  set(_lzma_hint ${FERROLAN_NATIVE_DEPS_PREFIX})
  if(NOT EXISTS ${_lzma_hint}/lib/liblzma.a)
    message(FATAL_ERROR "no liblzma in ${_lzma_hint}; run scripts/install-deps.sh")
  endif()
endif()

function(_ferrolan_find_lib var name)
  find_library(${var} NAMES ${name} HINTS ${_deps_hint}/lib ${_find_opts} REQUIRED)
endfunction()

_ferrolan_find_lib(FERROLAN_TOMCRYPT_LIB tomcrypt)
_ferrolan_find_lib(FERROLAN_TOMMATH_LIB tommath)
find_library(FERROLAN_LZMA_STATIC_LIB NAMES liblzma.a HINTS ${_lzma_hint}/lib NO_DEFAULT_PATH REQUIRED)
find_path(FERROLAN_TOMCRYPT_INC tomcrypt.h HINTS ${_deps_hint}/include ${_find_opts} REQUIRED)
find_path(FERROLAN_TOMMATH_INC tommath.h HINTS ${_deps_hint}/include ${_find_opts} REQUIRED)
find_path(FERROLAN_LZMA_STATIC_INC lzma.h HINTS ${_lzma_hint}/include NO_DEFAULT_PATH REQUIRED)

add_library(ferrolan::tomcrypt INTERFACE IMPORTED)
target_link_libraries(ferrolan::tomcrypt INTERFACE ${FERROLAN_TOMCRYPT_LIB} ${FERROLAN_TOMMATH_LIB})
target_include_directories(ferrolan::tomcrypt SYSTEM INTERFACE ${FERROLAN_TOMCRYPT_INC}
  ${FERROLAN_TOMMATH_INC})
target_compile_definitions(ferrolan::tomcrypt INTERFACE LTM_DESC USE_LTM)

add_library(ferrolan::lzma INTERFACE IMPORTED)
target_link_libraries(ferrolan::lzma INTERFACE ${FERROLAN_LZMA_STATIC_LIB} Threads::Threads)
target_include_directories(ferrolan::lzma SYSTEM INTERFACE ${FERROLAN_LZMA_STATIC_INC})
target_compile_definitions(ferrolan::lzma INTERFACE LZMA_API_STATIC)

if(WIN32)
  # Debian's libz-mingw-w64-dev installs into the cross compiler's own prefix. The static library
  # is named explicitly: the import library beside it would make the packager need zlib1.dll.
  find_library(FERROLAN_ZLIB_LIB NAMES libz.a HINTS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH
    REQUIRED)
  find_path(FERROLAN_ZLIB_INC zlib.h HINTS /usr/x86_64-w64-mingw32/include NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH
    REQUIRED)
else()
  find_library(FERROLAN_ZLIB_LIB NAMES z REQUIRED)
  find_path(FERROLAN_ZLIB_INC zlib.h REQUIRED)
endif()
add_library(ferrolan::zlib INTERFACE IMPORTED)
target_link_libraries(ferrolan::zlib INTERFACE ${FERROLAN_ZLIB_LIB})
if(NOT WIN32)
  # The mingw compiler searches its own prefix already; naming it again would reorder the
  # system headers.
  target_include_directories(ferrolan::zlib SYSTEM INTERFACE ${FERROLAN_ZLIB_INC})
endif()

# nlohmann-json is header-only, so the mingw build takes Debian's native headers as well. It must
# not see the rest of the native include folder, whose C library headers would shadow mingw's, so
# the headers are reached through a folder of the build tree that holds nothing but them.
find_path(FERROLAN_JSON_INC nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(ferrolan::json INTERFACE IMPORTED)
if(WIN32)
  set(_json_dir ${CMAKE_BINARY_DIR}/third_party/json/include)
  file(MAKE_DIRECTORY ${_json_dir})
  file(CREATE_LINK ${FERROLAN_JSON_INC}/nlohmann ${_json_dir}/nlohmann COPY_ON_ERROR SYMBOLIC)
  target_include_directories(ferrolan::json SYSTEM INTERFACE ${_json_dir})
else()
  target_include_directories(ferrolan::json SYSTEM INTERFACE ${FERROLAN_JSON_INC})
endif()

if(NOT WIN32)
  find_package(CURL REQUIRED)
  find_package(X11 REQUIRED)
  find_package(PNG REQUIRED)
  # libcurl and libproxy are loaded when a download first needs them (see
  # src/net/network_libraries_posix.h): only their headers are used at build time.
  add_library(ferrolan::curl INTERFACE IMPORTED)
  get_target_property(_curl_includes CURL::libcurl INTERFACE_INCLUDE_DIRECTORIES)
  if(_curl_includes)
    target_include_directories(ferrolan::curl SYSTEM INTERFACE ${_curl_includes})
  endif()
  target_link_libraries(ferrolan::curl INTERFACE ${CMAKE_DL_LIBS})
  # Xlib and libpng likewise, when a splash first needs them
  # (src/splash/imaging_libraries_posix.h).
  add_library(ferrolan::x11 INTERFACE IMPORTED)
  target_include_directories(ferrolan::x11 SYSTEM INTERFACE ${X11_INCLUDE_DIR})
  target_link_libraries(ferrolan::x11 INTERFACE ${CMAKE_DL_LIBS})
  add_library(ferrolan::png INTERFACE IMPORTED)
  target_include_directories(ferrolan::png SYSTEM INTERFACE ${PNG_INCLUDE_DIRS})
  target_link_libraries(ferrolan::png INTERFACE ${CMAKE_DL_LIBS})

  # Automatic proxy configuration (WPAD and configuration scripts) for proxy detection.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FERROLAN_LIBPROXY REQUIRED libproxy-1.0)
  add_library(ferrolan::libproxy INTERFACE IMPORTED)
  target_include_directories(ferrolan::libproxy SYSTEM INTERFACE ${FERROLAN_LIBPROXY_INCLUDE_DIRS})
  target_link_libraries(ferrolan::libproxy INTERFACE ${CMAKE_DL_LIBS})

  # JNI headers of the machine's JDK; the JVM itself is loaded at run time.
  set(FERROLAN_JAVA_HOME "/usr/lib/jvm/java-17-openjdk-amd64" CACHE PATH "JDK used for tests")
  add_library(ferrolan::jni_headers INTERFACE IMPORTED)
  target_include_directories(ferrolan::jni_headers SYSTEM INTERFACE
    ${FERROLAN_JAVA_HOME}/include ${FERROLAN_JAVA_HOME}/include/linux)
endif()
