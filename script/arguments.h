// The arguments of each command, cut off the macro-expanded work line in place, the way
// the command reads them: which are tokens that must be complete (NextToken's reporting
// form), which are loose tokens (its silent form), where the optional comparison word
// stands, and where the rest of the line begins. The run's handlers and the checker both
// read their arguments here, so that both cut every line alike.
#ifndef SETUP_SCRIPT_ARGUMENTS_H_
#define SETUP_SCRIPT_ARGUMENTS_H_

#include <cstddef>

#include "script/keyword_table.h"
#include "script/lexer.h"

namespace setup {

// Why a token that must be complete could not be cut.
enum class ArgumentFault {
  kNone,
  kMissing,         // nothing left on the line (the TAB message)
  kNoBlank,         // an unquoted token ends the line (the TAB message)
  kNoClosingQuote,  // a quote is never closed (the double-quote message)
};

struct Arguments {
  static constexpr int kMaxTokens = 4;
  // The tokens in the order the command takes them, NUL-terminated in place; a loose
  // token that could not be cut runs to the end of the line.
  char* token[kMaxTokens] = {};
  int count = 0;
  // The comparison word of a comparing condition, or kNone.
  CompareOp op = CompareOp::kNone;
  // The rest of the line after the last token and its blanks, for the commands that
  // take it (#define's value, a text copy's destination, a prompt, a message, the
  // command a condition runs); null for the others.
  char* rest = nullptr;
  // Text after the last argument of a command that takes no rest of the line: the
  // command never reads it (a name with blanks that was not quoted, say); null when
  // there is none. `ignored_after` names that last argument.
  char* ignored = nullptr;
  const char* ignored_after = nullptr;
  ArgumentFault fault = ArgumentFault::kNone;
  // The name of the argument that could not be cut, as docs/script.md calls it.
  const char* fault_argument = nullptr;
};

// Cuts the arguments of the command `id` (a keyword, kGoto, or kLabelLine with `args`
// on its colon) starting at `args`, step by step as its row's layout says. False when a
// token that must be complete could not be cut: NextToken has shown its message and
// `out->fault` says why (a kReported token is in `out->token` all the same). The comparison word of
// a condition is looked at before its quotes would be removed, so a quoted token is never one.
// With TokenForm::kSilent nothing is shown, and a false answer says only that the line
// will fail when run.
bool CutArguments(const ScriptContext& context, KeywordId id, char* args, Arguments* out,
                  TokenForm form = TokenForm::kReporting);

}  // namespace setup

#endif  // SETUP_SCRIPT_ARGUMENTS_H_
