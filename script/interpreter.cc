// The run driver and the interpreter loop: flow control (comments, labels, Goto,
// chaining) and the dispatch of every command through the keyword table.
#include "script/interpreter.h"

#include <cstring>

#include "script/arguments.h"
#include "script/command.h"
#include "script/command_context.h"
#include "script/copy_lookahead.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "script/line_walker.h"

namespace setup {
namespace {

class Run {
 public:
  Run(const LoadedScript& loaded, CommandContext& cx)
      : loaded_(loaded), cx_(cx), announcing_(cx.system.PreparesCopies()) {}
  bool Execute();

 private:
  enum class Outcome { kNextLine, kFailed };
  Outcome RunLine(char* cursor);
  Outcome Goto(char* cursor);
  Outcome ExamineLabel(char* cursor);
  void FailTooLong() { cx_.script.ReportAtLine(kLineTooLong); }
  void AnnounceCopies(LineWalker& walker);

  const LoadedScript& loaded_;
  CommandContext& cx_;
  const bool announcing_;  // the system prepares copies announced to it
  bool skipping_ = false;
  // BinCopy lines announced to the system and not yet run, this one included.
  std::size_t announced_ = 0;
  char label_[kLabelSize] = {};
};

bool Run::Execute() {
  LineWalker walker(loaded_.store, cx_.macros, cx_.line_number);
  while (walker.Next()) {
    cx_.ui.SetProgressPos(cx_.line_number);
    if (walker.Expand() != LineFault::kNone) {
      FailTooLong();
      return false;
    }
    if (announcing_ && !skipping_) AnnounceCopies(walker);
    if (RunLine(walker.cursor()) == Outcome::kFailed) return false;
  }
  if (skipping_) cx_.script.ReportScriptError("Setup script Error. Nothing (%s) label", {label_});
  return true;
}

// Before a BinCopy line, when none announced is left: announces it and the copies that
// follow it, when there is more than one, so that the system can prepare them ahead.
void Run::AnnounceCopies(LineWalker& walker) {
  KeywordId id = walker.row().id;
  if (id != kBinCopy) {
    // Never the case, since a list ends before any other line; kept so that a count
    // gone wrong cannot outlive the copies it counted.
    if (id != kEmptyLine && id != kCommentLine) announced_ = 0;
    return;
  }
  if (announced_ == 0) {
    std::vector<System::CopyPair> copies =
        UpcomingCopies(cx_.script, loaded_.store, walker.next_offset(), cx_.macros, walker.cursor(),
                       kCopiesAnnounced);
    if (copies.size() > 1) {
      announced_ = copies.size();
      cx_.system.ExpectCopies(copies);
    }
  }
  if (announced_ > 0) --announced_;
}

// Runs one command, and the commands its conditions chain to.
Run::Outcome Run::RunLine(char* cursor) {
  for (;;) {
    const KeywordRow& row = ClassifyRow(cursor);
    if (skipping_) return row.id == kLabelLine ? ExamineLabel(cursor) : Outcome::kNextLine;
    cursor = StepOverKeyword(cursor, row);
    if (row.id == kGoto) return Goto(cursor);
    if ((row.flags & kNotACommand) != 0) {
      cx_.script.ReportScriptError("Setup script Error (%s)", {cursor});
      return Outcome::kFailed;
    }
    if (row.handler == nullptr) return Outcome::kNextLine;  // empty, comment, label, pre-scanned
    CommandResult result = row.handler(cx_, cursor);
    if (cx_.change_record != nullptr) cx_.change_record->CommandCompleted();
    if (result.status == CommandResult::kFailed) return Outcome::kFailed;
    if (result.status == CommandResult::kDone) return Outcome::kNextLine;
    cursor = SkipBlanks(result.rest);
  }
}

Run::Outcome Run::Goto(char* cursor) {
  const char* label = nullptr;
  switch (CutLabel(cx_.script, kGoto, cursor, &label)) {
    case LabelFault::kEmpty:
      cx_.script.ReportScriptError("GOTO にラベルが有りません", {});
      return Outcome::kFailed;
    case LabelFault::kTooLong: FailTooLong(); return Outcome::kFailed;
    case LabelFault::kNone: break;
  }
  std::memcpy(label_, label, std::strlen(label) + 1);
  skipping_ = true;
  return Outcome::kNextLine;
}

// A label line while a Goto looks for its label.
Run::Outcome Run::ExamineLabel(char* cursor) {
  const char* label = nullptr;
  switch (CutLabel(cx_.script, kLabelLine, cursor, &label)) {
    case LabelFault::kEmpty:
      cx_.script.ReportAtLine("%sの%d行目に:があるのにラベルが有りません");
      return Outcome::kFailed;
    case LabelFault::kTooLong: FailTooLong(); return Outcome::kFailed;
    case LabelFault::kNone: break;
  }
  if (std::strcmp(label, label_) == 0) skipping_ = false;
  return Outcome::kNextLine;
}

}  // namespace

bool RunScript(SetupRun& run, LanguageMode language_mode) {
  run.context.language_mode = language_mode;
  Run interpreter(run.loaded, run.context);
  return interpreter.Execute();
}

bool RunSetup(SetupRun& run, const std::string& destination, LanguageMode language_mode) {
  CommandContext& cx = run.context;
  cx.DefineMacro("$$SETUPDIR$$", destination);  // a full table was reported; the run goes on
  int lines = run.loaded.store.line_count();
  cx.ui.SetProgressRange(lines & 0xFFFF);
  cx.ui.SetProgressPos(0);
  if (!RunScript(run, language_mode)) return false;
  cx.ui.SetProgressPos(lines);
  cx.ui.ShowFinishDialog(cx.encoding.ToUtf8(run.loaded.window_title));
  return true;
}

}  // namespace setup
