// UiWrapper: a Ui that passes every call on to another Ui. A decorator (the install
// log, a preset destination) derives from it and overrides only the calls it changes.
#ifndef SETUP_PLATFORM_UI_WRAPPER_H_
#define SETUP_PLATFORM_UI_WRAPPER_H_

#include <type_traits>

#include "platform/ui.h"

namespace setup {

class UiWrapper : public Ui {
 public:
  // `target` is not owned and must outlive the wrapper.
  explicit UiWrapper(Ui& target) : target_(target) {}
  UiWrapper(const UiWrapper&) = delete;
  UiWrapper& operator=(const UiWrapper&) = delete;

  // The Ui every call not overridden goes to.
  Ui& target() const { return target_; }

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override {
    return target_.ShowSetupDialog(title, destination, on_ok);
  }
  void ShowMessageBox(const std::string& text, std::uint32_t style) override {
    target_.ShowMessageBox(text, style);
  }
  int ShowFinishDialog(const std::string& title) override {
    return target_.ShowFinishDialog(title);
  }
  int ShowDiskDialog(const std::string& title, const std::string& text) override {
    return target_.ShowDiskDialog(title, text);
  }
  int ShowMessageDialog(const std::string& text) override {
    return target_.ShowMessageDialog(text);
  }
  void SetProgressRange(int max) override { target_.SetProgressRange(max); }
  void SetProgressPos(int pos) override { target_.SetProgressPos(pos); }
  void PumpMessages() override { target_.PumpMessages(); }

 private:
  Ui& target_;
};

// A method added to Ui and not forwarded here leaves the wrapper abstract.
static_assert(!std::is_abstract_v<UiWrapper>, "UiWrapper must forward every method");

}  // namespace setup

#endif  // SETUP_PLATFORM_UI_WRAPPER_H_
