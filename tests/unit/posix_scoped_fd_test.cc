// ScopedFd's CloseBoth on real descriptors: both are closed, in one call or two, whatever
// their numbers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/posix_system.h"
#include "platform/posix/scoped_fd.h"
#include "tests/unit/posix_system_fixture.h"

namespace setup {
namespace {

bool IsOpen(int fd) { return fd >= 0 && fcntl(fd, F_GETFD) != -1; }

int OpenNull() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

// How two descriptors are made: the second right after the first, or with others between.
struct PairCase {
  const char* what;
  int gap;              // descriptors held open between the two
  bool swapped;         // the later one passed first
  bool first_invalid;   // the first ScopedFd holds nothing
  bool second_invalid;  // nor, with this, the second
};

const PairCase kPairs[] = {
    {"adjacent", 0, false, false, false},   {"adjacent, later first", 0, true, false, false},
    {"apart", 3, false, false, false},      {"apart, later first", 3, true, false, false},
    {"first empty", 0, false, true, false}, {"both empty", 0, false, true, true},
};

TEST(ScopedFdTest, CloseBothClosesBothWhateverTheirNumbers) {
  for (const PairCase& c : kPairs) {
    SCOPED_TRACE(c.what);
    ScopedFd a(c.first_invalid ? -1 : OpenNull());
    ScopedFd between[3];
    for (int i = 0; i < c.gap; ++i) between[i] = ScopedFd(OpenNull());
    ScopedFd b(c.second_invalid ? -1 : OpenNull());
    int fa = a.get(), fb = b.get();
    if (c.swapped) {
      CloseBoth(b, a);
    } else {
      CloseBoth(a, b);
    }
    EXPECT_FALSE(a.valid());
    EXPECT_FALSE(b.valid());
    EXPECT_FALSE(IsOpen(fa));
    EXPECT_FALSE(IsOpen(fb));
    for (int i = 0; i < c.gap; ++i) EXPECT_TRUE(IsOpen(between[i].get())) << i;
  }
}

int OpenDescriptors() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

// Copies that end by closing their two files together, and those that do not: none
// leaves a descriptor open.
TEST_F(PosixSystemTest, CopiesLeaveNoDescriptorOpen) {
  Write("source.bin", "bytes");
  Write("existing.bin", "old");
  // The folder's index keeps a descriptor of the folder from its first reading.
  ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\first.bin").ok());
  int before = OpenDescriptors();
  EXPECT_TRUE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\new.bin").ok());
  EXPECT_TRUE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\EXISTING.bin").ok());
  EXPECT_FALSE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\no\\x.bin").ok());
  EXPECT_FALSE(system_->CopyFileBytes("C:\\work\\missing.bin", "C:\\work\\y.bin").ok());
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Read("new.bin"), "bytes");
  EXPECT_EQ(Read("existing.bin"), "bytes");
}

}  // namespace
}  // namespace setup
