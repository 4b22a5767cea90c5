// The texts the terminal front end shows, apart from the terminal itself: the progress
// line, dialog texts, the reading of an OK/CANCEL answer. Pure functions, unit-tested.
#ifndef SETUP_APP_TERMINAL_TERMINAL_TEXT_H_
#define SETUP_APP_TERMINAL_TERMINAL_TEXT_H_

#include <string>
#include <string_view>

namespace setup {

// One line of at most `width` columns (ASCII only): a bar, the percentage and
// "line N of M", e.g. "[#######-------------]  35%  line 7 of 20". Positions outside
// 0..max are clamped; a range of 0 shows 0%.
std::string ProgressLine(int pos, int max, int width);

// A dialog's static text as the window shows it: "&x" shows x (underlined there), "&&"
// shows one ampersand.
std::string DialogText(std::string_view text);

// An answer typed at an OK/CANCEL question: kIdOk for an empty line, "ok", "o", "yes",
// "y"; kIdCancel for "cancel", "c", "no", "n" (any case, blanks around ignored); 0 for
// anything else, which asks again.
int QuestionAnswer(std::string_view typed);

// Why a run stopped when a question was answered CANCEL: `CANCEL was answered to "<text>"`,
// with the question as it was shown.
std::string CancelledReason(std::string_view question);

// The last line of a run that stopped before its end, where `line` is the script line the
// run was at (the progress position) and `reason` the last message shown or
// CancelledReason: "Stopped at line 12 of Setup.Inf: <reason>", or "Stopped at line 12 of
// Setup.Inf." without a reason. One line: the reason's line breaks and tabs become
// blanks, and blanks at its ends are dropped.
std::string StoppedLine(int line, std::string_view reason);

}  // namespace setup

#endif  // SETUP_APP_TERMINAL_TERMINAL_TEXT_H_
