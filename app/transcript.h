// The install log: a Ui that passes every call on to another front end and records it,
// with the answer that front end gave, as one JSON object per line (flushed per line).
// SetupDialog's OK is recorded only for a destination the run accepted, just before the
// run's first record; a refused one leaves only the message that refused it. After a
// write or flush fails nothing more is written (the log ends where it stopped being
// whole) and failed() says so.
#ifndef SETUP_APP_TRANSCRIPT_H_
#define SETUP_APP_TRANSCRIPT_H_

#include <cstdio>
#include <string>

#include "platform/ui.h"
#include "platform/ui_wrapper.h"

namespace setup {

class TranscriptUi : public UiWrapper {
 public:
  // Records to `out`, which it does not own; `caption` is the message boxes' caption.
  TranscriptUi(Ui& inner, std::FILE* out, std::string caption)
      : UiWrapper(inner), out_(out), caption_(std::move(caption)) {}

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override;
  void ShowMessageBox(const std::string& text, std::uint32_t style) override;
  int ShowFinishDialog(const std::string& title) override;
  int ShowDiskDialog(const std::string& title, const std::string& text) override;
  int ShowMessageDialog(const std::string& text) override;
  void SetProgressRange(int max) override;
  void SetProgressPos(int pos) override;

  // Writes one record of the program's own, a JSON object (the install record's steps).
  void Note(const std::string& json) { Emit(json); }

  // True once a record could not be written and flushed whole.
  bool failed() const { return failed_; }
  // The C library's error number of that failure; 0 when it gave none.
  int error() const { return error_; }

 private:
  void Emit(const std::string& line);
  // Writes SetupDialog's OK record held back until the run's first record.
  void EmitPending();

  std::FILE* out_;
  std::string caption_;
  std::string pending_;  // SetupDialog's OK record while its destination is judged
  bool failed_ = false;
  int error_ = 0;
};

// Closes the transcript file `file` (null: none) and answers whether it was written
// whole: `recorded_whole` (no record failed) and the close succeeded.
bool CloseTranscript(std::FILE* file, bool recorded_whole);

// The exit status after the install log: `status`, or kExitTranscriptFailed in place of
// a finished run (0) when the log could not be written whole.
int StatusAfterTranscript(int status, bool log_whole);

// `text` as a JSON string literal, quotes included. Invalid UTF-8 bytes become U+FFFD.
std::string JsonString(const std::string& text);

// The name of the answer: "OK", "CANCEL".
const char* AnswerName(int answer);

}  // namespace setup

#endif  // SETUP_APP_TRANSCRIPT_H_
