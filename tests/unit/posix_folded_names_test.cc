// The flat set of a folder's names: each look-up as EqualsIgnoringAsciiCase decides,
// through insertions, erasures and the rebuilds that many of them cause.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/folded_names.h"

namespace setup {
namespace {

using Answer = FoldedNames::Answer;

struct LookupCase {
  const char* what;
  std::vector<const char*> inserted;
  std::vector<const char*> erased;
  const char* looked_up;
  Answer answer;
  const char* found;  // for kExact and kFolded
};

const LookupCase kLookups[] = {
    {"an empty set", {}, {}, "a.txt", Answer::kNone, nullptr},
    {"the exact spelling", {"Setup.INF"}, {}, "Setup.INF", Answer::kExact, "Setup.INF"},
    {"another case", {"Setup.INF"}, {}, "setup.inf", Answer::kFolded, "Setup.INF"},
    {"a name of another length", {"Setup.INF"}, {}, "Setup.IN", Answer::kNone, nullptr},
    {"only ASCII letters fold",
     {"\xE3\x81\x82.txt"},
     {},
     "\xE3\x81\x82.TXT",
     Answer::kFolded,
     "\xE3\x81\x82.txt"},
    {"bytes above ASCII do not fold", {"\xC3\xA9"}, {}, "\xC3\x89", Answer::kNone, nullptr},
    {"two spellings, neither exact", {"a.TXT", "A.txt"}, {}, "a.txt", Answer::kNone, nullptr},
    {"two spellings, one exact", {"a.TXT", "A.txt"}, {}, "A.txt", Answer::kExact, "A.txt"},
    {"a spelling inserted twice counts once",
     {"a.TXT", "a.TXT"},
     {},
     "A.txt",
     Answer::kFolded,
     "a.TXT"},
    {"one of two spellings erased",
     {"a.TXT", "A.txt"},
     {"A.txt"},
     "a.txt",
     Answer::kFolded,
     "a.TXT"},
    {"an erasure takes the exact spelling only",
     {"a.TXT"},
     {"A.TXT"},
     "a.txt",
     Answer::kFolded,
     "a.TXT"},
    {"an erased name", {"gone.dll", "kept.dll"}, {"gone.dll"}, "GONE.DLL", Answer::kNone, nullptr},
    {"erasing a name not held",
     {"Kept.ini"},
     {"Other.ini"},
     "kept.ini",
     Answer::kFolded,
     "Kept.ini"},
};

TEST(FoldedNamesTest, LookupsAnswerAsCaseBlindComparison) {
  for (const LookupCase& c : kLookups) {
    SCOPED_TRACE(c.what);
    FoldedNames names;
    for (const char* name : c.inserted) names.Insert(name);
    for (const char* name : c.erased) names.Erase(name);
    std::string found = "untouched";
    EXPECT_EQ(names.Lookup(c.looked_up, &found), c.answer);
    EXPECT_EQ(found, c.found != nullptr ? c.found : "untouched");
  }
}

TEST(FoldedNamesTest, ANameErasedAndInsertedAgainIsFound) {
  FoldedNames names;
  names.Insert("Back.ini");
  names.Erase("Back.ini");
  names.Insert("BACK.ini");
  std::string found;
  EXPECT_EQ(names.Lookup("back.INI", &found), Answer::kFolded);
  EXPECT_EQ(found, "BACK.ini");
  EXPECT_EQ(names.size(), 1u);
}

// A folder's worth of names, half of them erased and others made meanwhile, as a watch
// reports: every rebuild keeps exactly the live spellings.
TEST(FoldedNamesTest, ManyInsertionsAndErasuresKeepEveryLiveName) {
  FoldedNames names;
  constexpr int kCount = 20000;
  auto name = [](int i) { return "File" + std::to_string(i) + ".Dat"; };
  for (int i = 0; i < kCount; ++i) names.Insert(name(i));
  for (int i = 0; i < kCount; i += 2) names.Erase(name(i));
  for (int i = 0; i < kCount; i += 4) names.Insert("NEW" + std::to_string(i));
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kCount / 2 + kCount / 4));
  for (int i = 0; i < kCount; ++i) {
    std::string found;
    std::string folded = "file" + std::to_string(i) + ".dat";
    if (i % 2 == 0) {
      ASSERT_EQ(names.Lookup(folded, &found), Answer::kNone) << i;
    } else {
      ASSERT_EQ(names.Lookup(folded, &found), Answer::kFolded) << i;
      ASSERT_EQ(found, name(i));
    }
    if (i % 4 == 0) {
      ASSERT_EQ(names.Lookup("new" + std::to_string(i), &found), Answer::kFolded) << i;
    }
  }
  names.Clear();
  std::string found;
  EXPECT_EQ(names.Lookup("file1.dat", &found), Answer::kNone);
  EXPECT_EQ(names.size(), 0u);
}

TEST(FoldedNamesTest, TheHashFoldsAsciiLettersOnly) {
  EXPECT_EQ(FoldedNameHash("ReadMe.TXT"), FoldedNameHash("readme.txt"));
  EXPECT_NE(FoldedNameHash("readme.txt"), FoldedNameHash("readme.txu"));
  EXPECT_NE(FoldedNameHash("\xC3\xA9"), FoldedNameHash("\xC3\x89"));
}

}  // namespace
}  // namespace setup
