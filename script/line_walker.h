// The walk over the stored script that the run and the checker share: the next line and
// its number, its macro expansion, what it is (its keyword row), the label a Goto or a
// label line names, the length limits and each line's fault. Both read every line alike
// because both read it here.
#ifndef SETUP_SCRIPT_LINE_WALKER_H_
#define SETUP_SCRIPT_LINE_WALKER_H_

#include <cstddef>

#include "script/keyword_table.h"
#include "script/script_context.h"
#include "script/script_store.h"
#include "text/macro_table.h"

namespace setup {

// The run's buffers: a line as run, before and after macro expansion, holds 511 bytes
// and its NUL; a label 63 bytes and its NUL.
inline constexpr std::size_t kWorkLineSize = 512;
inline constexpr std::size_t kLabelSize = 64;

// The script line's message for text that does not fit the interpreter's buffers.
inline constexpr const char* kLineTooLong = "%sの%d行目が長すぎます";

// Why a line cannot be run.
enum class LineFault {
  kNone,
  kTooLong,          // the stored line is over kWorkLineSize - 1 bytes
  kExpandedTooLong,  // its macro expansion is
};

// Why a label cannot be looked for.
enum class LabelFault {
  kNone,
  kEmpty,    // nothing after the Goto or the colon
  kTooLong,  // over kLabelSize - 1 bytes
};

class LineWalker {
 public:
  // Walks `store` from its first line, numbering the lines from 1 into `line_number`
  // (which the messages about the script read); past the last line it holds their count
  // and one.
  LineWalker(const ScriptStore& store, const MacroTable& macros, int& line_number)
      : store_(store), macros_(macros), line_number_(line_number) {
    line_number_ = 0;
  }
  LineWalker(const LineWalker&) = delete;
  LineWalker& operator=(const LineWalker&) = delete;

  // Reads the next stored line; false at the end of the script.
  bool Next();

  // What the line is as stored, before its expansion; whether it was too long to store
  // in the work line (its text is then empty).
  const KeywordRow& StoredRow() const;
  bool too_long() const { return too_long_; }

  // Expands the line's macros into the work line; the line's fault, if any.
  LineFault Expand();

  // The expanded work line after its leading blanks, and its row.
  char* cursor() { return cursor_; }
  // Where the next stored line begins (ScriptStore::LineAt's offset).
  std::size_t next_offset() const { return offset_; }
  const KeywordRow& row() const { return ClassifyRow(cursor_); }

 private:
  const ScriptStore& store_;
  std::size_t offset_ = 0;
  const MacroTable& macros_;
  int& line_number_;
  bool too_long_ = false;
  char raw_[kWorkLineSize] = {};
  char work_[kWorkLineSize] = {};
  char* cursor_ = work_;
};

// Whether `label` can be looked for.
LabelFault FaultOfLabel(const char* label);

// Cuts the label of a Goto (`id` kGoto, `args` after its word) or of a label line
// (`id` kLabelLine, `args` on its colon) into `*label`, a text inside `args`.
LabelFault CutLabel(const ScriptContext& context, KeywordId id, char* args, const char** label);

}  // namespace setup

#endif  // SETUP_SCRIPT_LINE_WALKER_H_
