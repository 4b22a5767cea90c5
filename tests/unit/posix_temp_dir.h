// A scoped temporary directory for the tests of the POSIX system layer, with helpers
// to make and read real files in it. The directory and everything in it is removed
// when the object goes away.
#ifndef SETUP_TESTS_UNIT_POSIX_TEMP_DIR_H_
#define SETUP_TESTS_UNIT_POSIX_TEMP_DIR_H_

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>

namespace setup {

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base ? base : "/tmp") + "/setup_posix_test.XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Writes `data` to `name` (relative to the directory), making its directories.
  std::string Write(const std::string& name, const std::string& data) const {
    std::string full = *this / name;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << data;
    return full;
  }
  std::string MakeDir(const std::string& name) const {
    std::string full = *this / name;
    std::filesystem::create_directories(full);
    return full;
  }
  // A Wine-prefix layout in `prefix/`: drive_c/<windows>/system32 and the drive C:
  // link in dosdevices. Returns the prefix's path, or empty when the link failed.
  std::string MakeWinePrefix(const std::string& windows = "windows") const {
    std::string prefix = MakeDir("prefix");
    MakeDir("prefix/drive_c/" + windows + "/system32");
    MakeDir("prefix/dosdevices");
    if (symlink("../drive_c", (prefix + "/dosdevices/c:").c_str()) != 0) return std::string();
    return prefix;
  }
  // The names of the entries in `name`, sorted, joined by blanks.
  std::string List(const std::string& name = "") const {
    std::set<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(name.empty() ? path_ : *this / name)) {
      names.insert(entry.path().filename().string());
    }
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
  }

 private:
  std::string path_;
};

// The contents of a file, or "<missing>".
inline std::string ReadFileOrMissing(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets (or, given null, unsets) an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

// Runs body in a forked child, which ends with _exit(0) when body returns, and gives
// the child's exit status, or -1 when there was no child or it did not exit. The tests
// that need a mount namespace or another user run their checks this way, each failed
// check ending the child with a status of its own and 77 meaning "cannot be done here".
template <typename Body>
int ExitStatusOfChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_POSIX_TEMP_DIR_H_
