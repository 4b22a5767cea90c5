// The native program's side of packages: a package file read at offsets, and private
// folders under the temporary directory.
#ifndef SETUP_APP_POSIX_PACKAGE_H_
#define SETUP_APP_POSIX_PACKAGE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "pack/package_reader.h"
#include "pack/package_system.h"

namespace setup {

class PosixFileSource : public pack::ByteSource {
 public:
  // Null when `path` (a POSIX path) cannot be opened or is not a regular file.
  static std::unique_ptr<PosixFileSource> Open(const std::string& path);
  ~PosixFileSource() override;
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  PosixFileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  std::uint64_t size_;
};

// Folders made by mkdtemp (mode 0700) in $TMPDIR, else /tmp.
class PosixPrivateFolder : public pack::PrivateFolder {
 public:
  bool Create(std::string* path) override;
  void Remove(const std::string& path) override;
};

}  // namespace setup

#endif  // SETUP_APP_POSIX_PACKAGE_H_
