// The fixture of the POSIX system layer's tests: a scoped temporary directory holding a
// Wine prefix whose drive C has a folder "work", a PosixSystem over it and helpers to
// look at the files.
#ifndef SETUP_TESTS_UNIT_POSIX_SYSTEM_FIXTURE_H_
#define SETUP_TESTS_UNIT_POSIX_SYSTEM_FIXTURE_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <string>

#include "platform/posix/posix_system.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {

class PosixSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    prefix_ = tmp_.MakeWinePrefix("Windows");  // found ignoring case, as Wine does
    ASSERT_FALSE(prefix_.empty());
    work_ = tmp_.MakeDir("prefix/drive_c/work");
    system_ = std::make_unique<PosixSystem>(prefix_);
  }

  std::string Read(const std::string& name) { return ReadFileOrMissing(work_ + "/" + name); }
  std::string Write(const std::string& name, const std::string& data) {
    return tmp_.Write("prefix/drive_c/work/" + name, data);
  }
  std::string List() { return tmp_.List("prefix/drive_c/work"); }
  static std::string ReadAll(InputFile* in) {
    std::string out;
    char buffer[7];  // small, so that reads end inside the file
    std::ptrdiff_t n;
    while ((n = in->Read(buffer, sizeof buffer)) > 0) out.append(buffer, n);
    return n < 0 ? "<error>" : out;
  }
  static mode_t Mode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  static time_t Mtime(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
  }
  static void SetMtime(const std::string& path, time_t seconds) {
    timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  TempDir tmp_;
  std::string prefix_;
  std::string work_;
  std::unique_ptr<PosixSystem> system_;
};

// Lowers the file size limit for the life of the object, so that writes fail with
// EFBIG as on a full disk; SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_;
  sighandler_t old_handler_;
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_POSIX_SYSTEM_FIXTURE_H_
