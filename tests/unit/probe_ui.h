// ProbeUi: a Ui that writes each call as one line and answers with values no front end
// gives, and a table that calls each Ui method once, for the tests of Ui layers.
#ifndef SETUP_TESTS_UNIT_PROBE_UI_H_
#define SETUP_TESTS_UNIT_PROBE_UI_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace setup {

// Writes each call as one line ("SetupDialog TITLE|DESTINATION", "Range N", ...).
class ProbeUi : public Ui {
 public:
  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override {
    calls.push_back("SetupDialog " + title + "|" + destination);
    return on_ok("typed") ? 11 : 12;
  }
  void ShowMessageBox(const std::string& text, std::uint32_t style) override {
    calls.push_back("MessageBox " + std::to_string(style) + "|" + text);
  }
  int ShowFinishDialog(const std::string& title) override {
    calls.push_back("FinishDialog " + title);
    return 13;
  }
  int ShowDiskDialog(const std::string& title, const std::string& text) override {
    calls.push_back("DiskDialog " + title + "|" + text);
    return 14;
  }
  int ShowMessageDialog(const std::string& text) override {
    calls.push_back("MessageDialog " + text);
    return 15;
  }
  void SetProgressRange(int max) override { calls.push_back("Range " + std::to_string(max)); }
  void SetProgressPos(int pos) override { calls.push_back("Pos " + std::to_string(pos)); }
  void PumpMessages() override { calls.push_back("Pump"); }

  std::vector<std::string> calls;
};

// One call of a Ui method through the Ui under test, with the line the probe writes and
// the answer that comes back.
struct UiCase {
  const char* call;  // the line the probe writes
  std::function<int(Ui& ui)> invoke;
  int answer;
};

inline const UiCase kUiCases[] = {
    {"SetupDialog T|C:\\App",
     [](Ui& ui) {
       return ui.ShowSetupDialog("T", "C:\\App", [](const std::string& v) { return v == "typed"; });
     },
     11},
    {"MessageBox 64|hello",
     [](Ui& ui) {
       ui.ShowMessageBox("hello", 64);
       return 0;
     },
     0},
    {"FinishDialog Done", [](Ui& ui) { return ui.ShowFinishDialog("Done"); }, 13},
    {"DiskDialog Disk 2|Insert", [](Ui& ui) { return ui.ShowDiskDialog("Disk 2", "Insert"); }, 14},
    {"MessageDialog Go on?", [](Ui& ui) { return ui.ShowMessageDialog("Go on?"); }, 15},
    {"Range 300",
     [](Ui& ui) {
       ui.SetProgressRange(300);
       return 0;
     },
     0},
    {"Pos 42",
     [](Ui& ui) {
       ui.SetProgressPos(42);
       return 0;
     },
     0},
    {"Pump",
     [](Ui& ui) {
       ui.PumpMessages();
       return 0;
     },
     0},
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_PROBE_UI_H_
