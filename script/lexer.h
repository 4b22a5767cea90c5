// The line lexer's token cutting: NextToken cuts one argument off a line in place. What
// a line or word is belongs to the keyword table (keyword_table.h).
// Blanks, the only separators of the script language, are the space and the tab.
#ifndef SETUP_SCRIPT_LEXER_H_
#define SETUP_SCRIPT_LEXER_H_

#include "script/script_context.h"

namespace setup {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline char* SkipBlanks(char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

enum class TokenForm { kReporting, kSilent };

// Cuts the token at `*cursor` in place and returns the position of the next one (after
// the blanks that follow), or nullptr on failure. A quoted token moves `*cursor` past its
// opening quote and ends at its closing quote; an unquoted one ends at the next blank and
// fails when none follows. A failure writes nothing; the reporting form shows its message
// naming the script path and the current line number.
char* NextToken(const ScriptContext& context, char** cursor, TokenForm form);

}  // namespace setup

#endif  // SETUP_SCRIPT_LEXER_H_
