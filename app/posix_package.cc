#include "app/posix_package.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace setup {

std::unique_ptr<PosixFileSource> PosixFileSource::Open(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<PosixFileSource>(
      new PosixFileSource(fd, static_cast<std::uint64_t>(st.st_size)));
}

PosixFileSource::~PosixFileSource() { close(fd_); }

bool PosixFileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t n = pread(fd_, p, size > SSIZE_MAX ? SSIZE_MAX : size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PosixPrivateFolder::Create(std::string* path) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/setup-component-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return false;  // mode 0700: the user's alone
  *path = buffer.data();
  return true;
}

void PosixPrivateFolder::Remove(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : names) unlink((path + "/" + name).c_str());
  }
  rmdir(path.c_str());
}

}  // namespace setup
