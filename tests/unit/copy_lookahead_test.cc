// The copies a run announces before it makes them (System::ExpectCopies): which lines
// are taken together, and where a list must end so that a copy prepared early reads and
// writes what it would have in its turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/copy_lookahead.h"
#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

// Each announcement as "source>destination" texts.
std::vector<std::vector<std::string>> Announced(const FakeSystem& system) {
  std::vector<std::vector<std::string>> out;
  for (const auto& copies : system.announced) {
    out.emplace_back();
    for (const System::CopyPair& copy : copies) {
      out.back().push_back(copy.source + ">" + copy.destination);
    }
  }
  return out;
}

TEST(CopyLookaheadTest, RunsAnnounceTheCopiesTheyAreAboutToMake) {
  const struct {
    const char* name;
    std::string script;
    std::vector<std::vector<std::string>> announced;
  } cases[] = {
      {"a run of copies, comments and empty lines between",
       "#define _D_ C:\\App\n"
       "BinCopy a _D_\\a\n' note\n\nBinCopy \"b c\" _D_\\b\nBinCopy c _D_\\c\nMessage done\n"
       "BinCopy d _D_\\d\nBinCopy e _D_\\e\n",
       {{"a>C:\\App\\a", "b c>C:\\App\\b", "c>C:\\App\\c"}, {"d>C:\\App\\d", "e>C:\\App\\e"}}},
      {"a single copy is not announced", "BinCopy a C:\\a\nMessage m\nBinCopy b C:\\b\n", {}},
      {"a #define ends the list: the macros may change",
       "#define _X_ one\nBinCopy _X_ C:\\1\nBinCopy a C:\\a\n#define _Y_ two\n"
       "BinCopy _Y_ C:\\2\nBinCopy b C:\\b\n",
       {{"one>C:\\1", "a>C:\\a"}, {"two>C:\\2", "b>C:\\b"}}},
      {"a copy of an earlier destination waits for it",
       "BinCopy a C:\\x\\f.dll\nBinCopy b C:\\b\nBinCopy C:\\X\\F.DLL C:\\y\nBinCopy c C:\\c\n",
       {{"a>C:\\x\\f.dll", "b>C:\\b"}, {"C:\\X\\F.DLL>C:\\y", "c>C:\\c"}}},
      {"a short name may stand for an earlier destination",
       "BinCopy a C:\\x\\filename.dll\nBinCopy b C:\\b\nBinCopy c C:\\x\\FILENA~1.DLL\n",
       {{"a>C:\\x\\filename.dll", "b>C:\\b"}}},
      {"a destination written twice",
       "BinCopy a C:\\d\\n.txt\nBinCopy b C:\\e\\N.TXT.\nBinCopy c C:\\c\n",
       {{"b>C:\\e\\N.TXT.", "c>C:\\c"}}},
      {"a line that will fail ends the list",
       "BinCopy a C:\\a\nBinCopy b C:\\b\nBinCopy c\nBinCopy d C:\\d\n",
       {{"a>C:\\a", "b>C:\\b"}}},
      {"skipped lines are never announced",
       "Goto on\nBinCopy a C:\\a\nBinCopy b C:\\b\n:on\nBinCopy c C:\\c\n",
       {}},
      {"a copy after a condition is not a copy line",
       "BinCopy a C:\\a\nIfString x = x BinCopy b C:\\b\nBinCopy c C:\\c\n",
       {}},
  };
  for (const auto& c : cases) {
    AppFixture f;
    for (const char* source : {"a", "b", "b c", "c", "d", "e", "one", "two", "C:\\X\\F.DLL"}) {
      f.system.AddFile(source, "x");
    }
    f.Start(c.script);
    EXPECT_EQ(Announced(f.system), c.announced) << c.name;
  }
}

TEST(CopyLookaheadTest, ASystemThatPreparesNoCopiesIsAnnouncedNone) {
  AppFixture f;
  f.system.prepares_copies = false;
  for (const char* source : {"a", "b"}) f.system.AddFile(source, "x");
  EXPECT_EQ(f.Start("BinCopy a C:\\a\nBinCopy b C:\\b\n"), kExitFinished);
  EXPECT_TRUE(f.system.announced.empty());
  EXPECT_EQ(f.system.FileData("C:\\b"), "x");
}

TEST(CopyLookaheadTest, NamesThatMayBeOneFileHaveOneKey) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"C:\\d\\file.txt", "E:\\other\\FILE.TXT", true},
      {"C:\\d\\file.txt", "C:\\d\\file.txt.. ", true},
      {"C:\\d\\file.txt", "C:\\d\\file.txu", false},
      {"file", "C:/d/FILE", true},
      {"C:\\d\\\x82\x60.txt", "C:\\d\\\x82\x81.txt", true},  // letters Windows may fold
      {"C:\\d\\\x82\x60.txt", "C:\\d\\A\x60.txt", false},
      {"C:\\d\\\x95\x5C", "C:\\d\\\x5C", false},  // a trail byte 0x5C is no separator
  };
  FakeEncoding cp932;
  for (const auto& c : cases) {
    EXPECT_EQ(NameKey(cp932, c.a) == NameKey(cp932, c.b), c.same) << c.a << " / " << c.b;
  }
  // A short name may stand for any long one, a colon names a stream: no key.
  for (const char* path : {"C:\\d\\FILENA~1.TXT", "C:\\d\\a.txt:stream"}) {
    EXPECT_EQ(NameKey(cp932, path), "") << path;
  }
}

}  // namespace
}  // namespace setup
