#include "app/terminal/terminal_ui.h"

#include <histedit.h>
#include <langinfo.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <iterator>

#include "app/terminal/terminal_caps.h"
#include "app/terminal/terminal_text.h"

namespace setup {
namespace {

constexpr const char* kBold = "\x1b[1m";
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kCyan = "\x1b[36m";
constexpr const char* kReset = "\x1b[0m";
// Marks the escape sequences in a prompt, so that libedit does not count them as columns.
constexpr char kPromptEscape = '\1';

const char* PromptOf(EditLine* editline) {
  void* data = nullptr;
  el_get(editline, EL_CLIENTDATA, &data);
  return data ? static_cast<TerminalUi*>(data)->prompt() : "";
}

// The note for Ctrl-C during a run, written by the signal handler (write() is safe there).
int note_fd = -1;
char note[160];
std::size_t note_size = 0;

void NoteInterrupt(int) {
  if (note_fd >= 0) {
    ssize_t written = write(note_fd, note, note_size);
    (void)written;
  }
}

// The terminal whose echo is off while the script runs; -1 outside a run. Its mode from
// before the run, which a signal that ends the program puts back.
int quiet_fd = -1;
termios saved_tty{};

// The signals that end the program; during a run it gives the terminal its echo back
// first, which not every shell would, then hands the signal to the handler the program
// had before the run (the one that removes its temporary files), if any.
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGQUIT};
void (*handler_before_run[std::size(kEndingSignals)])(int) = {};

void RestoreTerminalAndEnd(int signal_number) {
  if (quiet_fd >= 0) tcsetattr(quiet_fd, TCSANOW, &saved_tty);
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (kEndingSignals[i] == signal_number && handler_before_run[i] != nullptr) {
      handler_before_run[i](signal_number);
    }
  }
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// Echo off, again after each prompt of the run: libedit turns it on when a line ends.
void QuietTerminal() {
  termios mode{};
  if (quiet_fd < 0 || tcgetattr(quiet_fd, &mode) != 0) return;
  mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOCTL);
  tcsetattr(quiet_fd, TCSANOW, &mode);
}

// While it lives, Ctrl-C writes the note instead of ending the program. SA_RESTART, so
// that no read or write of the run fails with EINTR. The terminal echoes nothing meanwhile
// (its prompts have their own): an echoed "^C" or Enter would wrap or
// scroll the progress line. Keys typed meanwhile wait in the terminal's queue until the
// next prompt discards them.
class IgnoreInterrupts {
 public:
  IgnoreInterrupts(int in_fd, int fd, const std::string& erase_line) : in_fd_(in_fd) {
    if (tcgetattr(in_fd_, &saved_tty) == 0) {
      restore_tty_ = true;
      quiet_fd = in_fd_;
      QuietTerminal();
      struct sigaction ending {};
      ending.sa_handler = RestoreTerminalAndEnd;
      sigemptyset(&ending.sa_mask);
      for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], nullptr, &previous_ending_[i]);
        void (*before)(int) = previous_ending_[i].sa_handler;
        bool chained = (previous_ending_[i].sa_flags & SA_SIGINFO) == 0 && before != SIG_DFL &&
                       before != SIG_IGN;
        handler_before_run[i] = chained ? before : nullptr;
        // A signal the program was started ignoring (nohup) stays ignored.
        if (previous_ending_[i].sa_handler != SIG_IGN) {
          sigaction(kEndingSignals[i], &ending, nullptr);
        }
      }
    }
    std::string text =
        (erase_line.empty() ? "\n" : "\r" + erase_line) +
        "Ctrl-C is ignored: the installation is running and cannot be stopped part-way.\n";
    note_size = std::min(text.size(), sizeof note);
    std::memcpy(note, text.data(), note_size);
    note_fd = fd;
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~IgnoreInterrupts() {
    sigaction(SIGINT, &previous_, nullptr);
    note_fd = -1;
    if (restore_tty_) {
      for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], &previous_ending_[i], nullptr);
      }
      tcsetattr(in_fd_, TCSANOW, &saved_tty);
    }
    quiet_fd = -1;
  }
  IgnoreInterrupts(const IgnoreInterrupts&) = delete;
  IgnoreInterrupts& operator=(const IgnoreInterrupts&) = delete;

 private:
  struct sigaction previous_ {};
  struct sigaction previous_ending_[std::size(kEndingSignals)]{};
  int in_fd_;
  bool restore_tty_ = false;
};

}  // namespace

bool TerminalUi::StandardStreamsAreTerminals() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

TerminalUi::TerminalUi(std::FILE* in, std::FILE* out) : in_(in), out_(out) {
  // Every text is UTF-8; libedit edits it by characters only in a UTF-8 locale.
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  TerminalCaps caps = QueryTerminal(fileno(out_));
  colour_ = caps.colour;
  erase_line_ = caps.erase_line;

  editline_ = el_init("setup", in_, out_, stderr);
  el_set(editline_, EL_CLIENTDATA, this);
  el_set(editline_, EL_EDITOR, "emacs");
  el_set(editline_, EL_PROMPT_ESC, PromptOf, kPromptEscape);
  // Ctrl-C reaches libedit as a key while it edits, not as a signal; it and Ctrl-D end
  // the line as the end of the input does: the answer CANCEL.
  el_set(editline_, EL_SETTY, "-d", "-isig", nullptr);
  el_set(editline_, EL_BIND, "^C", "ed-end-of-file", nullptr);
  el_set(editline_, EL_BIND, "^D", "ed-end-of-file", nullptr);
}

TerminalUi::~TerminalUi() {
  if (progress_shown_) std::fputc('\n', out_);
  std::fflush(out_);
  if (editline_) el_end(editline_);
}

std::string TerminalUi::Paint(const std::string& text, const char* colour) const {
  return colour_ && colour ? colour + text + kReset : text;
}

bool TerminalUi::ReadLine(const std::string& prompt, const std::string& initial,
                          std::string* line) {
  prompt_ = colour_ ? std::string(1, kPromptEscape) + kBold + kPromptEscape + prompt +
                          kPromptEscape + kReset + kPromptEscape
                    : prompt;
  // Input that is not a terminal (--ui=terminal fed by a pipe): libedit neither shows
  // the prompt nor edits, so the prompt is written here, the default in brackets, and an
  // empty line takes the default.
  bool editing = isatty(fileno(in_)) == 1;
  if (!editing) {
    std::fputs(prompt.c_str(), out_);
    if (!initial.empty()) std::fputs(("[" + initial + "] ").c_str(), out_);
  }
  std::fflush(out_);
  // No answer before the question: keys typed while nothing asked (during a slow step, or
  // at an earlier prompt after its Enter) are discarded. libedit reads the terminal one
  // byte at a time and keeps nothing between lines, so they all wait in the terminal's
  // queue; the default goes into libedit's own buffer, after the flush.
  if (editing) tcflush(fileno(in_), TCIFLUSH);
  if (editing && !initial.empty()) el_push(editline_, initial.c_str());
  int count = 0;
  const char* got = el_gets(editline_, &count);
  QuietTerminal();
  if (!editing) std::fputc('\n', out_);
  if (got == nullptr || count <= 0) return false;  // libedit has ended the line
  line->assign(got, static_cast<std::size_t>(count));
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  if (!editing && line->empty()) *line = initial;
  return true;
}

void TerminalUi::ShowText(const std::string& text, const char* colour) {
  ClearProgress();
  std::fputs(Paint(text, colour).c_str(), out_);
  std::fputc('\n', out_);
}

bool TerminalUi::Acknowledge(const std::string& text, const char* colour) {
  ShowText(text, colour);
  std::string line;
  bool answered = ReadLine("press Enter ", "", &line);
  DrawProgress();
  return answered;
}

int TerminalUi::Ask(const std::string& text) {
  ShowText(text, kBold);
  int answer = 0;
  while (answer == 0) {
    std::string line;
    if (!ReadLine("OK or CANCEL? [OK] ", "", &line)) {
      answer = kIdCancel;
    } else {
      answer = QuestionAnswer(line);
    }
  }
  stop_reason_ = answer == kIdCancel ? CancelledReason(text) : std::string();
  DrawProgress();
  return answer;
}

int TerminalUi::ShowSetupDialog(const std::string& title, const std::string& destination,
                                const DestinationAccepted& on_ok) {
  std::fputs(Paint(title, kBold).c_str(), out_);
  std::fputs("\n\n", out_);
  std::string typed;
  std::string initial = destination;
  for (bool accepted = false; !accepted; initial = typed) {
    // A refused destination is asked for again, with the text typed to correct.
    if (!ReadLine("Setup Directory: ", initial, &typed)) return kIdCancel;
    IgnoreInterrupts ignore(fileno(in_), fileno(out_), erase_line_);
    run_started_ = false;
    accepted = on_ok(typed);
  }
  if (progress_shown_) {
    std::fputc('\n', out_);
    progress_shown_ = false;
  }
  // A run that ended without its finish text stopped: the last line says where and why.
  if (run_started_ && !finished_) {
    std::fputs(Paint(StoppedLine(progress_pos_, stop_reason_), kYellow).c_str(), out_);
    std::fputc('\n', out_);
  }
  progress_max_ = -1;
  std::fflush(out_);
  return kIdOk;
}

void TerminalUi::ShowMessageBox(const std::string& text, std::uint32_t style) {
  stop_reason_ = text;
  Acknowledge(text, style == kMbInformationTopmost ? kCyan : kYellow);
}

// The run is over: its last bar stays on its own line above the finish text, which is the
// last thing shown; nothing redraws the bar after it.
int TerminalUi::ShowFinishDialog(const std::string&) {
  finished_ = true;
  if (progress_shown_) {
    std::fputc('\n', out_);
    progress_shown_ = false;
  }
  progress_max_ = -1;
  return Acknowledge("It succeeded in the making a setup", kGreen) ? kIdOk : kIdCancel;
}

int TerminalUi::ShowDiskDialog(const std::string&, const std::string& text) {
  return Ask(DialogText(text));
}

int TerminalUi::ShowMessageDialog(const std::string& text) { return Ask(DialogText(text)); }

void TerminalUi::SetProgressRange(int max) {
  run_started_ = true;
  finished_ = false;
  stop_reason_.clear();
  progress_max_ = max;
  progress_pos_ = 0;
  DrawProgress();
}

void TerminalUi::SetProgressPos(int pos) {
  progress_pos_ = pos;
  DrawProgress();
}

// How many blanks overwrite the progress line where the terminal cannot erase a line:
// the widest line drawn, but never up to the last column (the terminal may have become
// narrower since), where a blank would wrap.
std::size_t TerminalUi::BlankWidth() const {
  int columns = TerminalColumns(fileno(out_));
  return std::min(progress_width_, static_cast<std::size_t>(columns > 1 ? columns - 1 : 0));
}

void TerminalUi::ClearProgress() {
  if (!progress_shown_) return;
  if (!erase_line_.empty()) {
    std::fputs(("\r" + erase_line_).c_str(), out_);
  } else {
    std::fputs(("\r" + std::string(BlankWidth(), ' ') + "\r").c_str(), out_);
  }
  progress_shown_ = false;
}

void TerminalUi::DrawProgress() {
  if (progress_max_ < 0) return;  // no run, or the run is over
  std::string line = ProgressLine(progress_pos_, progress_max_, TerminalColumns(fileno(out_)));
  std::string text = "\r" + Paint(line, kGreen);
  if (!erase_line_.empty()) {
    text += erase_line_;
  } else if (line.size() < BlankWidth()) {
    text += std::string(BlankWidth() - line.size(), ' ');
  }
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
  progress_width_ = std::max(progress_width_, line.size());
  progress_shown_ = true;
}

}  // namespace setup
