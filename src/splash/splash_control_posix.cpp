// The POSIX splash: libpng decodes the image, and an Xlib window on a thread of its own shows the
// frames of frame_renderer.h. Both libraries are loaded when first needed
// (imaging_libraries_posix.h); without them there is no splash. The thread opens no display of its
// own: StartSplashWindow opens one, hands it over, and from then on only the splash thread talks to
// it, so Xlib needs no thread support of its own (no XInitThreads).
#include <X11/cursorfont.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "log/log.h"
#include "splash/imaging_libraries_posix.h"
#include "splash/png_header.h"
#include "splash/splash_control_os.h"

namespace ferrolan::splash::detail {
namespace {

using log::LogPrintf;
using Clock = std::chrono::steady_clock;

constexpr auto kStartTimeout = std::chrono::milliseconds(5000);
constexpr auto kStopTimeout = std::chrono::milliseconds(9000);
constexpr auto kPaintTimeout = std::chrono::milliseconds(5000);
constexpr auto kMarqueeTick = std::chrono::milliseconds(30);

struct DisplayCloser {
  void operator()(Display* display) const { Xlib()->XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// The image's pixel buffer is owned by the caller's vector, never by Xlib.
struct XImageDestroyer {
  void operator()(XImage* image) const {
    image->data = nullptr;
    XDestroyImage(image);
  }
};
using XImagePtr = std::unique_ptr<XImage, XImageDestroyer>;

struct PngImageFreer {
  void operator()(png_image* image) const { Png()->png_image_free(image); }
};

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// One colour channel of a TrueColor visual: where its bits are and how many there are.
struct Channel {
  int shift = 0;
  int bits = 0;

  explicit Channel(unsigned long mask)
      : shift(mask == 0 ? 0 : std::countr_zero(mask)), bits(std::popcount(mask)) {}

  unsigned long FromByte(std::uint32_t value) const {
    const unsigned long scaled = bits >= 8 ? static_cast<unsigned long>(value) << (bits - 8)
                                           : static_cast<unsigned long>(value) >> (8 - bits);
    return scaled << shift;
  }

  std::uint32_t ToByte(unsigned long pixel) const {
    if (bits == 0) return 0;
    const unsigned long value = (pixel >> shift) & ((1UL << bits) - 1);
    return bits >= 8 ? static_cast<std::uint32_t>(value >> (bits - 8))
                     : static_cast<std::uint32_t>(value * 255 / ((1UL << bits) - 1));
  }
};

// Converts between 0xAARRGGBB and the pixel values of one TrueColor visual.
struct PixelLayout {
  Channel red, green, blue;

  explicit PixelLayout(const Visual* visual)
      : red(visual->red_mask), green(visual->green_mask), blue(visual->blue_mask) {}

  unsigned long ToPixel(std::uint32_t argb) const {
    return red.FromByte((argb >> 16) & 0xFF) | green.FromByte((argb >> 8) & 0xFF) |
           blue.FromByte(argb & 0xFF);
  }

  std::uint32_t ToArgb(unsigned long pixel) const {
    return 0xFF000000u | (red.ToByte(pixel) << 16) | (green.ToByte(pixel) << 8) |
           blue.ToByte(pixel);
  }
};

// What the splash thread and the threads that call the window share. It lives as long as the
// longer of the two, so a thread left behind after the stop time-out never touches freed memory.
struct SharedState {
  std::mutex mutex;
  std::condition_variable changed;
  enum class Phase { kStarting, kUp, kFailed, kEnded } phase = Phase::kStarting;
  bool quit = false;
  int requestedProgress = kNoBar;
  std::uint64_t requests = 0;  // progress requests made
  std::uint64_t painted = 0;   // requests whose frame is on the screen
  WindowBounds bounds;
  // Set by Xlib's exit handler (on the splash thread) when the X server went away.
  std::atomic<bool> displayLost{false};
  UniqueFd wakeRead;
  UniqueFd wakeWrite;

  // Wakes the splash thread's poll. A full pipe already holds a wake-up, so EAGAIN is fine.
  void Wake() const {
    const char byte = 1;
    while (write(wakeWrite.get(), &byte, 1) < 0 && errno == EINTR) {
    }
  }

  void DrainWakeups() const {
    char bytes[64];
    while (read(wakeRead.get(), bytes, sizeof bytes) > 0) {
    }
  }

  void SetPhase(Phase next) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      phase = next;
    }
    changed.notify_all();
  }
};

Bool IsMapNotify(Display*, XEvent* event, XPointer window) {
  return event->type == MapNotify && event->xmap.window == *reinterpret_cast<Window*>(window)
             ? True
             : False;
}

// The splash thread's side: the display, the window and the frame it shows.
class SplashThread {
 public:
  SplashThread(std::shared_ptr<SharedState> shared, DisplayPtr display, ArgbImage image, int border)
      : shared_(std::move(shared)),
        display_(std::move(display)),
        image_(std::move(image)),
        border_(border),
        geometry_(GeometryFor(image_.width, image_.height, border)) {}

  void Run() {
    if (!CreateWindow()) {
      shared_->SetPhase(SharedState::Phase::kFailed);
      return;
    }
    Paint(false);
    shared_->SetPhase(SharedState::Phase::kUp);
    Loop();
    // With the server gone there is no window left to take down.
    if (!shared_->displayLost) {
      Xlib()->XFreeGC(display_.get(),
                      gc_);  // its client-side record outlives the display otherwise
      Xlib()->XDestroyWindow(display_.get(), window_);
      Xlib()->XSync(display_.get(), False);
    }
    shared_->SetPhase(SharedState::Phase::kEnded);
  }

 private:
  bool CreateWindow() {
    Display* display = display_.get();
    const int screen = DefaultScreen(display);
    XVisualInfo info;
    if (!Xlib()->XMatchVisualInfo(display, screen, 24, TrueColor, &info)) {
      LogPrintf("[Splash] The display has no 24-bit TrueColor visual\n");
      LogPrintf("Unable to create SplashWnd\n");
      return false;
    }
    visual_ = info.visual;
    depth_ = info.depth;
    layout_ = std::make_unique<PixelLayout>(visual_);
    const Window root = RootWindow(display, screen);

    // Centred on the screen the pointer is on; without Xinerama that screen is the root
    // window, so its full size is the monitor's rectangle.
    Window rootOfPointer = root, child = 0;
    int pointerX = 0, pointerY = 0, windowX = 0, windowY = 0;
    unsigned int buttons = 0;
    Xlib()->XQueryPointer(display, root, &rootOfPointer, &child, &pointerX, &pointerY, &windowX,
                          &windowY, &buttons);
    XWindowAttributes rootAttributes;
    Xlib()->XGetWindowAttributes(display, rootOfPointer, &rootAttributes);
    height_ = WindowHeight(geometry_, progress_);
    const int x = (rootAttributes.width - geometry_.width) / 2;
    const int y = (rootAttributes.height - height_) / 2;

    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // no decorations, no focus, no taskbar entry
    attributes.background_pixel = layout_->ToPixel(0xFFFFFFFFu);
    attributes.border_pixel = 0;
    attributes.colormap = Xlib()->XCreateColormap(display, root, visual_, AllocNone);
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    attributes.cursor = Xlib()->XCreateFontCursor(display, XC_watch);
    window_ = Xlib()->XCreateWindow(
        display, root, x, y, static_cast<unsigned>(geometry_.width), static_cast<unsigned>(height_),
        0, depth_, InputOutput, visual_,
        CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWColormap | CWEventMask | CWCursor,
        &attributes);
    if (window_ == 0) {
      LogPrintf("Unable to create SplashWnd\n");
      return false;
    }
    gc_ = Xlib()->XCreateGC(display, window_, 0, nullptr);
    Xlib()->XMapRaised(display, window_);
    // An override-redirect window is mapped by the server itself, without a window manager, so
    // its MapNotify follows at once. Other events stay queued for the loop.
    XEvent mapped;
    Xlib()->XIfEvent(display, &mapped, &IsMapNotify, reinterpret_cast<XPointer>(&window_));
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->bounds = WindowBounds{x, y, geometry_.width, height_};
    }
    x_ = x;
    y_ = y;
    return true;
  }

  void Loop() {
    Display* display = display_.get();
    auto nextTick = Clock::now() + kMarqueeTick;
    for (;;) {
      if (shared_->displayLost) return;
      while (Xlib()->XPending(display) > 0) {
        XEvent event;
        Xlib()->XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0) Paint(false);
      }

      int progress = 0;
      std::uint64_t requests = 0;
      {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->quit) return;
        progress = shared_->requestedProgress;
        requests = shared_->requests;
      }
      if (requests != served_) {
        ApplyProgress(progress);
        served_ = requests;
        {
          std::lock_guard<std::mutex> lock(shared_->mutex);
          shared_->painted = requests;
        }
        shared_->changed.notify_all();
        nextTick = Clock::now() + kMarqueeTick;
      }

      int timeout = -1;
      if (progress_ == kIndeterminate) {
        const auto now = Clock::now();
        if (now >= nextTick) {
          Paint(true);
          nextTick = now + kMarqueeTick;
        }
        timeout = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count());
        if (timeout < 0) timeout = 0;
      }
      Xlib()->XFlush(display);
      if (Xlib()->XPending(display) > 0) continue;
      pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0},
                       {shared_->wakeRead.get(), POLLIN, 0}};
      if (poll(fds, 2, timeout) > 0 && (fds[1].revents & POLLIN) != 0) shared_->DrainWakeups();
      // A connection that broke wakes the poll; Xlib notices it on the next XPending.
    }
  }

  // Grows or shrinks the window when the bar appears or goes, then shows the new frame.
  void ApplyProgress(int value) {
    progress_ = value;
    const int height = WindowHeight(geometry_, value);
    if (height != height_) {
      height_ = height;
      Xlib()->XResizeWindow(display_.get(), window_, static_cast<unsigned>(geometry_.width),
                            static_cast<unsigned>(height_));
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->bounds = WindowBounds{x_, y_, geometry_.width, height_};
    }
    Paint(false);
  }

  // Composes the next frame and puts it on the window; a marquee tick sends only the bar.
  void Paint(bool barOnly) {
    if (progress_ == kIndeterminate) marqueeOffset_ = NextMarqueeOffset(marqueeOffset_);
    RenderFrame(image_, border_, progress_, marqueeOffset_, frame_);
    if (!ximage_) {
      ximage_.reset(Xlib()->XCreateImage(display_.get(), visual_, static_cast<unsigned>(depth_),
                                         ZPixmap, 0, nullptr, static_cast<unsigned>(frame_.width),
                                         static_cast<unsigned>(frame_.height), 32, 0));
      if (!ximage_) return;
      pixels_.assign(static_cast<std::size_t>(ximage_->bytes_per_line) *
                         static_cast<std::size_t>(frame_.height),
                     0);
      ximage_->data = pixels_.data();
    }
    const int top = barOnly ? geometry_.borderedHeight : 0;
    for (int y = top; y < frame_.height; ++y) {
      for (int x = 0; x < frame_.width; ++x)
        XPutPixel(ximage_.get(), x, y, layout_->ToPixel(frame_.At(x, y)));
    }
    Xlib()->XPutImage(display_.get(), window_, gc_, ximage_.get(), 0, top, 0, top,
                      static_cast<unsigned>(frame_.width), static_cast<unsigned>(height_ - top));
    Xlib()->XSync(display_.get(), False);
  }

  std::shared_ptr<SharedState> shared_;
  DisplayPtr display_;
  ArgbImage image_;
  int border_;
  FrameGeometry geometry_;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  std::unique_ptr<PixelLayout> layout_;
  Window window_ = 0;
  GC gc_ = nullptr;
  int x_ = 0;
  int y_ = 0;
  int height_ = 0;
  int progress_ = kNoBar;
  int marqueeOffset_ = 0;
  std::uint64_t served_ = 0;
  ArgbImage frame_;
  std::vector<char> pixels_;  // declared before ximage_, which points into it
  XImagePtr ximage_;
};

class XlibSplashWindow final : public SplashWindow {
 public:
  XlibSplashWindow(std::shared_ptr<SharedState> shared, std::thread thread)
      : shared_(std::move(shared)), thread_(std::move(thread)) {}

  ~XlibSplashWindow() override {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->quit = true;
    shared_->Wake();
    const bool ended = shared_->changed.wait_for(lock, kStopTimeout, [&] {
      return shared_->phase == SharedState::Phase::kEnded ||
             shared_->phase == SharedState::Phase::kFailed;
    });
    lock.unlock();
    if (ended) {
      thread_.join();
    } else {
      LogPrintf("[Splash] The splash thread did not end within 9000 ms; leaving it behind\n");
      thread_.detach();
    }
  }

  void SetProgress(int value) override {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->requestedProgress = value;
    const std::uint64_t request = ++shared_->requests;
    shared_->Wake();
    shared_->changed.wait_for(lock, kPaintTimeout, [&] {
      return shared_->painted >= request || shared_->phase != SharedState::Phase::kUp;
    });
  }

  WindowBounds Bounds() const override {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->bounds;
  }

  // Waits for the thread's window; false when it failed or did not come up in time.
  bool WaitUntilUp() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->changed.wait_for(lock, kStartTimeout,
                              [&] { return shared_->phase != SharedState::Phase::kStarting; });
    return shared_->phase == SharedState::Phase::kUp;
  }

  bool Failed() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->phase == SharedState::Phase::kFailed;
  }

 private:
  std::shared_ptr<SharedState> shared_;
  std::thread thread_;
};

std::uint32_t ToArgb(const png_byte* argb) {
  return (static_cast<std::uint32_t>(argb[0]) << 24) | (static_cast<std::uint32_t>(argb[1]) << 16) |
         (static_cast<std::uint32_t>(argb[2]) << 8) | static_cast<std::uint32_t>(argb[3]);
}

// Xlib's default error handler ends the process on any protocol error, and the splash must
// never end the run: an error is logged, and the splash goes on without what failed. The handler
// is the process's; only the splash talks to the X server before the application starts.
int LogXError(Display* /*display*/, XErrorEvent* event) {
  LogPrintf("[Splash] X error %d (request %d); the splash goes on\n",
            static_cast<int>(event->error_code), static_cast<int>(event->request_code));
  return 0;
}

// When the X server goes away (it ended, or the connection broke), Xlib calls the I/O error
// handler and then the display's exit handler, whose default ends the process. Neither may end
// the run: the first logs, the second marks the display lost, and the splash thread ends.
int LogXIoError(Display* /*display*/) {
  LogPrintf("[Splash] The display went away; the run goes on without a splash\n");
  return 0;
}

void MarkDisplayLost(Display* /*display*/, void* lost) {
  if (lost != nullptr) static_cast<std::atomic<bool>*>(lost)->store(true);
}

// `lost` (may be null) is set when the server goes away; it must outlive the display.
DisplayPtr OpenDisplay(std::atomic<bool>* lost) {
  if (Xlib() == nullptr) return nullptr;
  static std::once_flag installed;
  std::call_once(installed, [] {
    Xlib()->XSetErrorHandler(LogXError);
    Xlib()->XSetIOErrorHandler(LogXIoError);
  });
  DisplayPtr display(Xlib()->XOpenDisplay(nullptr));
  if (display) Xlib()->XSetIOErrorExitHandler(display.get(), MarkDisplayLost, lost);
  return display;
}

}  // namespace

bool IsWindowsXpOrLater() { return true; }

// libpng and Xlib need no process-wide start-up; they are loaded when first used.
bool StartImaging() { return true; }
void StopImaging() {}

std::optional<ArgbImage> LoadPng(const std::string& path) {
  const std::optional<PngSize> declared = ShowablePngSize(path);
  if (!declared || Png() == nullptr) return std::nullopt;

  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  std::unique_ptr<png_image, PngImageFreer> release(&png);
  if (!Png()->png_image_begin_read_from_file(&png, path.c_str())) {
    LogPrintf("[Splash] Cannot decode %s: %s\n", path.c_str(), png.message);
    return std::nullopt;
  }
  if (png.width != declared->width || png.height != declared->height) {
    LogPrintf("[Splash] Cannot decode %s: its size changed while it was read\n", path.c_str());
    return std::nullopt;
  }
  png.format = PNG_FORMAT_ARGB;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(png));
  if (!Png()->png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) {
    LogPrintf("[Splash] Cannot decode %s: %s\n", path.c_str(), png.message);
    return std::nullopt;
  }
  ArgbImage image;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.pixels.resize(static_cast<std::size_t>(png.width) * png.height);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = ToArgb(&bytes[4 * i]);
  return image;
}

std::unique_ptr<SplashWindow> StartSplashWindow(const ArgbImage& image, int border) {
  const FrameGeometry geometry = GeometryFor(image.width, image.height, border);
  if (geometry.width <= 0 || geometry.borderedHeight <= 0) {
    LogPrintf("[Splash] Nothing to show: the splash would be %d x %d pixels\n", geometry.width,
              geometry.borderedHeight);
    return nullptr;
  }
  auto shared = std::make_shared<SharedState>();
  DisplayPtr display = OpenDisplay(&shared->displayLost);
  if (!display) {
    LogPrintf("[Splash] No display; running without a splash\n");
    return nullptr;
  }
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    log::LogSystemError("[Splash]", "pipe2");
    return nullptr;
  }
  shared->wakeRead = UniqueFd(pipeFds[0]);
  shared->wakeWrite = UniqueFd(pipeFds[1]);
  auto splash = std::make_unique<SplashThread>(shared, std::move(display), image, border);
  std::thread thread([splash = std::move(splash)] { splash->Run(); });
  auto window = std::make_unique<XlibSplashWindow>(shared, std::move(thread));
  if (window->WaitUntilUp()) return window;
  if (!window->Failed()) LogPrintf("Error starting SplashThread\n");
  return nullptr;
}

std::optional<ArgbImage> CaptureScreen(const WindowBounds& area) {
  DisplayPtr display = OpenDisplay(nullptr);
  if (!display || area.width <= 0 || area.height <= 0) return std::nullopt;
  const int screen = DefaultScreen(display.get());
  // XGetImage fails for an area off the screen.
  if (area.x < 0 || area.y < 0 || area.x + area.width > DisplayWidth(display.get(), screen) ||
      area.y + area.height > DisplayHeight(display.get(), screen))
    return std::nullopt;
  XImage* raw = Xlib()->XGetImage(display.get(), RootWindow(display.get(), screen), area.x, area.y,
                                  static_cast<unsigned>(area.width),
                                  static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  if (raw == nullptr) return std::nullopt;
  std::unique_ptr<XImage, int (*)(XImage*)> captured(
      raw, [](XImage* image) { return XDestroyImage(image); });
  const PixelLayout layout(DefaultVisual(display.get(), screen));
  ArgbImage image;
  image.width = area.width;
  image.height = area.height;
  image.pixels.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x)
      image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(area.width) +
                   static_cast<std::size_t>(x)] = layout.ToArgb(XGetPixel(captured.get(), x, y));
  }
  return image;
}

bool SavePng(const ArgbImage& image, const std::string& path) {
  if (image.width <= 0 || image.height <= 0 || Png() == nullptr) return false;
  std::vector<png_byte> bytes;
  bytes.reserve(image.pixels.size() * 4);
  for (std::uint32_t argb : image.pixels) {
    for (int shift : {24, 16, 8, 0}) bytes.push_back(static_cast<png_byte>(argb >> shift));
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_ARGB;
  return Png()->png_image_write_to_file(&png, path.c_str(), 0, bytes.data(), 0, nullptr) != 0;
}

}  // namespace ferrolan::splash::detail
