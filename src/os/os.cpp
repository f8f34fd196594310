// Portable parts of the OS primitives: only what needs no system call.
#include "os/os.h"

#include <utility>

namespace ferrolan::os {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    DynamicLibrary dying(std::move(*this));
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

}  // namespace ferrolan::os
