// What a check puts in place of the user interface and of a copy's destination: the
// messages the run would show are collected, with the line they name; what the text
// filter writes is dropped. Nothing is shown and nothing is written.
#ifndef SETUP_SCRIPT_CHECK_CAPTURE_H_
#define SETUP_SCRIPT_CHECK_CAPTURE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/ui.h"

namespace setup {

// The messages of a check go nowhere but here; no dialog is ever shown.
class CaptureUi : public Ui {
 public:
  struct Message {
    int line;
    std::string text;
  };

  int ShowSetupDialog(const std::string&, const std::string&, const DestinationAccepted&) override {
    return kIdCancel;
  }
  void ShowMessageBox(const std::string& text, std::uint32_t) override {
    messages.push_back({line_number != nullptr ? *line_number : 0, text});
  }
  int ShowFinishDialog(const std::string&) override { return kIdOk; }
  int ShowDiskDialog(const std::string&, const std::string&) override { return kIdCancel; }
  int ShowMessageDialog(const std::string&) override { return kIdOk; }
  void SetProgressRange(int) override {}
  void SetProgressPos(int) override {}
  void PumpMessages() override {}

  const int* line_number = nullptr;  // the line a message names
  std::vector<Message> messages;
};

// Discards what the text filter writes.
class NullOutput : public OutputFile {
 public:
  Status Write(const void*, std::size_t) override { return Status::Ok(); }
  Status Commit() override { return Status::Ok(); }
};

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECK_CAPTURE_H_
