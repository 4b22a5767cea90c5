// Unnamed temporary files (O_TMPFILE) on real folders: what a commit finds at the
// destination, what a signal or a kill leaves (nothing), the registry's check of the
// file a name stands for, the named file where unnamed ones cannot serve, and the mode
// under a default ACL.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "platform/posix/file_copy.h"
#include "platform/posix/posix_file.h"
#include "platform/posix/temp_files.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

mode_t Mode(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What stands at the destination when the commit comes, and how the file was made.
struct CommitCase {
  const char* what;
  bool known_missing;  // CreateNew rather than Create
  // Made before the temporary file (1) or between its creation and the commit (2).
  int existing_when;
  bool link;  // the existing entry is a link to a file outside
};

TEST(UnnamedTempFileTest, ACommitPutsTheFileInPlaceWhateverStandsThere) {
  const CommitCase cases[] = {
      {"nothing, known", true, 0, false},
      {"nothing, looked at", false, 0, false},
      {"a file", false, 1, false},
      {"a link", false, 1, true},
      {"a file made meanwhile", true, 2, false},
      {"a link made meanwhile", true, 2, true},
  };
  mode_t expected = 0664 & ~ProcessUmask();
  for (const CommitCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    std::string dest = tmp / "app/dest.bin";
    std::string outside = tmp.Write("outside.txt", "outside");
    tmp.MakeDir("app");
    auto make_existing = [&] {
      if (c.link) return symlink(outside.c_str(), dest.c_str()) == 0;
      return !tmp.Write("app/dest.bin", "old").empty();
    };
    if (c.existing_when == 1) {
      ASSERT_TRUE(make_existing());
    }
    auto temp = c.known_missing
                    ? TempFile::CreateNew(dest, TempKind::kUnnamedWhereSupported, 0664)
                    : TempFile::Create(dest, nullptr, TempKind::kUnnamedWhereSupported, 0664);
    ASSERT_TRUE(temp);
    ASSERT_TRUE(temp->unnamed()) << "the test folder's file system has no unnamed files";
    if (c.existing_when == 2) {
      ASSERT_TRUE(make_existing());
    }
    ASSERT_TRUE(WriteAll(temp->fd(), "new", 3));
    // Nothing of the file shows before the commit.
    EXPECT_EQ(tmp.List("app"), c.existing_when != 0 ? "dest.bin" : "");
    ASSERT_TRUE(temp->Commit(expected));
    EXPECT_EQ(ReadFileOrMissing(dest), "new");
    EXPECT_EQ(Mode(dest), expected);
    EXPECT_EQ(tmp.List("app"), "dest.bin");
    EXPECT_EQ(ReadFileOrMissing(outside), "outside");
  }
}

// Giving an unnamed file a name never replaces what has it, and a failed link answers the
// destination's own error whichever way the file is linked (the descriptor itself, or its
// name under /proc), before and after the way is known. The names drawn for such files are
// of the pattern and differ.
TEST(UnnamedTempFileTest, LinkingNeverReplacesAndNamesDiffer) {
  TempDir tmp;
  auto temp = TempFile::CreateNew(tmp / "dest.bin", TempKind::kUnnamedWhereSupported, 0644);
  ASSERT_TRUE(temp && temp->unnamed());
  ASSERT_TRUE(WriteAll(temp->fd(), "new", 3));
  std::string taken = tmp.Write("taken.bin", "old");
  struct {
    std::string path;
    bool linked;
    int error;
  } const kCases[] = {
      {tmp / "missing/a.bin", false, ENOENT}, {taken, false, EEXIST}, {tmp / "first.bin", true, 0},
      {tmp / "missing/b.bin", false, ENOENT}, {taken, false, EEXIST}, {tmp / "second.bin", true, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    errno = 0;
    bool linked = LinkUnnamedFile(temp->fd(), c.path);
    int error = errno;
    EXPECT_EQ(linked, c.linked);
    if (c.linked) {
      EXPECT_EQ(ReadFileOrMissing(c.path), "new");
    } else {
      EXPECT_EQ(error, c.error);
    }
  }
  EXPECT_EQ(ReadFileOrMissing(taken), "old");
  std::set<std::string> names;
  for (int i = 0; i < 1000; ++i) {
    std::string name = NewTempFileName(tmp.path() + "/");
    ASSERT_EQ(name.rfind(tmp.path() + "/", 0), 0u) << name;
    EXPECT_TRUE(IsTempFileName(name.substr(tmp.path().size() + 1))) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 1000u);
}

// A child makes an unnamed file with the cleanup installed and waits to be ended.
TEST(UnnamedTempFileTest, TheHandlerRemovesOnlyTheFileItHolds) {
  struct Case {
    const char* what;
    bool with_fd;
    const char* named;  // what the registered name stands for: "held", "other", "none"
    bool removed;
  } cases[] = {
      {"the held file", true, "held", true},
      {"another file", true, "other", false},
      {"nothing", true, "none", false},
      {"no descriptor given", false, "other", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    std::string held_path = tmp.Write("held.bin", "held");
    ScopedFd held(open(held_path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(held.valid());
    std::string name = tmp / ".~stpABC123.tmp";
    std::string named = c.named;
    if (named == "held") {
      ASSERT_EQ(link(held_path.c_str(), name.c_str()), 0);
    }
    if (named == "other") tmp.Write(".~stpABC123.tmp", "other");
    int slot = RegisterTempFile(name.c_str(), c.with_fd ? held.get() : -1);
    ASSERT_GE(slot, 0);
    RemoveLiveTempFiles();
    UnregisterTempFile(slot);
    EXPECT_EQ(ReadFileOrMissing(name) == "<missing>", c.removed || named == "none");
    EXPECT_EQ(ReadFileOrMissing(held_path), "held");
  }
}

// An unprivileged user's links answer as the destination decides, whether the kernel
// lets such a user link the descriptor itself (newer kernels do) or the link goes
// through /proc, learnt at the first file. Runs as another user in a child; skipped when
// the tests do not run as root (their links then take whichever way the kernel allows).
TEST(UnnamedTempFileTest, WithoutThePrivilegeTheLinkGoesThroughProc) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  TempDir tmp;
  std::string dir = tmp.MakeDir("open");
  ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
  int code = ExitStatusOfChild([&] {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(77);
    auto temp = TempFile::CreateNew(dir + "/dest.bin", TempKind::kUnnamedWhereSupported, 0644);
    if (!temp || !temp->unnamed()) _exit(77);
    if (!WriteAll(temp->fd(), "new", 3)) _exit(10);
    for (const char* name : {"/first.bin", "/second.bin"}) {
      if (!LinkUnnamedFile(temp->fd(), dir + name)) _exit(11);
      if (ReadFileOrMissing(dir + name) != "new") _exit(12);
    }
    if (LinkUnnamedFile(temp->fd(), dir + "/missing/a.bin") || errno != ENOENT) _exit(13);
    if (LinkUnnamedFile(temp->fd(), dir + "/first.bin") || errno != EEXIST) _exit(14);
  });
  if (code == 77) GTEST_SKIP() << "cannot become an unprivileged user here";
  EXPECT_EQ(code, 0) << "the check that failed, see the child above";
}

// Where closing may report a write error (ramfs counts as such), the file is a named one;
// the copy is the same. Runs in a child with its own mount namespace; skipped where
// mounting is not permitted.
TEST(UnnamedTempFileTest, ElsewhereTheTemporaryFileHasAName) {
  TempDir tmp;
  std::string mount_point = tmp.MakeDir("ram");
  std::string source = tmp.Write("source.bin", "payload");
  int code = ExitStatusOfChild([&] {
    if (unshare(CLONE_NEWNS) != 0) _exit(77);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    if (mount("ramfs", mount_point.c_str(), "ramfs", 0, nullptr) != 0) _exit(77);
    std::string dest = mount_point + "/dest.bin";
    {
      auto temp = TempFile::CreateNew(dest, TempKind::kUnnamedWhereSupported, 0644);
      if (!temp || temp->unnamed()) _exit(10);
      if (!IsTempFileName(temp->path().substr(temp->path().rfind('/') + 1))) _exit(11);
    }
    if (!CopyFileContents(source, dest, true)) _exit(12);
    if (ReadFileOrMissing(dest) != "payload") _exit(13);
    if (rmdir(mount_point.c_str()) == 0 || errno != EBUSY) _exit(14);
    if (umount(mount_point.c_str()) != 0) _exit(15);
  });
  if (code == 77) GTEST_SKIP() << "mounting a ramfs is not permitted here";
  EXPECT_EQ(code, 0) << "the check that failed, see the child above";
}

// A default ACL, not the umask, decides a new file's mode in its folder: the commit then
// sets the mode itself.
TEST(UnnamedTempFileTest, ADefaultAclDoesNotChangeTheCopysMode) {
  TempDir tmp;
  std::string dir = tmp.MakeDir("acl");
  // user::rwx group::rwx other::rwx, in the kernel's xattr layout (version 2).
  const std::uint32_t acl[] = {2,           0x0001 | (7u << 16), 0xFFFFFFFFu, 0x0004 | (7u << 16),
                               0xFFFFFFFFu, 0x0020 | (7u << 16), 0xFFFFFFFFu};
  if (setxattr(dir.c_str(), "system.posix_acl_default", acl, sizeof acl, 0) != 0) {
    GTEST_SKIP() << "no ACLs here: " << std::strerror(errno);
  }
  std::string source = tmp.Write("source.bin", "payload");
  ASSERT_EQ(chmod(source.c_str(), 0666), 0);
  ASSERT_NE(ProcessUmask() & 0666, 0u) << "a umask that clears no bit cannot tell";
  ASSERT_TRUE(CopyFileContents(source, dir + "/copy.bin", true));
  EXPECT_EQ(Mode(dir + "/copy.bin"), 0666 & ~ProcessUmask());
  EXPECT_EQ(tmp.List("acl"), "copy.bin");
}

}  // namespace
}  // namespace setup
