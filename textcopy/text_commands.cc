// The commands TextCopy, JapanCopy and EnglishCopy: `<keyword> source destination`.
// The source is one token (quoted, or ended by a blank that must follow it); the
// destination is the whole rest of the line, unchanged: blanks, quotes and trailing
// blanks are part of the name.
#include "script/run_state.h"
#include "script/commands.h"
#include "script/lexer.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

CommandResult CopyText(RunState& app, char* args, int filter_mode) {
  char* source = args;
  char* destination = NextToken(app, &source, TokenForm::kReporting);
  if (destination == nullptr) return CommandResult::Failed();
  if (app.text_filter().CopyTextFile(app, source, destination, filter_mode) != 0) {
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

}  // namespace

CommandResult DoTextCopy(RunState& app, char* args, int language_mode) {
  return CopyText(app, args, language_mode);
}

// Runs only in a Japanese run; otherwise its arguments are not looked at.
CommandResult DoJapanCopy(RunState& app, char* args, int language_mode) {
  if (language_mode != kLanguageJapanese) return CommandResult::Done();
  return CopyText(app, args, kLanguageJapanese);
}

// Runs only in an English run; otherwise its arguments are not looked at.
CommandResult DoEnglishCopy(RunState& app, char* args, int language_mode) {
  if (language_mode != kLanguageEnglish) return CommandResult::Done();
  return CopyText(app, args, kLanguageEnglish);
}

}  // namespace setup
