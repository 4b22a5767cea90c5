// The user interface a run talks to: the chosen front end, with the destination given on
// the command line (--dest, /D=) and the transcript (--log, /LOG=, SETUP_TRANSCRIPT)
// layered over it in that order, so that the transcript records what the run saw.
#ifndef SETUP_APP_UI_STACK_H_
#define SETUP_APP_UI_STACK_H_

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/preset_destination.h"
#include "app/transcript.h"
#include "platform/ui.h"

namespace setup {

class UiStack {
 public:
  // `transcript` may be null (no log); it is not owned. `caption` is the message boxes'
  // caption as the transcript records it.
  UiStack(Ui& front_end, const std::optional<std::string>& destination, std::FILE* transcript,
          std::string caption)
      : top_(&front_end) {
    if (destination) {
      preset_ = std::make_unique<PresetDestinationUi>(*top_, *destination);
      top_ = preset_.get();
    }
    if (transcript) {
      transcript_ = std::make_unique<TranscriptUi>(*top_, transcript, std::move(caption));
      top_ = transcript_.get();
    }
  }
  UiStack(const UiStack&) = delete;
  UiStack& operator=(const UiStack&) = delete;

  Ui& top() { return *top_; }

  // Writes one JSON record of the program's own to the transcript, when there is one.
  void Note(const std::string& json) {
    if (transcript_) transcript_->Note(json);
  }

  // True once a record of the transcript could not be written whole.
  bool transcript_failed() const { return transcript_ && transcript_->failed(); }
  // The error number of that failure (0: none known).
  int transcript_error() const { return transcript_ ? transcript_->error() : 0; }

 private:
  Ui* top_;
  std::unique_ptr<PresetDestinationUi> preset_;
  std::unique_ptr<TranscriptUi> transcript_;
};

}  // namespace setup

#endif  // SETUP_APP_UI_STACK_H_
