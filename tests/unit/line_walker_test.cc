// The walk the run and the checker share: numbering, expansion, the two length faults,
// what each line is, and the labels of Goto and of label lines.
#include "script/line_walker.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

// "N:fault:row:text" for each line walked, the stored row of a line too long to expand.
std::string Walk(AppFixture& f, const std::string& macro_value) {
  SetupRun& run = *f.app;
  run.loaded.store.Reset();
  const std::string lines[] = {
      "  Goto end", "",        std::string(511, 'a'), std::string(512, 'b'), "\tMessage $$M$$$$M$$",
      ":end",       "' $$M$$",
  };
  for (const std::string& line : lines) run.loaded.store.Append(line);
  run.context.macros.Define("$$M$$", macro_value);
  std::string seen;
  LineWalker walker(run.loaded.store, run.context.macros, run.context.line_number);
  while (walker.Next()) {
    LineFault fault = walker.Expand();
    seen += std::to_string(run.context.line_number) + ":" +
            std::to_string(static_cast<int>(fault)) + ":" + std::to_string(walker.StoredRow().id);
    if (fault == LineFault::kNone) {
      std::string text = walker.cursor();
      seen += ":" + std::to_string(walker.row().id) + ":" + text.substr(0, 12);
    }
    seen += walker.too_long() ? " long\n" : "\n";
  }
  return seen + "end " + std::to_string(run.context.line_number);
}

TEST(LineWalkerTest, NumbersExpandsAndClassifies) {
  const std::string go = std::to_string(kGoto), message = std::to_string(kMessage);
  const std::string empty = std::to_string(kEmptyLine), label = std::to_string(kLabelLine);
  const std::string comment = std::to_string(kCommentLine), none = std::to_string(kNoKeyword);
  AppFixture f;
  EXPECT_EQ(Walk(f, "hi"), "1:0:" + go + ":" + go + ":Goto end\n2:0:" + empty + ":" + empty +
                               ":\n3:0:" + none + ":" + none + ":aaaaaaaaaaaa\n4:1:" + empty +
                               " long\n5:0:" + message + ":" + message +
                               ":Message hihi\n6:0:" + label + ":" + label +
                               "::end\n7:0:" + comment + ":" + comment + ":' hi\nend 8");
  // A tab, 'Message ' and twice 252 bytes: 513 after expansion, over the work line.
  AppFixture g;
  EXPECT_EQ(Walk(g, std::string(252, 'x')),
            "1:0:" + go + ":" + go + ":Goto end\n2:0:" + empty + ":" + empty + ":\n3:0:" + none +
                ":" + none + ":aaaaaaaaaaaa\n4:1:" + empty + " long\n5:2:" + message +
                "\n6:0:" + label + ":" + label + "::end\n7:0:" + comment + ":" + comment +
                ":' xxxxxxxxxx\nend 8");
}

TEST(LineWalkerTest, Labels) {
  const struct {
    KeywordId id;
    std::string args;
    LabelFault fault;
    const char* label;
  } cases[] = {
      {kGoto, "end", LabelFault::kNone, "end"},
      {kGoto, ":end later", LabelFault::kNone, "end"},
      {kGoto, "", LabelFault::kEmpty, ""},
      {kGoto, std::string(63, 'L'), LabelFault::kNone, nullptr},
      {kGoto, std::string(64, 'L'), LabelFault::kTooLong, nullptr},
      {kLabelLine, ":end", LabelFault::kNone, "end"},
      {kLabelLine, ": x", LabelFault::kEmpty, ""},
      {kLabelLine, ":\"a b\"", LabelFault::kNone, "a b"},
      {kLabelLine, ":" + std::string(64, 'L'), LabelFault::kTooLong, nullptr},
  };
  for (const auto& c : cases) {
    AppFixture f;
    std::string line = c.args;
    const char* label = nullptr;
    EXPECT_EQ(CutLabel(f.app->context.script, c.id, line.data(), &label), c.fault) << c.args;
    if (c.label != nullptr) {
      EXPECT_STREQ(label, c.label) << c.args;
    }
    EXPECT_TRUE(f.messages().empty()) << c.args;
  }
}

}  // namespace
}  // namespace setup
