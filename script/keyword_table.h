// The keyword table: what a line or word is (ClassifyLine), the command handler of each
// keyword, and whether a word is a comparison word.
#ifndef SETUP_SCRIPT_KEYWORD_TABLE_H_
#define SETUP_SCRIPT_KEYWORD_TABLE_H_

#include "script/command.h"

namespace setup {

enum KeywordId : int {
  kNoKeyword = 0,
  kEmptyLine = 1,
  kLabelLine = 2,
  kCommentLine = 3,
  kDefine = 4,
  kTextCopy = 5,
  kBinCopy = 6,
  kMakeDir = 7,
  kJapanCopy = 8,
  kEnglishCopy = 9,
  kDiskCheck = 10,
  kSetupDir = 11,
  kWindowTitle = 12,
  kIfFileVersion = 13,
  kIfProductVersion = 14,
  kMessageBox = 15,
  kMessage = 16,
  kGoto = 17,
  kOpEqual = 18,
  kOpLessEqual = 19,
  kOpLess = 20,
  kOpGreaterEqual = 21,
  kOpGreater = 22,
  kIfFileDate = 23,
  kErrorExit = 24,
  kIfFileFind = 25,
  kDefineRegistry = 26,
  kRegistry = 27,
  kRegsvr = 28,
  kIfString = 29,
  kIfRegistryFind = 30,
};

// The comparison of a condition: its comparison word, or none.
enum class CompareOp { kNone, kEqual, kLessEqual, kLess, kGreaterEqual, kGreater };

// The KeywordId of the text at `text`: empty, label or comment line by its first byte,
// else the first keyword-table row that is a prefix of it (ASCII letters folded).
KeywordId ClassifyLine(const char* text);

// The command handler of a keyword's row; none for the words that the interpreter
// handles itself (Goto, SetupDir, WindowTitle, the comparison words, Registry).
CommandHandler KeywordHandler(KeywordId id);

// The comparison word that `text` begins with; kNone when it begins with none.
CompareOp OperatorToken(const char* text);

}  // namespace setup

#endif  // SETUP_SCRIPT_KEYWORD_TABLE_H_
