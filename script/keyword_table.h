// The keyword table: one row per keyword, holding everything the run, the pre-scan and
// the checker know of it (its word, its handler, its argument layout, its flags and the
// checker's kind of check). The rows are written once, in script/keyword_rows.h, and both
// the KeywordId enum and the table are made from them. ClassifyLine finds a line's row;
// nothing else spells a keyword.
#ifndef SETUP_SCRIPT_KEYWORD_TABLE_H_
#define SETUP_SCRIPT_KEYWORD_TABLE_H_

#include "script/command.h"
#include "script/keyword_rows.h"

namespace setup {

// One id per row of script/keyword_rows.h, in its order: kNoKeyword is 0.
enum KeywordId : int {
#define SETUP_KEYWORD_ID(id, ...) id,
  SETUP_KEYWORD_ROWS(SETUP_KEYWORD_ID)
#undef SETUP_KEYWORD_ID
      kKeywordCount
};

// The comparison of a condition: its comparison word, or none.
enum class CompareOp { kNone, kEqual, kLessEqual, kLess, kGreaterEqual, kGreater };

// One step of cutting a command's arguments (CutArguments in script/arguments.h).
enum class ArgumentStep : char {
  kStop,      // the layout ends; nothing is said of what follows
  kToken,     // a token that must be complete; `name` is what a fault calls it
  kReported,  // the same, kept even when it is not: then it runs to the end of the line,
              // and the cutting stops there (the pre-scan's SetupDir and WindowTitle)
  kLoose,     // a token that may run to the end of the line
  kOperator,  // the comparison word, when the cursor is on one
  kColon,     // a label's colon, when there is one
  kRest,      // the rest of the line is the command's
  kEnd,       // the command reads nothing after its last argument, `name`
};

struct ArgumentLayout {
  struct Step {
    ArgumentStep step;
    const char* name;
  };
  Step steps[5];
};

// What the checker looks at in a command's arguments, before a run.
enum class CheckKind : char {
  kNothing,        // nothing to know before a run
  kGoto,           // the label it jumps to
  kDefine,         // defines the macro it names
  kByteCopy,       // a source in the program directory, a destination token
  kTextCopy,       // a source the text filter must accept, the rest as destination
  kCopiesNothing,  // never copies in the mode the program runs in
  kDirectory,      // a directory name that must be there
  kDiskFile,       // a file whose absence means another disk
  kComponent,      // a source in the program directory, found as Windows loads it
  kFileFind,       // a condition that, holding, tells a file exists
  kDefineFound,    // a condition that defines the macro it names
  kCompares,       // a condition that needs its comparison word to ever hold
  kDecidable,      // kCompares, and decided before a run when both texts are known
};

// What a row's line is, beyond its handler.
enum KeywordFlag : unsigned {
  kCondition = 1u << 0,    // runs the rest of the line when it holds
  kPreScanned = 1u << 1,   // read by the loader's pre-scan; the run passes over it
  kNotACommand = 1u << 2,  // cannot begin a command: the run stops with an error
  kEndsRun = 1u << 3,      // the run never goes on after it
  kShowsQuotes = 1u << 4,  // shows the rest of its line, quotes and all
};

struct KeywordRow {
  const char* keyword;  // null for the line kinds found by their first byte
  KeywordId id;
  CommandHandler handler;  // null for the lines the interpreter handles itself
  ArgumentLayout layout;
  unsigned flags;
  CheckKind check;
  // The checker's error for a word that cannot begin a command; null for the others.
  const char* misplaced;
  CompareOp op;  // the comparison word's comparison; kNone for the others
};

// The row of the line at `text`: empty, label or comment line by its first byte, else
// the first keyword row whose word is a prefix of it (ASCII letters folded), else the
// row of kNoKeyword.
const KeywordRow& ClassifyRow(const char* text);
KeywordId ClassifyLine(const char* text);

// The row of `id`.
const KeywordRow& RowOf(KeywordId id);

// The command word of `id` as docs/script.md writes it; empty for no command.
const char* CommandWord(KeywordId id);

// The comparison word that `text` begins with; kNone when it begins with none.
inline CompareOp OperatorToken(const char* text) { return ClassifyRow(text).op; }

// Steps over the rest of a line's command word and the blanks after it: where its first
// argument begins. The word is its letters and '#', and '_' too except for a pre-scanned
// keyword, whose argument has always begun at a '_' after it. A comparison word is not
// stepped over.
char* StepOverKeyword(char* p, const KeywordRow& row);

}  // namespace setup

#endif  // SETUP_SCRIPT_KEYWORD_TABLE_H_
