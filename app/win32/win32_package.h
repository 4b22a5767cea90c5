// Setup.exe's side of packages: its own file read at offsets, and private folders in the
// user's temporary folder for a component that must be on disk to be registered.
#ifndef SETUP_APP_WIN32_WIN32_PACKAGE_H_
#define SETUP_APP_WIN32_WIN32_PACKAGE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "pack/package_reader.h"
#include "pack/package_system.h"
#include "platform/win32/scoped_handle.h"

namespace setup {

class Win32FileSource : public pack::ByteSource {
 public:
  // The running program's own file; null when it cannot be opened.
  static std::unique_ptr<Win32FileSource> OpenOwnFile();
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  Win32FileSource(ScopedHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  ScopedHandle file_;
  std::uint64_t size_;
};

// A folder in %TEMP% whose access list grants the running user alone, and nobody else
// inherits from its parent.
class Win32PrivateFolder : public pack::PrivateFolder {
 public:
  bool Create(std::string* path) override;
  void Remove(const std::string& path) override;
};

}  // namespace setup

#endif  // SETUP_APP_WIN32_WIN32_PACKAGE_H_
