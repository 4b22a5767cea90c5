// --dest and /D=: a Ui that hands SetupDialog a destination in place of the default, as
// if the person had typed it into the edit field. Everything else passes through. It sits
// between the transcript and the front end, so the transcript still shows the script's
// default as "destination" and the destination used as "value"; an answers line
// "OK <destination>" types over it again.
#ifndef SETUP_APP_PRESET_DESTINATION_H_
#define SETUP_APP_PRESET_DESTINATION_H_

#include <string>

#include "platform/ui.h"
#include "platform/ui_wrapper.h"

namespace setup {

class PresetDestinationUi : public UiWrapper {
 public:
  PresetDestinationUi(Ui& inner, std::string destination)
      : UiWrapper(inner), destination_(std::move(destination)) {}

  int ShowSetupDialog(const std::string& title, const std::string&,
                      const DestinationAccepted& on_ok) override {
    return target().ShowSetupDialog(title, destination_, on_ok);
  }

 private:
  std::string destination_;
};

}  // namespace setup

#endif  // SETUP_APP_PRESET_DESTINATION_H_
