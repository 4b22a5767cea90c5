// The source is one token (quoted, or ended by a blank that must follow it); the
// destination is the whole rest of the line, unchanged: blanks, quotes and trailing
// blanks are part of the name.
#include "script/text_commands.h"

#include "script/lexer.h"
#include "script/run_state.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

CommandResult CopyText(RunState& run, char* args, LanguageMode filter_mode) {
  char* source = args;
  char* destination = NextToken(run.script, &source, TokenForm::kReporting);
  if (destination == nullptr) return CommandResult::Failed();
  if (!run.text_filter().CopyTextFile(source, destination, filter_mode)) {
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

}  // namespace

CommandResult DoTextCopy(RunState& run, char* args, LanguageMode language_mode) {
  return CopyText(run, args, language_mode);
}

CommandResult DoJapanCopy(RunState& run, char* args, LanguageMode language_mode) {
  if (language_mode != LanguageMode::kJapanese) return CommandResult::Done();
  return CopyText(run, args, LanguageMode::kJapanese);
}

CommandResult DoEnglishCopy(RunState& run, char* args, LanguageMode language_mode) {
  if (language_mode != LanguageMode::kEnglish) return CommandResult::Done();
  return CopyText(run, args, LanguageMode::kEnglish);
}

}  // namespace setup
