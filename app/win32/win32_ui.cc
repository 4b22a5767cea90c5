#include "app/win32/win32_ui.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/win32/console_output.h"
#include "app/win32/icon_layout.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/wide_text.h"
#include "res/resource.h"

namespace setup {

struct Win32Ui::SetupDialogState {
  Win32Ui* ui;
  std::wstring title;
  std::wstring destination;
  const DestinationAccepted* on_ok;
  // Set from OK until the dialog has ended: a second OK, a Cancel or the close box that
  // arrives meanwhile (the registration wait dispatches messages) is ignored.
  bool running = false;
};

struct Win32Ui::SimpleDialogState {
  const std::wstring* caption;  // null: the template's own
  int text_id;                  // 0: no text control
  std::wstring text;
};

namespace {

int AnswerOf(INT_PTR result) { return result == IDOK ? kIdOk : kIdCancel; }

// No answer before the question: the keys and clicks still queued for the thread when a
// dialog or message box opens were meant for what was on screen before it (typed during a
// step that read no message); they are removed unread, so that none of them presses a
// button of the window about to open. Queued messages of other kinds stay.
void DiscardQueuedInput() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, buffer.data(), length + 1);
  return std::wstring(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

}  // namespace

Win32Ui::Win32Ui(HINSTANCE instance, std::wstring caption)
    : instance_(instance),
      caption_(std::move(caption)),
      icon_(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))) {
  InitProgressControl();
}

int Win32Ui::ShowSetupDialog(const std::string& title, const std::string& destination,
                             const DestinationAccepted& on_ok) {
  SetupDialogState state{this, WideFromUtf8(title), WideFromUtf8(destination), &on_ok};
  DiscardQueuedInput();
  INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_SETUP_DIALOG), nullptr,
                                   SetupDialogProc, reinterpret_cast<LPARAM>(&state));
  DWORD error = GetLastError();
  setup_dialog_ = nullptr;
  progress_ = nullptr;
  if (result == 0 || result == -1) {
    // No window could be made (the dialog itself ends with IDOK or IDCANCEL only): say so
    // where the starter can read it, since no window can show it.
    WriteToStarter(Utf8FromWide(caption_) + ": SetupDialog could not be opened (error " +
                       std::to_string(error) + ")\n",
                   StarterStream::kError);
    return kIdFailed;
  }
  return AnswerOf(result);
}

void Win32Ui::InitSetupDialog(HWND dialog, const SetupDialogState& state) {
  setup_dialog_ = dialog;
  progress_ = GetDlgItem(dialog, IDC_PROGRESS);
  SetDlgItemTextW(dialog, IDC_DESTINATION, state.destination.c_str());
  SetWindowTextW(dialog, state.title.c_str());
  wchar_t about[256] = {};
  if (LoadStringW(instance_, IDS_ABOUTBOX, about, 256) > 0) {
    HMENU menu = GetSystemMenu(dialog, FALSE);
    if (menu) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
}

bool Win32Ui::PaintMinimised(HWND dialog) {
  if (!IsIconic(dialog)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(dialog, &client);
  int x = CentredIconOrigin(client.right - client.left, GetSystemMetrics(SM_CXICON));
  int y = CentredIconOrigin(client.bottom - client.top, GetSystemMetrics(SM_CYICON));
  DrawIcon(dc, x, y, icon_);
  EndPaint(dialog, &paint);
  return true;
}

INT_PTR CALLBACK Win32Ui::SetupDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* state = reinterpret_cast<SetupDialogState*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    state->ui->InitSetupDialog(dialog, *state);
    return TRUE;  // the focus goes to the first tab stop, OK
  }
  auto* state = reinterpret_cast<SetupDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!state) return FALSE;
  switch (message) {
    case WM_PAINT: return state->ui->PaintMinimised(dialog) ? TRUE : FALSE;
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(state->ui->icon_);
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK: {
          if (state->running) return TRUE;
          state->running = true;
          HWND field = GetDlgItem(dialog, IDC_DESTINATION);
          if (!(*state->on_ok)(Utf8FromWide(WindowText(field)))) {
            // Refused, with a message: the person corrects the field.
            state->running = false;
            SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
            return TRUE;
          }
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          if (!state->running) EndDialog(dialog, IDCANCEL);
          return TRUE;
        default: return FALSE;
      }
    case WM_DESTROY:
      state->ui->setup_dialog_ = nullptr;
      state->ui->progress_ = nullptr;
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK Win32Ui::SimpleDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<SimpleDialogState*>(lparam);
      // The bound text replaces the template's placeholder, even when it is empty.
      if (state->text_id != 0) SetDlgItemTextW(dialog, state->text_id, state->text.c_str());
      if (state->caption) SetWindowTextW(dialog, state->caption->c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

int Win32Ui::ShowSimpleDialog(int template_id, SimpleDialogState* state) {
  DiscardQueuedInput();
  INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(template_id), setup_dialog_,
                                   SimpleDialogProc, reinterpret_cast<LPARAM>(state));
  return AnswerOf(result);
}

void Win32Ui::ShowMessageBox(const std::string& text, std::uint32_t style) {
  DiscardQueuedInput();
  MessageBoxW(setup_dialog_, WideFromUtf8(text).c_str(), caption_.c_str(), style);
}

int Win32Ui::ShowFinishDialog(const std::string& title) {
  std::wstring caption = WideFromUtf8(title);
  SimpleDialogState state{&caption, 0, std::wstring()};
  return ShowSimpleDialog(IDD_FINISH_DIALOG, &state);
}

int Win32Ui::ShowDiskDialog(const std::string& title, const std::string& text) {
  std::wstring caption = WideFromUtf8(title);
  SimpleDialogState state{&caption, IDC_DISK_TEXT, WideFromUtf8(text)};
  return ShowSimpleDialog(IDD_DISK_DIALOG, &state);
}

int Win32Ui::ShowMessageDialog(const std::string& text) {
  SimpleDialogState state{nullptr, IDC_MESSAGE_TEXT, WideFromUtf8(text)};
  return ShowSimpleDialog(IDD_MESSAGE_DIALOG, &state);
}

void Win32Ui::SetProgressRange(int max) {
  if (!progress_) return;
  SendMessageW(progress_, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(max)));
}

void Win32Ui::SetProgressPos(int pos) {
  if (!progress_) return;
  SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32Ui::PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace setup
