#include <gtest/gtest.h>

#include <string>

#include "script/text_commands.h"
#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

constexpr const char* kText = "a /* 日本 $# English */\n/*$# only English */\n";

class TextCommandsTest : public ::testing::Test, public AppFixture {
 protected:
  void SetUp() override { system.AddFile("C:\\src\\a.txt", Sjis(kText)); }

  // Runs `handler` over a copy of `args` (UTF-8, stored as code page 932).
  CommandResult::Status Run(CommandHandler handler, const std::string& args, LanguageMode mode) {
    line = Sjis(args);
    line.push_back('\0');
    app->context.language_mode = mode;
    return handler(app->context, line.data()).status;
  }

  std::string Japanese() { return Sjis("a /* 日本 */\r\n"); }
  std::string English() { return "a /* English */\r\n/* only English */\r\n"; }

  std::string line;
};

TEST_F(TextCommandsTest, ModesByCommand) {
  struct Case {
    CommandHandler handler;
    LanguageMode language_mode;
    bool copies;
    bool japanese;
  } cases[] = {
      {DoTextCopy, LanguageMode::kJapanese, true, true},
      {DoTextCopy, LanguageMode::kEnglish, true, false},
      {DoJapanCopy, LanguageMode::kJapanese, true, true},
      {DoJapanCopy, LanguageMode::kEnglish, false, false},
      {DoEnglishCopy, LanguageMode::kJapanese, false, false},
      {DoEnglishCopy, LanguageMode::kEnglish, true, false},
  };
  for (const Case& c : cases) {
    system.files.erase("C:\\out.txt");
    EXPECT_EQ(Run(c.handler, "C:\\src\\a.txt C:\\out.txt", c.language_mode), CommandResult::kDone);
    ASSERT_EQ(system.HasFile("C:\\out.txt"), c.copies);
    if (c.copies) {
      EXPECT_EQ(system.FileData("C:\\out.txt"), c.japanese ? Japanese() : English());
    }
  }
  EXPECT_TRUE(messages().empty());
}

TEST_F(TextCommandsTest, SkippedCommandDoesNotLookAtItsArguments) {
  EXPECT_EQ(Run(DoEnglishCopy, "", LanguageMode::kJapanese), CommandResult::kDone);
  EXPECT_EQ(Run(DoEnglishCopy, "\"unclosed", LanguageMode::kJapanese), CommandResult::kDone);
  EXPECT_EQ(Run(DoJapanCopy, "", LanguageMode::kEnglish), CommandResult::kDone);
  EXPECT_TRUE(messages().empty());
}

TEST_F(TextCommandsTest, DestinationIsTheRestOfTheLine) {
  system.AddFile("C:\\src\\my file.txt", Sjis(kText));
  struct Case {
    const char* args;
    const char* destination;
  } cases[] = {
      {"C:\\src\\a.txt\tC:\\out\\b.txt", "C:\\out\\b.txt"},
      {"C:\\src\\a.txt \t  C:\\Program Files\\b c.txt", "C:\\Program Files\\b c.txt"},
      {"C:\\src\\a.txt C:\\out\\t.txt  ", "C:\\out\\t.txt  "},
      {"C:\\src\\a.txt \"C:\\out\\q.txt\"", "\"C:\\out\\q.txt\""},
      {"\"C:\\src\\my file.txt\" C:\\out\\m.txt", "C:\\out\\m.txt"},
      {"\"C:\\src\\my file.txt\"C:\\out\\n.txt", "C:\\out\\n.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(Run(DoTextCopy, c.args, LanguageMode::kJapanese), CommandResult::kDone);
    EXPECT_EQ(system.FileData(c.destination), Japanese());
  }
  EXPECT_TRUE(messages().empty());
}

TEST_F(TextCommandsTest, SourceWithoutDestination) {
  EXPECT_EQ(Run(DoTextCopy, "C:\\src\\a.txt ", LanguageMode::kJapanese), CommandResult::kFailed);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Can't Create  file");
}

TEST_F(TextCommandsTest, SourceCutFailures) {
  std::size_t files = system.files.size();
  EXPECT_EQ(Run(DoTextCopy, "C:\\src\\a.txt", LanguageMode::kJapanese), CommandResult::kFailed);
  EXPECT_EQ(Run(DoJapanCopy, "\"C:\\src\\a.txt C:\\out.txt", LanguageMode::kJapanese),
            CommandResult::kFailed);
  EXPECT_EQ(messages().size(), 2u);  // NextToken's own messages
  EXPECT_EQ(system.files.size(), files);
}

TEST_F(TextCommandsTest, FailedCopyFailsTheCommand) {
  system.AddFile("C:\\out.txt", "old");
  EXPECT_EQ(Run(DoTextCopy, "C:\\src\\none.txt C:\\out.txt", LanguageMode::kJapanese),
            CommandResult::kFailed);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Can't open C:\\src\\none.txt file");
  EXPECT_EQ(system.FileData("C:\\out.txt"), "old");
}

}  // namespace
}  // namespace setup
