// --dest and /D=: a Ui that hands SetupDialog a destination in place of the default, as
// if the person had typed it into the edit field. Everything else passes through. It sits
// between the transcript and the front end, so the transcript still shows the script's
// default as "destination" and the destination used as "value"; an answers line
// "OK <destination>" types over it again.
#ifndef SETUP_APP_PRESET_DESTINATION_H_
#define SETUP_APP_PRESET_DESTINATION_H_

#include <string>

#include "platform/ui.h"

namespace setup {

class PresetDestinationUi : public Ui {
 public:
  PresetDestinationUi(Ui& inner, std::string destination)
      : inner_(inner), destination_(std::move(destination)) {}

  int ShowSetupDialog(const std::string& title, const std::string&,
                      const DestinationAccepted& on_ok) override {
    return inner_.ShowSetupDialog(title, destination_, on_ok);
  }
  void ShowMessageBox(const std::string& text, std::uint32_t style) override {
    inner_.ShowMessageBox(text, style);
  }
  int ShowFinishDialog(const std::string& title) override { return inner_.ShowFinishDialog(title); }
  int ShowDiskDialog(const std::string& title, const std::string& text) override {
    return inner_.ShowDiskDialog(title, text);
  }
  int ShowMessageDialog(const std::string& text) override { return inner_.ShowMessageDialog(text); }
  void SetProgressRange(int max) override { inner_.SetProgressRange(max); }
  void SetProgressPos(int pos) override { inner_.SetProgressPos(pos); }
  void PumpMessages() override { inner_.PumpMessages(); }

 private:
  Ui& inner_;
  std::string destination_;
};

}  // namespace setup

#endif  // SETUP_APP_PRESET_DESTINATION_H_
