// Owners of Win32 handles: each closes its handle once, when it goes, and cannot be
// copied.
#ifndef SETUP_PLATFORM_WIN32_SCOPED_HANDLE_H_
#define SETUP_PLATFORM_WIN32_SCOPED_HANDLE_H_

#include <utility>

#include "platform/win32/windows_headers.h"

namespace setup {

// A kernel handle closed with CloseHandle. INVALID_HANDLE_VALUE and null both mean none.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool is_valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

  // Closes the handle now; false when CloseHandle reports a failure (for a file, the
  // last buffered bytes may not have been written).
  bool Close() {
    if (!is_valid()) {
      handle_ = nullptr;
      return true;
    }
    bool ok = CloseHandle(std::exchange(handle_, nullptr)) != FALSE;
    return ok;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A loaded library released with FreeLibrary.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(HMODULE module) : module_(module) {}
  ~ScopedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_SCOPED_HANDLE_H_
