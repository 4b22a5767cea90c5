// The user-interface services the core calls: the only way it talks to a person.
// Every text is UTF-8. Implemented by the window front end (app/win32), the batch front
// end (app/batch) and, for the unit tests, an in-memory fake.
#ifndef SETUP_PLATFORM_UI_H_
#define SETUP_PLATFORM_UI_H_

#include <cstdint>
#include <functional>
#include <string>

namespace setup {

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
// SetupDialog could not be shown (no window could be made), or a front end that cannot
// ask again was given a destination the run refused: nobody answered.
inline constexpr int kIdFailed = -1;

// Message box styles the program uses.
inline constexpr std::uint32_t kMbOk = 0;
inline constexpr std::uint32_t kMbTopmost = 0x40000;
inline constexpr std::uint32_t kMbInformationTopmost = 0x40040;

// SetupDialog's OK: answers whether the destination handed to it was accepted. A refused
// destination has been reported with one ShowMessageBox and nothing else has happened;
// an accepted one has been used by a run, whose first call was SetProgressRange.
using DestinationAccepted = std::function<bool(const std::string&)>;

class Ui {
 public:
  virtual ~Ui() = default;

  // Shows SetupDialog modally with `title` as caption and `destination` in its edit
  // field. OK calls `on_ok` with the edit field's text while the dialog is still open
  // (its progress bar moves); a second OK, Cancel or close while `on_ok` runs is ignored.
  // When `on_ok` accepts the text the dialog closes and answers kIdOk; when it refuses,
  // the window stays open for the person to correct the field (the terminal asks again),
  // and a front end that cannot ask again (batch) answers kIdFailed. Answers kIdCancel
  // when cancelled, kIdFailed when the dialog could not be shown.
  virtual int ShowSetupDialog(const std::string& title, const std::string& destination,
                              const DestinationAccepted& on_ok) = 0;
  // A message box with the button OK; the caption is the program file's name.
  virtual void ShowMessageBox(const std::string& text, std::uint32_t style) = 0;
  virtual int ShowFinishDialog(const std::string& title) = 0;
  virtual int ShowDiskDialog(const std::string& title, const std::string& text) = 0;
  virtual int ShowMessageDialog(const std::string& text) = 0;
  // SetupDialog's progress bar: the range 0 to `max` (16 bits), then positions.
  virtual void SetProgressRange(int max) = 0;
  virtual void SetProgressPos(int pos) = 0;
  // Dispatches every pending window message of the thread.
  virtual void PumpMessages() = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_UI_H_
