// The folder index under an inotify watch, on real folders: changes made behind its back
// are applied from the watch's reports, without reading the folder again and without
// waiting for its times to move; a folder moved away or lost reports are read again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/posix/folder_cache.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

void Touch(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  close(fd);
}

// A change behind the index's back, made at once after the index looked, and what a
// look-up finds afterwards.
struct ChangeCase {
  const char* what;
  void (*change)(const std::string& dir);
  const char* looked_up;
  const char* found;  // nullptr: nothing, or several
};

const ChangeCase kChanges[] = {
    {"a file made", [](auto& d) { Touch(d + "/Late.TXT"); }, "late.txt", "Late.TXT"},
    {"a folder made", [](auto& d) { std::filesystem::create_directory(d + "/NewDir"); }, "NEWDIR",
     "NewDir"},
    {"a file removed", [](auto& d) { std::filesystem::remove(d + "/Old.txt"); }, "old.TXT",
     nullptr},
    {"a file renamed",
     [](auto& d) { std::rename((d + "/Old.txt").c_str(), (d + "/Renamed.txt").c_str()); },
     "RENAMED.TXT", "Renamed.txt"},
    {"the old name of a renamed file",
     [](auto& d) { std::rename((d + "/Old.txt").c_str(), (d + "/Renamed.txt").c_str()); },
     "OLD.TXT", nullptr},
    {"a second spelling made", [](auto& d) { Touch(d + "/OLD.txt"); }, "Old.TXT", nullptr},
    {"one of two spellings removed",
     [](auto& d) {
       Touch(d + "/OLD.txt");
       std::filesystem::remove(d + "/Old.txt");
     },
     "old.txt", "OLD.txt"},
};

TEST(FolderWatchTest, ChangesBehindTheIndexAreAppliedWithoutReadingTheFolderAgain) {
  for (const ChangeCase& c : kChanges) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    std::string dir = tmp.MakeDir("app");
    Touch(dir + "/Old.txt");
    FolderCache cache(FolderWatchPolicy::kFromFirstRead);
    std::string found;
    ASSERT_FALSE(cache.Find(dir, "nothing", &found));  // reads and watches the folder
    ASSERT_EQ(cache.Folder(dir).reads(), 1);
    c.change(dir);
    found.clear();
    EXPECT_EQ(cache.Find(dir, c.looked_up, &found), c.found != nullptr);
    if (c.found != nullptr) {
      EXPECT_EQ(found, c.found);
    }
    EXPECT_EQ(cache.Folder(dir).reads(), 1);
  }
}

// The program's own changes, reported too, keep the index as the folder is.
TEST(FolderWatchTest, AMovedFolderOrLostReportsReadTheFolderAgain) {
  TempDir tmp;
  std::string dir = tmp.MakeDir("app");
  Touch(dir + "/First.txt");
  FolderCache cache(FolderWatchPolicy::kFromFirstRead);
  std::string found;
  ASSERT_TRUE(cache.Find(dir, "first.txt", &found));
  std::filesystem::rename(dir, tmp / "moved");
  tmp.MakeDir("app");
  Touch(dir + "/Second.txt");
  EXPECT_FALSE(cache.Find(dir, "FIRST.TXT", &found));
  EXPECT_TRUE(cache.Find(dir, "SECOND.TXT", &found));
  EXPECT_EQ(found, "Second.txt");
  EXPECT_EQ(cache.Folder(dir).reads(), 2);

  int queue = 16384;
  if (FILE* f = std::fopen("/proc/sys/fs/inotify/max_queued_events", "r")) {
    if (std::fscanf(f, "%d", &queue) != 1) queue = 16384;
    std::fclose(f);
  }
  if (queue > 100000) GTEST_SKIP() << "the kernel's queue is too long to overflow here";
  // Each rename reports two events.
  std::string a = dir + "/Second.txt", b = dir + "/Last.txt";
  for (int i = 0; i <= queue / 2; ++i) {
    ASSERT_EQ(std::rename(a.c_str(), b.c_str()), 0);
    std::swap(a, b);
  }
  // The file now stands at `a`.
  if (a != dir + "/Last.txt") {
    ASSERT_EQ(std::rename(a.c_str(), (dir + "/Last.txt").c_str()), 0);
  }
  EXPECT_TRUE(cache.Find(dir, "LAST.TXT", &found));
  EXPECT_EQ(found, "Last.txt");
  EXPECT_EQ(cache.Folder(dir).reads(), 3);
}

// Without a watch (a FolderIndex of its own, as where inotify is missing), the folder's
// times tell of another program's change; the program's own changes leave the index
// current.
TEST(FolderWatchTest, AFolderWithoutAWatchGoesByItsTimes) {
  TempDir tmp;
  std::string dir = tmp.MakeDir("app");
  FolderIndex folder(dir);
  std::string found;
  ASSERT_FALSE(folder.Find("late.txt", &found));
  folder.BeginChange();
  Touch(dir + "/Own.txt");
  folder.Added("Own.txt");
  EXPECT_TRUE(folder.Find("OWN.TXT", &found));
  EXPECT_EQ(folder.reads(), 1);
  Touch(dir + "/Late.TXT");
  // Times that differ whatever the clock's tick: the change shows.
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
  EXPECT_TRUE(folder.Find("late.txt", &found));
  EXPECT_EQ(found, "Late.TXT");
  EXPECT_EQ(folder.reads(), 2);
}

// By default a folder goes by its times, and only one that another program is seen to
// change is watched, from its next reading on: a run in folders it alone changes makes no
// watch at all. Each row: what happens to the folder after the first look-up, whether it
// is watched then and how often it has been read; a second change behind its back is then
// read again only where it is not watched.
struct PolicyCase {
  const char* what;
  bool own_change;      // the program makes a file through the index (BeginChange, Added)
  bool foreign_change;  // another program makes one, the folder's times moved for certain
  bool watched;
  int reads;
};

const PolicyCase kPolicies[] = {
    {"nothing", false, false, false, 1},
    {"only the program's own change", true, false, false, 1},
    {"another program's change", false, true, true, 2},
    {"both", true, true, true, 2},
};

// Moves the folder's modification time to a value no clock tick gives, so that the change
// shows to a folder that goes by its times.
void MoveTimes(const std::string& dir, int seconds) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
}

TEST(FolderWatchTest, OnlyAFolderAnotherProgramChangesIsWatched) {
  for (const PolicyCase& c : kPolicies) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    std::string dir = tmp.MakeDir("app");
    FolderCache cache;
    FolderIndex& folder = cache.Folder(dir);
    std::string found;
    ASSERT_FALSE(cache.Find(dir, "first.txt", &found));
    EXPECT_FALSE(folder.watched());
    if (c.own_change) {
      folder.BeginChange();
      Touch(dir + "/Own.txt");
      folder.Added("Own.txt");
    }
    if (c.foreign_change) {
      Touch(dir + "/Foreign.TXT");
      MoveTimes(dir, 1);
    }
    EXPECT_EQ(cache.Find(dir, "foreign.txt", &found), c.foreign_change);
    EXPECT_EQ(cache.Find(dir, "OWN.TXT", &found), c.own_change);
    EXPECT_EQ(folder.watched(), c.watched);
    EXPECT_EQ(folder.reads(), c.reads);
    // A second change behind the index's back, then a look-up it cannot answer.
    Touch(dir + "/Second.TXT");
    MoveTimes(dir, 2);
    EXPECT_TRUE(cache.Find(dir, "second.txt", &found));
    EXPECT_EQ(found, "Second.TXT");
    EXPECT_EQ(folder.reads(), c.reads + (c.watched ? 0 : 1));
  }
}

// An unwatched folder's times come through a descriptor kept from its reading: the folder
// moved away or removed, and another made at its path, is read again, whether the folder
// keeps a descriptor or, beyond the cache's share, goes by its path.
struct ReplacedCase {
  const char* what;
  void (*replace)(TempDir& tmp, const std::string& dir);
};

const ReplacedCase kReplaced[] = {
    {"moved away",
     [](TempDir& tmp, const std::string& dir) { std::filesystem::rename(dir, tmp / "moved"); }},
    {"removed", [](TempDir&, const std::string& dir) { std::filesystem::remove_all(dir); }},
};

TEST(FolderWatchTest, AFolderReplacedAtItsPathIsReadAgain) {
  for (const ReplacedCase& c : kReplaced) {
    for (bool beyond_share : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (beyond_share ? ", by its path" : ", by its descriptor"));
      TempDir tmp;
      FolderCache cache;
      std::string found;
      if (beyond_share) {
        // Folders read first take the whole share.
        for (int i = 0; i < FolderCache::kHeldFolders; ++i) {
          std::string other = tmp.MakeDir("other" + std::to_string(i));
          ASSERT_FALSE(cache.Find(other, "x", &found));
        }
      }
      std::string dir = tmp.MakeDir("app");
      Touch(dir + "/First.txt");
      ASSERT_TRUE(cache.Find(dir, "first.txt", &found));
      c.replace(tmp, dir);
      tmp.MakeDir("app");
      Touch(dir + "/Second.txt");
      EXPECT_TRUE(cache.Find(dir, "SECOND.TXT", &found));
      EXPECT_EQ(found, "Second.txt");
      EXPECT_FALSE(cache.Find(dir, "FIRST.TXT", &found));
      EXPECT_EQ(cache.Folder(dir).reads(), 2);
      // Changed behind the program's back: watched from its second reading on.
      EXPECT_TRUE(cache.Folder(dir).watched());
    }
  }
}

}  // namespace
}  // namespace setup
