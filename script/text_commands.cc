// The source is one token (quoted, or ended by a blank that must follow it); the
// destination is the whole rest of the line, unchanged: blanks, quotes and trailing
// blanks are part of the name.
#include "script/text_commands.h"

#include "script/arguments.h"
#include "script/command_context.h"
#include "text/status_text.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

CommandResult CopyText(CommandContext& cx, KeywordId id, char* args, LanguageMode filter_mode) {
  Arguments a;
  if (!CutArguments(cx.script, id, args, &a)) return CommandResult::Failed();
  Status copied = cx.text_filter().CopyTextFile(a.token[0], a.rest, filter_mode);
  if (!copied.ok()) {
    ShowStatus(cx.reporter, FailedStep::kTextCopy, copied);
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

}  // namespace

CommandResult DoTextCopy(CommandContext& cx, char* args) {
  return CopyText(cx, kTextCopy, args, cx.language_mode);
}

CommandResult DoJapanCopy(CommandContext& cx, char* args) {
  if (cx.language_mode != LanguageMode::kJapanese) return CommandResult::Done();
  return CopyText(cx, kJapanCopy, args, LanguageMode::kJapanese);
}

CommandResult DoEnglishCopy(CommandContext& cx, char* args) {
  if (cx.language_mode != LanguageMode::kEnglish) return CommandResult::Done();
  return CopyText(cx, kEnglishCopy, args, LanguageMode::kEnglish);
}

}  // namespace setup
