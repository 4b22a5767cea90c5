#include "platform/posix/reg_hive_edit.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/posix/reg_hive.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

// 1800000000 seconds after 1970, as Wine stamps a key.
constexpr std::uint64_t kNow = 134444736000000000ull;
constexpr char kStamp[] = "] 1800000000\n#time=1dda4c66b338000\n";

constexpr char kHive[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Alpha] 1700000000
#time=1d9a2b3c4d5e6f7
"Keep"="alpha"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall] 1700000000
#time=1d9a2b3c4d5e6f7

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Old] 1700000000
#time=1d9a2b3c4d5e6f7
"DisplayName"="Old"
"Bin"=hex:01,02,\
  03
"DisplayVersion"="1.0"

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Old\\Sub] 1700000000
#time=1d9a2b3c4d5e6f7
"X"="y"

[Software\\Zeta] 1700000000
#time=1d9a2b3c4d5e6f7
"Keep"="zeta"
)";

const std::string kUninstall = "Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall";

HiveEdit Edit(HiveEdit::Kind kind, std::vector<std::u16string> key, std::u16string name = u"",
              std::uint32_t type = kRegSz, std::u16string text = u"", std::uint32_t number = 0) {
  HiveEdit edit;
  edit.kind = kind;
  edit.key = std::move(key);
  edit.value_name = std::move(name);
  edit.type = type;
  edit.text = std::move(text);
  edit.number = number;
  return edit;
}

const std::vector<std::u16string> kOld = {u"Software",       u"Microsoft", u"Windows",
                                          u"CurrentVersion", u"Uninstall", u"Old"};
const std::vector<std::u16string> kNew = {u"Software",       u"Microsoft", u"Windows",
                                          u"CurrentVersion", u"Uninstall", u"Example.Demo"};

// Each change is the hive with one stretch replaced: `before` (a unique piece of kHive)
// becomes `after`; every other byte stays.
TEST(RegHiveEditTest, ChangesTouchOnlyTheirKey) {
  using K = HiveEdit::Kind;
  const std::string old_block = "[" + kUninstall + "\\\\Old] 1700000000\n#time=1d9a2b3c4d5e6f7\n";
  const std::string old_values =
      "\"DisplayName\"=\"Old\"\n\"Bin\"=hex:01,02,\\\n  03\n\"DisplayVersion\"=\"1.0\"\n";
  const std::string old_sub =
      "\n[" + kUninstall + "\\\\Old\\\\Sub] 1700000000\n#time=1d9a2b3c4d5e6f7\n\"X\"=\"y\"\n";
  const std::string new_stamped = "[" + kUninstall + "\\\\Old" + kStamp;
  const struct Row {
    HiveEdit edit;
    std::string before, after;
  } rows[] = {
      // A value replaced keeps its place; the key's two stamps move.
      {Edit(K::kSetValue, kOld, u"displayversion", kRegSz, u"2.0"), old_block + old_values,
       new_stamped + "\"DisplayName\"=\"Old\"\n\"Bin\"=hex:01,02,\\\n  03\n"
                     "\"displayversion\"=\"2.0\"\n"},
      // A new value goes after the last; a DWORD and an expandable string as Wine writes them.
      {Edit(K::kSetValue, kOld, u"NoModify", kRegDword, u"", 1), old_block + old_values,
       new_stamped + old_values + "\"NoModify\"=dword:00000001\n"},
      {Edit(K::kSetValue, kOld, u"", kRegExpandSz, u"%SystemRoot%\\a"), old_block + old_values,
       new_stamped + old_values + "@=str(2):\"%SystemRoot%\\\\a\"\n"},
      // A hex value's continuation line goes with it.
      {Edit(K::kDeleteValue, kOld, u"BIN"), old_block + old_values,
       new_stamped + "\"DisplayName\"=\"Old\"\n\"DisplayVersion\"=\"1.0\"\n"},
      // A new key takes its place in Wine's order, here between Uninstall and Old.
      {Edit(K::kCreateKey, kNew), old_block,
       "[" + kUninstall + "\\\\Example.Demo" + kStamp + "\n" + old_block},
      {Edit(K::kSetValue, kNew, u"DisplayName", kRegSz, u"Demo \"1\""), old_block,
       "[" + kUninstall + "\\\\Example.Demo" + kStamp + "\"DisplayName\"=\"Demo \\\"1\\\"\"\n\n" +
           old_block},
      // A key after every other is appended after a blank line.
      {Edit(K::kCreateKey, {u"Software", u"Zz]"}), "\"Keep\"=\"zeta\"\n",
       "\"Keep\"=\"zeta\"\n\n[Software\\\\Zz\\]" + std::string(kStamp)},
      // A key goes with every key beneath it.
      {Edit(K::kDeleteKey, kOld), old_block + old_values + old_sub + "\n", ""},
  };
  for (const Row& row : rows) {
    std::string hive = kHive;
    std::size_t at = hive.find(row.before);
    ASSERT_NE(at, std::string::npos) << row.before;
    std::string expected = hive.replace(at, row.before.size(), row.after);
    std::string out;
    Status status = EditHiveText(kHive, row.edit, kNow, &out);
    ASSERT_TRUE(status.ok()) << row.after;
    EXPECT_EQ(out, expected);
  }
}

TEST(RegHiveEditTest, TheLastKeyOfTheFileAndAnOnlyChild) {
  using K = HiveEdit::Kind;
  const struct Row {
    std::string hive;
    HiveEdit edit;
    std::string expected;
  } rows[] = {
      // The last block takes the blank line before it along.
      {"WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=\"1\"\n\n[B] 1\n\"v\"=\"2\"\n",
       Edit(K::kDeleteKey, {u"b"}), "WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=\"1\"\n"},
      // A parent written only through its one child keeps a block of its own.
      {"WINE REGISTRY Version 2\n\n[P\\\\C] 1\n\"v\"=\"1\"\n\n[Q] 1\n",
       Edit(K::kDeleteKey, {u"P", u"C"}),
       "WINE REGISTRY Version 2\n\n[P" + std::string(kStamp) + "\n[Q] 1\n"},
      // A key that exists through a child is not made again.
      {"WINE REGISTRY Version 2\n\n[P\\\\C] 1\n", Edit(K::kCreateKey, {u"p"}),
       "WINE REGISTRY Version 2\n\n[P\\\\C] 1\n"},
      // A file without a final newline.
      {"WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=\"1\"", Edit(K::kSetValue, {u"A"}, u"w"),
       "WINE REGISTRY Version 2\n\n[A] 1800000000\n\"v\"=\"1\"\n\"w\"=\"\"\n"},
  };
  for (const Row& row : rows) {
    std::string out;
    ASSERT_TRUE(EditHiveText(row.hive, row.edit, kNow, &out).ok()) << row.hive;
    EXPECT_EQ(out, row.expected);
  }
}

TEST(RegHiveEditTest, RefusesWhatItCannotDo) {
  using K = HiveEdit::Kind;
  const struct Row {
    std::string hive;
    HiveEdit edit;
    StatusKind kind;
  } rows[] = {
      {"REGEDIT4\n\n[A]\n", Edit(K::kCreateKey, {u"A"}), StatusKind::kCorrupt},
      {kHive, Edit(K::kDeleteKey, {u"Software", u"Missing"}), StatusKind::kNotFound},
      {kHive, Edit(K::kDeleteValue, kOld, u"Missing"), StatusKind::kNotFound},
      {kHive, Edit(K::kDeleteValue, {u"Software", u"Missing"}, u"x"), StatusKind::kNotFound},
      {kHive, Edit(K::kCreateKey, {}), StatusKind::kInvalidName},
      {kHive, Edit(K::kCreateKey, {u"Software", u""}), StatusKind::kInvalidName},
      {kHive, Edit(K::kCreateKey, {u"a\\b"}), StatusKind::kInvalidName},
  };
  for (const Row& row : rows) {
    std::string out;
    EXPECT_EQ(EditHiveText(row.hive, row.edit, kNow, &out).kind(), row.kind) << row.hive;
  }
}

TEST(RegHiveEditTest, EscapesAsWineDoes) {
  const struct Row {
    std::u16string text;
    const char* quote;
    std::string escaped;
  } rows[] = {
      {u"a\"b\\c", "\"\"", "a\\\"b\\\\c"},
      {u"a]b[c\"", "[]", "a\\]b\\[c\""},
      {u"caf\u00e9", "\"\"", "caf\\xe9"},
      {u"\u00e9a", "\"\"", "\\x00e9a"},  // a hex digit follows: four digits
      {u"\u65e5\u672c", "\"\"", "\\x65e5\\x672c"},
      {u"\t\n\r\a\b\v\f\x1b", "\"\"", "\\t\\n\\r\\a\\b\\v\\f\\e"},
      {u"\x01z\x01"
       u"7",
       "\"\"", "\\1z\\0017"},
  };
  for (const Row& row : rows) {
    std::string out;
    AppendWineEscaped(row.text, row.quote, &out);
    EXPECT_EQ(out, row.escaped);
  }
}

// What a change writes reads back through the hive reader as it was given.
TEST(RegHiveEditTest, WhatIsWrittenReadsBack) {
  const std::u16string texts[] = {u"C:\\Program Files\\Demo", u"\u30c7\u30e2 \"v\" [1]",
                                  u"tab\tnew\nline\x01"
                                  u"0",
                                  u"caf\u00e9", u""};
  for (const std::u16string& text : texts) {
    std::string out;
    ASSERT_TRUE(EditHiveText(kHive, Edit(HiveEdit::Kind::kSetValue, kNew, u"Na\"me", kRegSz, text),
                             kNow, &out)
                    .ok());
    // Read back in UTF-16 through the tree itself.
    RegHiveKey root;
    std::vector<std::unique_ptr<RegHiveKey>> keys;
    ParseRegHive(out, &root, &keys, nullptr);
    const RegHiveKey* node = &root;
    for (const std::u16string& name :
         FoldedKeyPath(u"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\EXAMPLE.DEMO")) {
      node = node->subkeys.at(name);
    }
    EXPECT_EQ(node->values.at(u"NA\"ME").data, Utf16ToLittleEndian(text + u'\0'));
  }
}

}  // namespace
}  // namespace setup
