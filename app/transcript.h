// The install log: a Ui that passes every call on to another front end and records it,
// with the answer that front end gave, as one JSON object per line (flushed per line).
#ifndef SETUP_APP_TRANSCRIPT_H_
#define SETUP_APP_TRANSCRIPT_H_

#include <cstdio>
#include <string>

#include "platform/ui.h"

namespace setup {

class TranscriptUi : public Ui {
 public:
  // Records to `out`, which it does not own; `caption` is the message boxes' caption.
  TranscriptUi(Ui& inner, std::FILE* out, std::string caption)
      : inner_(inner), out_(out), caption_(std::move(caption)) {}

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const std::function<void(const std::string&)>& on_ok) override;
  void ShowMessageBox(const std::string& text, std::uint32_t style) override;
  int ShowFinishDialog(const std::string& title) override;
  int ShowDiskDialog(const std::string& title, const std::string& text) override;
  int ShowMessageDialog(const std::string& text) override;
  void SetProgressRange(int max) override;
  void SetProgressPos(int pos) override;
  void PumpMessages() override { inner_.PumpMessages(); }

 private:
  void Emit(const std::string& line);

  Ui& inner_;
  std::FILE* out_;
  std::string caption_;
};

// `text` as a JSON string literal, quotes included. Invalid UTF-8 bytes become U+FFFD.
std::string JsonString(const std::string& text);

// The name of the answer: "OK", "CANCEL".
const char* AnswerName(int answer);

}  // namespace setup

#endif  // SETUP_APP_TRANSCRIPT_H_
