#include "text/macro_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <string>

#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

std::string Expand(const MacroTable& t, const char* in, std::size_t size = 512) {
  std::string out(size, '\x7f');
  t.Expand(in, out.data(), size);
  return std::string(out.c_str());
}

TEST(MacroTableTest, ExpansionRules) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> rows;
    const char* input;
    const char* expected;
  } cases[] = {
      {{{"$$FD$$", "D:\\Dist"}}, "$$FD$$\\App", "D:\\Dist\\App"},
      {{{"$$FD$$", "D:\\Dist"}}, "$$fd$$", "$$fd$$"},  // case-sensitive
      {{{"ABC", "1"}, {"AB", "2"}}, "ABCD", "1D"},
      {{{"ABC", "1"}, {"AB", "2"}}, "ABD", "2D"},
      {{{"AB", "2"}, {"ABC", "1"}}, "ABCD", "2CD"},  // table order wins
      {{{"X", "XX"}}, "X", "XX"},
      {{{"X", "XX"}}, "XXX", "XXXXXX"},  // no rescan
      {{{"$$FD$$", "D:"}}, "$$$FD$$", "$D:"},
      {{{"$$FD$$", "D:"}}, "a$$FD", "a$$FD"},  // input ends inside a name
      {{{"$$FD$$", "D:"}}, "", ""},
      {{{"", "never"}, {"A", "b"}}, "AA", "bb"},  // an empty name never matches
      {{{"GONE", ""}}, "xGONEy", "xy"},
  };
  for (const Case& c : cases) {
    MacroTable t;
    for (auto& [name, value] : c.rows) t.Define(name, value);
    EXPECT_EQ(Expand(t, c.input), c.expected) << c.input;
  }
}

TEST(MacroTableTest, UnchangedPrefixStopsWhereANameMayBeginOrAtNul) {
  MacroTable t;
  t.Define("$$FD$$", "D:\\Dist");
  t.Define("AB", "2");
  struct Case {
    std::string input;
    std::size_t unchanged;
  } cases[] = {
      {"plain text", 10},           {"x$y", 1}, {"xxA", 2},  {"$$FD$$", 0},
      {std::string("ab\0$", 4), 2}, {"", 0},    {"aaaa", 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t.UnchangedPrefix(c.input.data(), c.input.size()), c.unchanged) << c.input;
  }
  t.Clear();
  EXPECT_EQ(t.UnchangedPrefix("$AB", 3), 3u);
  EXPECT_EQ(t.UnchangedPrefix(std::string("a\0b", 3).data(), 3), 1u);
}

TEST(MacroTableTest, RedefinitionKeepsTheRowAndItsPriority) {
  MacroTable t;
  t.Define("AB", "1");
  t.Define("ABC", "2");
  EXPECT_EQ(t.Define("AB", "3"), MacroTable::DefineResult::kDefined);
  EXPECT_EQ(t.count(), 2);
  EXPECT_EQ(Expand(t, "ABC"), "3C");
}

TEST(MacroTableTest, FiftyRowsAndNoMore) {
  MacroTable t;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(t.Define("N" + std::to_string(i), "v"), MacroTable::DefineResult::kDefined);
  }
  EXPECT_EQ(t.Define("N50", "v"), MacroTable::DefineResult::kFull);
  EXPECT_EQ(t.count(), 50);
  EXPECT_EQ(t.Define("N7", "seven"), MacroTable::DefineResult::kDefined);
  EXPECT_EQ(Expand(t, "N7 "), "seven ");
}

TEST(MacroTableTest, ExpansionNeverWritesPastTheBuffer) {
  MacroTable t;
  t.Define("X", std::string(299, 'y'));
  char out[16];
  out[15] = '\x55';
  EXPECT_FALSE(t.Expand("XX", out, 15));
  EXPECT_EQ(std::string(out), std::string(14, 'y'));
  EXPECT_EQ(out[15], '\x55');
  EXPECT_FALSE(t.Expand("abcdefghijklmnopq", out, 8));
  EXPECT_EQ(std::string(out), "abcdefg");
  EXPECT_TRUE(t.Expand("abcdefg", out, 8));
}

// The rules in their plainest form: at each byte try every row in table order.
std::string Reference(const std::vector<std::pair<std::string, std::string>>& rows,
                      const std::string& input) {
  std::string out;
  for (std::size_t i = 0; i < input.size() && input[i] != '\0';) {
    bool replaced = false;
    for (const auto& [name, value] : rows) {
      if (!name.empty() && input.compare(i, name.size(), name) == 0) {
        out += value;
        i += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += input[i++];
  }
  return out;
}

TEST(MacroTableTest, RandomTablesAndTextsExpandAsTheRulesSay) {
  std::mt19937 random(7);
  const char alphabet[] = "$AB/*#\n x";
  for (int round = 0; round < 3000; ++round) {
    MacroTable t;
    std::vector<std::pair<std::string, std::string>> rows;
    for (int r = static_cast<int>(random() % 5); r > 0; --r) {
      std::string name, value;
      for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k) name += alphabet[random() % 9];
      for (int k = static_cast<int>(random() % 4); k > 0; --k) value += alphabet[random() % 9];
      t.Define(name, value);
      auto same =
          std::find_if(rows.begin(), rows.end(), [&](auto& row) { return row.first == name; });
      if (same != rows.end()) {
        same->second = value;
      } else {
        rows.emplace_back(name, value);
      }
    }
    std::string input;
    for (int k = static_cast<int>(random() % 40); k > 0; --k) input += alphabet[random() % 9];
    std::string want = Reference(rows, input);
    std::size_t out_size = 1 + random() % 60;
    std::vector<char> out(out_size + 1, '\x7f');
    std::size_t length = 99;
    bool fits = t.Expand(input.data(), input.size(), out.data(), out_size, &length);
    ASSERT_EQ(fits, want.size() < out_size) << input;
    std::string got(out.data());
    EXPECT_EQ(got, want.substr(0, out_size - 1)) << input;
    EXPECT_EQ(length, got.size());
    EXPECT_EQ(out[out_size], '\x7f');  // nothing past the buffer
  }
}

TEST(MacroTableTest, ANulEndsASizedInput) {
  MacroTable t;
  t.Define("AB", "2");
  t.Define("ABC", "3");
  char out[64];
  std::size_t length = 0;
  ASSERT_TRUE(t.Expand("AB\0ABC", 6, out, sizeof out, &length));
  EXPECT_EQ(std::string(out, length), "2");
  ASSERT_TRUE(t.Expand("xAB", 2, out, sizeof out, &length));  // a name past the size
  EXPECT_EQ(std::string(out, length), "xA");
}

// Tables whose names begin with one, three and five different bytes take the three
// ways of finding where a name may begin; a name or a NUL on every offset of a few
// sixteen-byte steps is found by each.
TEST(MacroTableTest, NamesAndNulsAreFoundOnEveryOffset) {
  const std::vector<std::vector<std::string>> tables = {
      {"$$FD$$", "$$SETUPDIR$$"}, {"$$FD$$", "#N", "~T"}, {"$$FD$$", "#N", "~T", "%P", "\x88\x9f"}};
  for (const auto& names : tables) {
    MacroTable t;
    for (const std::string& name : names) t.Define(name, "<" + name + ">");
    for (std::size_t k = 0; k < 40; ++k) {
      const std::string pad(k, '.'), name = names.back();
      SCOPED_TRACE(name + " at " + std::to_string(k));
      std::string input = pad + name + pad + "$#";
      EXPECT_EQ(t.UnchangedPrefix(input.data(), input.size()), k);
      EXPECT_EQ(Expand(t, input.c_str()), pad + "<" + name + ">" + pad + "$#");
      std::string cut = pad + std::string(1, '\0') + name;
      EXPECT_EQ(t.UnchangedPrefix(cut.data(), cut.size()), k);
      char out[128];
      std::size_t length = 0;
      ASSERT_TRUE(t.Expand(cut.data(), cut.size(), out, sizeof out, &length));
      EXPECT_EQ(std::string(out, length), pad);
    }
  }
}

// The ways a candidate is settled in expansion: by its second byte alone, by a one-byte
// name that any second byte may follow, at the input's last byte or before its NUL, and
// names that differ only past their first eight bytes.
TEST(MacroTableTest, CandidatesSettledByTheirSecondByteAndLongNames) {
  struct Case {
    std::vector<std::string> names;  // each defined as "<name>"
    std::string input;
    std::string expected;
  } cases[] = {
      {{"$$FD$$"}, "x$#y$$FD$$z$", "x$#y<$$FD$$>z$"},
      {{"$$FD$$", "$"}, "x$#y$$FD$$z$", "x<$>#y<$$FD$$>z<$>"},
      {{"$", "$$FD$$"}, "$$FD$$", "<$><$>FD<$><$>"},
      {{"$$FD$$"}, std::string("a$\0$$FD$$", 9), "a$"},
      {{"$$SETUPDIX$$", "$$SETUPDIR$$"},
       "$$SETUPDIR$$ $$SETUPDIX$$",
       "<$$SETUPDIR$$> <$$SETUPDIX$$>"},
      {{"$$SETUPDI"}, "$$SETUPD $$SETUPDI", "$$SETUPD <$$SETUPDI>"},
      {{"$$SETUP$$"}, "$$SETUP$", "$$SETUP$"},
      // A name holding a NUL is never found, as the input ends at its own NUL.
      {{std::string("A\0B", 3), "AB"}, std::string("A\0BAB", 5), "A"},
      {{std::string("A\0B", 3), "AB"}, "ABA", "<AB>A"},
  };
  for (const Case& c : cases) {
    MacroTable t;
    for (const std::string& name : c.names) t.Define(name, "<" + name + ">");
    char out[128];
    std::size_t length = 0;
    ASSERT_TRUE(t.Expand(c.input.data(), c.input.size(), out, sizeof out, &length));
    EXPECT_EQ(std::string(out, length), c.expected) << c.input;
  }
}

TEST(MacroTableTest, FullTableShowsItsMessageThroughDefineMacro) {
  AppFixture f;
  for (int i = 0; i < 50; ++i)
    ASSERT_TRUE(f.app->context.DefineMacro("M" + std::to_string(i), "v"));
  EXPECT_FALSE(f.app->context.DefineMacro("M50", "v"));
  ASSERT_EQ(f.messages().size(), 1u);
  EXPECT_EQ(f.messages()[0], "置換語句が多すぎます 50以下にして下さい");
  EXPECT_TRUE(f.app->context.DefineMacro("M3", "w"));
}

TEST(MacroTableTest, LongNamesAndValuesAreCutWithoutSplittingACharacter) {
  AppFixture f;
  // 298 ASCII bytes and then a double-byte character: 300 bytes, cut to 298.
  std::string value = std::string(298, 'a') + f.Sjis("日");
  ASSERT_TRUE(f.app->context.DefineMacro("V", value));
  EXPECT_EQ(std::string(f.app->context.macros.row(0).value), std::string(298, 'a'));
  ASSERT_TRUE(f.app->context.DefineMacro(std::string(400, 'n'), "x"));
  EXPECT_EQ(std::string(f.app->context.macros.row(1).name).size(), 299u);
}

}  // namespace
}  // namespace setup
