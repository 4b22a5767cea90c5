// The line lexer: what a line or word is (ClassifyLine, by the keyword table), whether a
// word is a comparison word, and NextToken, which cuts one argument off a line in place.
// Blanks, the only separators of the script language, are the space and the tab.
#ifndef SETUP_SCRIPT_LEXER_H_
#define SETUP_SCRIPT_LEXER_H_

#include "script/commands.h"

namespace setup {

struct RunState;

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

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline char* SkipBlanks(char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// The KeywordId of the text at `text`: empty, label or comment line by its first byte,
// else the first keyword-table row that is a prefix of it (ASCII letters folded).
KeywordId ClassifyLine(const char* text);

// The command handler of a keyword's row; none for the words that the interpreter
// handles itself (Goto, SetupDir, WindowTitle, the comparison words, Registry).
CommandHandler KeywordHandler(KeywordId id);

// 18 to 22 when `text` begins with a comparison word, otherwise 0.
int OperatorToken(const char* text);

enum class TokenForm { kReporting, kSilent };

// Cuts the token at `*cursor` in place and returns the position of the next one (after
// the blanks that follow), or nullptr on failure. A quoted token moves `*cursor` past its
// opening quote and ends at its closing quote; an unquoted one ends at the next blank and
// fails when none follows. A failure writes nothing; the reporting form shows its message
// naming the script path and the current line number.
char* NextToken(RunState& app, char** cursor, TokenForm form);

}  // namespace setup

#endif  // SETUP_SCRIPT_LEXER_H_
