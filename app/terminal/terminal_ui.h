// The terminal front end of the native program: SetupDialog as a prompt for the
// destination (the default pre-filled and editable, with libedit), the progress bar as
// one line redrawn in place, message boxes as their text and "press Enter", MessageDialog
// and DiskDialog as OK/CANCEL questions, FinishDialog as its text. Ctrl-C or Ctrl-D at a
// prompt answers CANCEL; during a run Ctrl-C is ignored with a note, as the dialog ignores
// Cancel then. Every prompt first discards the keys typed before it showed. A run that
// stops before its end says so last, with the script line and the reason. Texts are
// UTF-8; colour only where the terminal has it and NO_COLOR is not set.
#ifndef SETUP_APP_TERMINAL_TERMINAL_UI_H_
#define SETUP_APP_TERMINAL_TERMINAL_UI_H_

#include <cstdio>
#include <string>

#include "platform/ui.h"

typedef struct editline EditLine;

namespace setup {

class TerminalUi : public Ui {
 public:
  // `in` and `out` are the terminal; neither is owned.
  TerminalUi(std::FILE* in, std::FILE* out);
  ~TerminalUi() override;
  TerminalUi(const TerminalUi&) = delete;
  TerminalUi& operator=(const TerminalUi&) = delete;

  // True when both standard input and standard output are terminals.
  static bool StandardStreamsAreTerminals();

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override;
  void ShowMessageBox(const std::string& text, std::uint32_t style) override;
  int ShowFinishDialog(const std::string& title) override;
  int ShowDiskDialog(const std::string& title, const std::string& text) override;
  int ShowMessageDialog(const std::string& text) override;
  void SetProgressRange(int max) override;
  void SetProgressPos(int pos) override;
  void PumpMessages() override {}

  // Used by libedit's prompt callback.
  const char* prompt() const { return prompt_.c_str(); }

 private:
  // Reads one line at `prompt` with `initial` in the line, editable. False when the
  // person pressed Ctrl-C or Ctrl-D, or the input ended.
  bool ReadLine(const std::string& prompt, const std::string& initial, std::string* line);
  // Shows `text` and waits for Enter; false on Ctrl-C or Ctrl-D.
  bool Acknowledge(const std::string& text, const char* colour);
  // Shows `text` and asks OK or CANCEL until one is given.
  int Ask(const std::string& text);
  // The text lines of a dialog, on a line of their own below the progress bar.
  void ShowText(const std::string& text, const char* colour);
  void ClearProgress();
  std::size_t BlankWidth() const;
  void DrawProgress();
  // `text` wrapped in the colour's escape sequences when colour is on.
  std::string Paint(const std::string& text, const char* colour) const;

  std::FILE* in_;
  std::FILE* out_;
  EditLine* editline_ = nullptr;
  std::string prompt_;
  bool colour_ = false;
  std::string erase_line_;  // the terminal's clear-to-end-of-line, or empty
  int progress_max_ = -1;   // -1: no run
  int progress_pos_ = 0;
  bool progress_shown_ = false;
  std::size_t progress_width_ = 0;
  bool run_started_ = false;  // SetupDialog's OK began a run (SetProgressRange)
  bool finished_ = false;     // the run showed its finish text
  std::string stop_reason_;   // the last message shown, or the question answered CANCEL
};

}  // namespace setup

#endif  // SETUP_APP_TERMINAL_TERMINAL_UI_H_
