// What the POSIX file layer finds at a destination, on real files: symbolic links are
// replaced and never written through, devices, FIFOs and sockets are refused; the modes
// of copies; read errors part-way through the buffered copy.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/posix/file_copy.h"
#include "platform/posix/posix_file.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/temp_files.h"
#include "tests/unit/posix_temp_dir.h"
#include "tests/unit/system_calls.h"

namespace setup {
namespace {

class PosixFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    ASSERT_FALSE(tmp_.MakeWinePrefix().empty());
    work_ = tmp_.MakeDir("prefix/drive_c/work");
    outside_ = tmp_.MakeDir("outside");
    system_ = std::make_unique<PosixSystem>(tmp_ / "prefix");
  }

  static mode_t Kind(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
  }
  static mode_t Mode(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  bool TextCopy(const std::string& destination) {
    auto out = Replacement(*system_, destination);
    return out && out->Write("payload", 7).ok() && out->Commit().ok();
  }

  TempDir tmp_;
  std::string work_;
  std::string outside_;
  std::unique_ptr<PosixSystem> system_;
};

// Makes `path` a socket; the descriptor is closed, the name stays.
bool MakeSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ScopedFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
  return fd.valid() && bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// What stands at the destination, how it is made, and whether a copy replaces it.
struct DestinationCase {
  const char* what;
  int (*make)(const std::string& dest, const std::string& outside, const std::string& source);
  bool replaced;
} const kDestinations[] = {
    {"a link to a file outside the prefix",
     [](auto& d, auto& o, auto&) { return symlink((o + "/target.txt").c_str(), d.c_str()); }, true},
    {"a link to a read-only file",
     [](auto& d, auto& o, auto&) { return symlink((o + "/read-only.txt").c_str(), d.c_str()); },
     true},
    {"a link to the source", [](auto& d, auto&, auto& s) { return symlink(s.c_str(), d.c_str()); },
     true},
    {"a dangling link",
     [](auto& d, auto& o, auto&) { return symlink((o + "/missing").c_str(), d.c_str()); }, true},
    {"a link to a directory", [](auto& d, auto& o, auto&) { return symlink(o.c_str(), d.c_str()); },
     false},
    {"a FIFO", [](auto& d, auto&, auto&) { return mkfifo(d.c_str(), 0666); }, false},
    {"a character device",
     [](auto& d, auto&, auto&) { return mknod(d.c_str(), S_IFCHR | 0666, makedev(1, 3)); }, false},
    {"a socket", [](auto& d, auto&, auto&) { return MakeSocket(d) ? 0 : -1; }, false},
    {"a read-only file",
     [](auto& d, auto&, auto&) {
       std::ofstream(d) << "old";
       return chmod(d.c_str(), 0444);
     },
     false},
};

TEST_F(PosixFileTest, WhatStandsAtTheDestination) {
  std::string source = tmp_.Write("prefix/drive_c/work/source.bin", "payload");
  std::string target = tmp_.Write("outside/target.txt", "target");
  std::string read_only = tmp_.Write("outside/read-only.txt", "target");
  ASSERT_EQ(chmod(read_only.c_str(), 0444), 0);
  std::string dest = work_ + "/dest";
  for (const DestinationCase& c : kDestinations) {
    for (bool binary : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (binary ? ", BinCopy" : ", text copy"));
      std::filesystem::remove(dest);
      if (c.make(dest, outside_, source) != 0) {
        ASSERT_EQ(errno, EPERM) << std::strerror(errno);  // mknod needs privilege
        continue;
      }
      mode_t kind = Kind(dest);
      bool copied = binary ? system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\dest").ok()
                           : TextCopy("C:\\work\\dest");
      EXPECT_EQ(copied, c.replaced);
      EXPECT_EQ(Kind(dest), c.replaced ? S_IFREG : kind);
      if (c.replaced) {
        EXPECT_EQ(ReadFileOrMissing(dest), "payload");
      }
      EXPECT_EQ(ReadFileOrMissing(target), "target");
      EXPECT_EQ(ReadFileOrMissing(read_only), "target");
      EXPECT_EQ(ReadFileOrMissing(source), "payload");
      EXPECT_EQ(tmp_.List("outside"), "read-only.txt target.txt");
      EXPECT_EQ(tmp_.List("prefix/drive_c/work"), "dest source.bin");
    }
  }
  EXPECT_EQ(ReadFileOrMissing(dest), "old");
}

TEST_F(PosixFileTest, ACopyGivesTheSourcesModeLessTheUmask) {
  mode_t mask = ProcessUmask();
  ASSERT_NE(mask & 0777, 0u) << "a umask that clears no bit cannot tell";
  struct Case {
    mode_t source;
    mode_t existing;  // 0: no destination yet
  } cases[] = {{0777, 0}, {0751, 0}, {0666, 0}, {0644, 0600}, {0700, 0777}, {04755, 0}};
  std::string dest = work_ + "/dest.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.source) + " over " + std::to_string(c.existing));
    std::filesystem::remove(dest);
    std::string source = tmp_.Write("prefix/drive_c/work/source.bin", "payload");
    ASSERT_EQ(chmod(source.c_str(), c.source), 0);
    if (c.existing != 0) {
      tmp_.Write("prefix/drive_c/work/dest.bin", "old");
      ASSERT_EQ(chmod(dest.c_str(), c.existing), 0);
    }
    ASSERT_TRUE(CopyFileContents(source, dest));
    EXPECT_EQ(Mode(dest), c.source & 0777 & ~mask);
  }
}

TEST_F(PosixFileTest, ATextCopyKeepsAnExistingFilesModeAndGivesOthersTheUsualOne) {
  mode_t usual = 0644 & ~ProcessUmask();
  std::string target = tmp_.Write("outside/target.txt", "target");
  ASSERT_EQ(chmod(target.c_str(), 0604), 0);
  struct Case {
    const char* name;
    mode_t expected;
  } cases[] = {{"existing", 0640}, {"new", usual}, {"link", usual}};
  ASSERT_EQ(chmod(tmp_.Write("prefix/drive_c/work/existing", "old").c_str(), 0640), 0);
  ASSERT_EQ(symlink(target.c_str(), (work_ + "/link").c_str()), 0);
  for (const Case& c : cases) {
    ASSERT_TRUE(TextCopy("C:\\work\\" + std::string(c.name))) << c.name;
    EXPECT_EQ(Mode(work_ + "/" + c.name), c.expected) << c.name;
  }
  EXPECT_EQ(Mode(target), 0604u);
}

// The buffered copy, which serves inputs that copy_file_range refuses: what it has read
// before a read error is written, and the error fails the copy.
TEST_F(PosixFileTest, AReadErrorPartWayFailsTheBufferedCopy) {
  std::string out_path = work_ + "/out.bin";
  struct Case {
    const char* what;
    bool (*open_input)(const std::string& dir, ScopedFd* in, ScopedFd* keep);
    bool copied;
    const char* written;
  } cases[] = {
      {"a pipe that ends",
       [](const std::string&, ScopedFd* in, ScopedFd*) {
         int fds[2];
         if (pipe(fds) != 0) return false;
         *in = ScopedFd(fds[0]);
         ScopedFd write_end(fds[1]);
         return write(write_end.get(), "whole", 5) == 5;
       },
       true, "whole"},
      {"a file open only for writing",
       [](const std::string& dir, ScopedFd* in, ScopedFd*) {
         *in = ScopedFd(open((dir + "/input").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
         return in->valid();
       },
       false, ""},
      {"a terminal whose other side has gone",
       [](const std::string&, ScopedFd* in, ScopedFd*) {
         *in = ScopedFd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
         if (!in->valid() || grantpt(in->get()) != 0 || unlockpt(in->get()) != 0) return false;
         ScopedFd other(open(ptsname(in->get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
         termios raw{};
         if (!other.valid() || tcgetattr(other.get(), &raw) != 0) return false;
         cfmakeraw(&raw);
         return tcsetattr(other.get(), TCSANOW, &raw) == 0 && write(other.get(), "part", 4) == 4 &&
                tcdrain(other.get()) == 0;
       },
       false, "part"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedFd in, keep;
    ASSERT_TRUE(c.open_input(work_, &in, &keep));
    ScopedFd out(open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    ASSERT_TRUE(out.valid());
    EXPECT_EQ(CopyBytes(in.get(), out.get()), c.copied);
    EXPECT_EQ(ReadFileOrMissing(out_path), c.written);
  }
}

TEST(MayReplaceTest, DirectoriesAndFilesWithoutAWriteBitForTheUser) {
  uid_t user = geteuid();
  struct Case {
    mode_t mode;
    uid_t owner;
    bool expected;
  } cases[] = {
      {S_IFREG | 0644, user, true},     {S_IFREG | 0444, user, false},      // root included
      {S_IFDIR | 0777, user, false},    {S_IFREG | 0466, user, user == 0},  // owner's bits
      {S_IFREG | 0602, user + 1, true}, {S_IFREG | 0600, user + 1, user == 0},
  };
  for (const Case& c : cases) {
    struct stat st = {};
    st.st_mode = c.mode;
    st.st_uid = c.owner;
    st.st_gid = static_cast<gid_t>(-2);  // a group the user is not in
    EXPECT_EQ(MayReplace(st), c.expected) << std::oct << c.mode << " owner " << c.owner;
  }
}

}  // namespace
}  // namespace setup
