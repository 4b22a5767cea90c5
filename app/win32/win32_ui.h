// The window front end: SetupDialog and the three dialogs a run raises, built from the
// dialog templates of res/Setup.rc with plain Win32 dialog boxes, and message boxes.
// Texts arrive as UTF-8 and are shown through the UTF-16 (W) functions. Each dialog and
// message box opens with the thread's queued keyboard and mouse input discarded.
#ifndef SETUP_APP_WIN32_WIN32_UI_H_
#define SETUP_APP_WIN32_WIN32_UI_H_

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui.h"
#include "platform/win32/windows_headers.h"

namespace setup {

class Win32Ui : public Ui {
 public:
  // `instance` holds the resources; `caption` is the message boxes' caption.
  Win32Ui(HINSTANCE instance, std::wstring caption);
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;

  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override;
  // Owned by SetupDialog while it is open, so that it is disabled meanwhile.
  void ShowMessageBox(const std::string& text, std::uint32_t style) override;
  int ShowFinishDialog(const std::string& title) override;
  int ShowDiskDialog(const std::string& title, const std::string& text) override;
  int ShowMessageDialog(const std::string& text) override;
  // Ignored while SetupDialog is not open.
  void SetProgressRange(int max) override;
  void SetProgressPos(int pos) override;
  // Removes and dispatches every pending message of the thread, without translation.
  void PumpMessages() override;

 private:
  struct SetupDialogState;
  struct SimpleDialogState;

  static INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  static INT_PTR CALLBACK SimpleDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void InitSetupDialog(HWND dialog, const SetupDialogState& state);
  bool PaintMinimised(HWND dialog);
  // Shows one of the secondary templates over SetupDialog; kIdOk or kIdCancel.
  int ShowSimpleDialog(int template_id, SimpleDialogState* state);

  HINSTANCE instance_;
  std::wstring caption_;
  HICON icon_;
  HWND setup_dialog_ = nullptr;
  HWND progress_ = nullptr;
};

}  // namespace setup

#endif  // SETUP_APP_WIN32_WIN32_UI_H_
