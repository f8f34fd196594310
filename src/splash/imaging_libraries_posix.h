// Xlib and libpng as the POSIX splash uses them: loaded when a splash, or a test of one, first
// needs them, not linked. Linking them (with the X protocol libraries behind Xlib) costs every
// start about half a millisecond before main, and most starts show no splash; a machine without
// them still runs the launcher, without a splash. Private to the splash subsystem's POSIX files.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

namespace ferrolan::splash::detail {

/// The Xlib functions the splash window and the screen capture call, resolved from
/// libX11.so.6. The members carry the functions' own names.
struct XlibApi {
  decltype(&::XOpenDisplay) XOpenDisplay = nullptr;
  decltype(&::XCloseDisplay) XCloseDisplay = nullptr;
  decltype(&::XSetErrorHandler) XSetErrorHandler = nullptr;
  decltype(&::XSetIOErrorHandler) XSetIOErrorHandler = nullptr;
  decltype(&::XSetIOErrorExitHandler) XSetIOErrorExitHandler = nullptr;
  decltype(&::XMatchVisualInfo) XMatchVisualInfo = nullptr;
  decltype(&::XQueryPointer) XQueryPointer = nullptr;
  decltype(&::XGetWindowAttributes) XGetWindowAttributes = nullptr;
  decltype(&::XCreateColormap) XCreateColormap = nullptr;
  decltype(&::XCreateFontCursor) XCreateFontCursor = nullptr;
  decltype(&::XCreateWindow) XCreateWindow = nullptr;
  decltype(&::XCreateGC) XCreateGC = nullptr;
  decltype(&::XFreeGC) XFreeGC = nullptr;
  decltype(&::XMapRaised) XMapRaised = nullptr;
  decltype(&::XIfEvent) XIfEvent = nullptr;
  decltype(&::XPending) XPending = nullptr;
  decltype(&::XNextEvent) XNextEvent = nullptr;
  decltype(&::XFlush) XFlush = nullptr;
  decltype(&::XSync) XSync = nullptr;
  decltype(&::XResizeWindow) XResizeWindow = nullptr;
  decltype(&::XDestroyWindow) XDestroyWindow = nullptr;
  decltype(&::XCreateImage) XCreateImage = nullptr;
  decltype(&::XPutImage) XPutImage = nullptr;
  decltype(&::XGetImage) XGetImage = nullptr;
};

/// The libpng simplified-API functions of the image loader, resolved from libpng16.so.16.
struct PngApi {
  decltype(&::png_image_begin_read_from_file) png_image_begin_read_from_file = nullptr;
  decltype(&::png_image_finish_read) png_image_finish_read = nullptr;
  decltype(&::png_image_write_to_file) png_image_write_to_file = nullptr;
  decltype(&::png_image_free) png_image_free = nullptr;
};

/// Xlib's functions, loading the library on the first call; nullptr (with the reason in the
/// log, once) when it cannot be loaded. Safe to call from several threads. The library stays
/// loaded until the process ends.
const XlibApi* Xlib();

/// libpng's functions, loaded on the first call; nullptr (logged once) when it cannot be.
const PngApi* Png();

}  // namespace ferrolan::splash::detail
