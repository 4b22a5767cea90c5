// The batch front end: no windows; each dialog that asks takes the next line of the
// answers file. Without a file, or when its lines are used up, SetupDialog, MessageDialog
// and FinishDialog answer OK and DiskDialog CANCEL (nobody can change a disk). A
// destination the run refuses ends SetupDialog with kIdFailed: nobody can correct it.
#ifndef SETUP_APP_BATCH_BATCH_UI_H_
#define SETUP_APP_BATCH_BATCH_UI_H_

#include <cstddef>
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

  // An answers file holds at most this many bytes; a longer one is refused whole.
  static constexpr std::size_t kAnswersLimit = std::size_t{1} << 20;

  // Reads the answers file `path` (code-page bytes on Windows) into `lines`. The file is
  // opened once, never waiting for a writer, and must be a regular file of at most
  // kAnswersLimit bytes, read to its end: false for a name that cannot be opened, a
  // directory, a device, a FIFO, a read error or a longer file, with `*reason` (when
  // given) saying which: the system's text for its error, "not a regular file" or
  // "larger than 1 MiB". An empty `path` is no file.
  static bool ReadAnswers(const std::string& path, std::deque<std::string>* lines,
                          std::string* reason = nullptr);

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override;
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
