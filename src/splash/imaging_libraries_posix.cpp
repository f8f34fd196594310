#include "splash/imaging_libraries_posix.h"

#include "log/log.h"
#include "os/os.h"

namespace ferrolan::splash::detail {
namespace {

using log::LogPrintf;

// Loads `soname` for good: the splash thread may still be inside the library while the process
// ends, so it is never released. Null (logged) when it cannot be loaded.
const os::DynamicLibrary* LoadForGood(const char* soname) {
  auto* library = new os::DynamicLibrary(soname);
  if (library->IsLoaded()) return library;
  delete library;
  LogPrintf("[Splash] Unable to load %s; the run goes on without a splash\n", soname);
  return nullptr;
}

// Resolves the member named like the function.
#define FERROLAN_RESOLVE(library, api, name) (library)->Resolve(#name, (api).name)

const XlibApi* LoadXlibApi() {
  static const os::DynamicLibrary* const library = LoadForGood("libX11.so.6");
  if (library == nullptr) return nullptr;
  static XlibApi api;
  const bool complete =
      FERROLAN_RESOLVE(library, api, XOpenDisplay) &&
      FERROLAN_RESOLVE(library, api, XCloseDisplay) &&
      FERROLAN_RESOLVE(library, api, XSetErrorHandler) &&
      FERROLAN_RESOLVE(library, api, XSetIOErrorHandler) &&
      FERROLAN_RESOLVE(library, api, XSetIOErrorExitHandler) &&
      FERROLAN_RESOLVE(library, api, XMatchVisualInfo) &&
      FERROLAN_RESOLVE(library, api, XQueryPointer) &&
      FERROLAN_RESOLVE(library, api, XGetWindowAttributes) &&
      FERROLAN_RESOLVE(library, api, XCreateColormap) &&
      FERROLAN_RESOLVE(library, api, XCreateFontCursor) &&
      FERROLAN_RESOLVE(library, api, XCreateWindow) && FERROLAN_RESOLVE(library, api, XCreateGC) &&
      FERROLAN_RESOLVE(library, api, XFreeGC) && FERROLAN_RESOLVE(library, api, XMapRaised) &&
      FERROLAN_RESOLVE(library, api, XIfEvent) && FERROLAN_RESOLVE(library, api, XPending) &&
      FERROLAN_RESOLVE(library, api, XNextEvent) && FERROLAN_RESOLVE(library, api, XFlush) &&
      FERROLAN_RESOLVE(library, api, XSync) && FERROLAN_RESOLVE(library, api, XResizeWindow) &&
      FERROLAN_RESOLVE(library, api, XDestroyWindow) &&
      FERROLAN_RESOLVE(library, api, XCreateImage) && FERROLAN_RESOLVE(library, api, XPutImage) &&
      FERROLAN_RESOLVE(library, api, XGetImage);
  if (complete) return &api;
  LogPrintf("[Splash] libX11.so.6 lacks a function the splash needs; no splash\n");
  return nullptr;
}

const PngApi* LoadPngApi() {
  static const os::DynamicLibrary* const library = LoadForGood("libpng16.so.16");
  if (library == nullptr) return nullptr;
  static PngApi api;
  const bool complete = FERROLAN_RESOLVE(library, api, png_image_begin_read_from_file) &&
                        FERROLAN_RESOLVE(library, api, png_image_finish_read) &&
                        FERROLAN_RESOLVE(library, api, png_image_write_to_file) &&
                        FERROLAN_RESOLVE(library, api, png_image_free);
  if (complete) return &api;
  LogPrintf("[Splash] libpng16.so.16 lacks a function the splash needs; no splash\n");
  return nullptr;
}

#undef FERROLAN_RESOLVE

}  // namespace

// Function-local statics: initialised exactly once, whichever thread asks first.
const XlibApi* Xlib() {
  static const XlibApi* const api = LoadXlibApi();
  return api;
}

const PngApi* Png() {
  static const PngApi* const api = LoadPngApi();
  return api;
}

}  // namespace ferrolan::splash::detail
