// The run driver and the interpreter loop: flow control (comments, labels, Goto,
// chaining) and the dispatch of every command through the keyword table.
#include "script/interpreter.h"

#include <cstring>

#include "script/commands.h"
#include "script/lexer.h"
#include "script/run_state.h"

namespace setup {
namespace {

constexpr std::size_t kLineSize = 512;
constexpr std::size_t kLabelSize = 64;

bool IsKeywordByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '#' || c == '_';
}

class Run {
 public:
  Run(RunState& app, int language_mode) : app_(app), language_mode_(language_mode) {}
  int Execute();

 private:
  enum class Outcome { kNextLine, kFailed };
  Outcome RunLine(char* cursor);
  Outcome Goto(char* cursor);
  Outcome ExamineLabel(char* cursor);
  void Fail(const char* format, std::initializer_list<MessageArg> args) { app_.ShowMessage(format, args); }
  void FailTooLong() { Fail(kLineTooLong, {app_.script_path, app_.line_number}); }

  RunState& app_;
  int language_mode_;
  bool skipping_ = false;
  char label_[kLabelSize] = {};
};

int Run::Execute() {
  char raw[kLineSize];
  char work[kLineSize];
  app_.line_number = 1;
  for (;;) {
    ScriptStore::LineResult got = app_.store.NextLine(raw, sizeof raw);
    if (got == ScriptStore::LineResult::kEnd) break;
    app_.ui.SetProgressPos(app_.line_number);
    if (got == ScriptStore::LineResult::kTooLong || !app_.macros.Expand(raw, work, sizeof work)) {
      FailTooLong();
      return 1;
    }
    if (RunLine(SkipBlanks(work)) == Outcome::kFailed) return 1;
    ++app_.line_number;
  }
  if (skipping_) app_.ShowMessage("Setup script Error. Nothing (%s) label", {label_});
  return 0;
}

// Runs one command, and the commands its conditions chain to.
Run::Outcome Run::RunLine(char* cursor) {
  for (;;) {
    KeywordId id = ClassifyLine(cursor);
    if (skipping_) return id == kLabelLine ? ExamineLabel(cursor) : Outcome::kNextLine;
    while (IsKeywordByte(*cursor)) ++cursor;  // a comparison word is not stepped over
    cursor = SkipBlanks(cursor);
    CommandResult result = CommandResult::Done();
    switch (id) {
      case kEmptyLine:
      case kLabelLine:
      case kCommentLine:
      case kSetupDir:
      case kWindowTitle:
        return Outcome::kNextLine;
      case kGoto:
        return Goto(cursor);
      case kNoKeyword:
      case kOpEqual:
      case kOpLessEqual:
      case kOpLess:
      case kOpGreaterEqual:
      case kOpGreater:
      case kRegistry:
        app_.ShowMessage("Setup script Error (%s)", {cursor});
        return Outcome::kFailed;
      default:
        result = KeywordHandler(id)(app_, cursor, language_mode_);
        break;
    }
    if (result.status == CommandResult::kFailed) return Outcome::kFailed;
    if (result.status == CommandResult::kDone) return Outcome::kNextLine;
    cursor = SkipBlanks(result.rest);
  }
}

Run::Outcome Run::Goto(char* cursor) {
  if (*cursor == ':') ++cursor;
  NextToken(app_, &cursor, TokenForm::kSilent);
  std::size_t len = std::strlen(cursor);
  if (len == 0) {
    app_.ShowMessage("GOTO にラベルが有りません", {});
    return Outcome::kFailed;
  }
  if (len >= kLabelSize) {
    FailTooLong();
    return Outcome::kFailed;
  }
  std::memcpy(label_, cursor, len + 1);
  skipping_ = true;
  return Outcome::kNextLine;
}

// A label line while a Goto looks for its label.
Run::Outcome Run::ExamineLabel(char* cursor) {
  ++cursor;  // the colon
  NextToken(app_, &cursor, TokenForm::kSilent);
  std::size_t len = std::strlen(cursor);
  if (len == 0) {
    app_.ShowMessage("%sの%d行目に:があるのにラベルが有りません", {app_.script_path, app_.line_number});
    return Outcome::kFailed;
  }
  if (len >= kLabelSize) {
    FailTooLong();
    return Outcome::kFailed;
  }
  if (std::strcmp(cursor, label_) == 0) skipping_ = false;
  return Outcome::kNextLine;
}

}  // namespace

int RunScript(RunState& app, int language_mode) {
  Run run(app, language_mode);
  return run.Execute();
}

int RunSetup(RunState& app, const std::string& destination, int language_mode) {
  app.DefineMacro("$$SETUPDIR$$", destination);  // a full table was reported; the run goes on
  int lines = app.store.line_count();
  app.ui.SetProgressRange(lines & 0xFFFF);
  app.ui.SetProgressPos(0);
  int result = RunScript(app, language_mode);
  if (result != 0) return result;
  app.ui.SetProgressPos(lines);
  app.ui.ShowFinishDialog(app.system.ToUtf8(app.window_title));
  return 0;
}

}  // namespace setup
