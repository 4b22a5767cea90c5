// The batch front end: no windows; each dialog that asks takes the next line of the
// answers file. Without a file, or when its lines are used up, SetupDialog, MessageDialog
// and FinishDialog answer OK and DiskDialog CANCEL (nobody can change a disk).
#ifndef SETUP_APP_BATCH_BATCH_UI_H_
#define SETUP_APP_BATCH_BATCH_UI_H_

#include <cstdio>
#include <deque>
#include <string>

#include "platform/ui.h"

namespace setup {

class BatchUi : public Ui {
 public:
  // `answers`: the lines of the answers file (UTF-8, line ends removed). Unknown lines
  // are reported on `errors`.
  BatchUi(std::deque<std::string> answers, std::FILE* errors)
      : answers_(std::move(answers)), errors_(errors) {}

  // Reads the file named by SETUP_ANSWERS; none when it is unset or unreadable.
  static std::deque<std::string> ReadAnswers(const char* path);

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const std::function<void(const std::string&)>& on_ok) override;
  void ShowMessageBox(const std::string&, std::uint32_t) override {}
  int ShowFinishDialog(const std::string& title) override;
  int ShowDiskDialog(const std::string& title, const std::string& text) override;
  int ShowMessageDialog(const std::string& text) override;
  void SetProgressRange(int) override {}
  void SetProgressPos(int) override {}
  void PumpMessages() override {}

 private:
  // The next answer: kIdOk or kIdCancel, `fallback` when none is left. For SetupDialog a
  // line "OK <destination>" replaces `value`.
  int Next(int fallback, const char* dialog, std::string* value = nullptr);

  std::deque<std::string> answers_;
  std::FILE* errors_;
};

}  // namespace setup

#endif  // SETUP_APP_BATCH_BATCH_UI_H_
