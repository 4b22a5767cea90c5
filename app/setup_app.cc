#include "app/setup_app.h"

#include "textcopy/text_filter.h"

namespace setup {

SetupApp::SetupApp(System& system, Ui& ui) : system(system), ui(ui) {}

SetupApp::~SetupApp() = default;

void SetupApp::ShowMessage(std::string_view format_utf8, std::initializer_list<MessageArg> args,
                           std::uint32_t style, std::size_t limit) {
  ui.ShowMessageBox(FormatMessage(system, format_utf8, args, limit), style);
}

bool SetupApp::DefineMacro(std::string_view name, std::string_view value) {
  constexpr std::size_t kLimit = MacroTable::kFieldSize - 1;
  if (macros.Define(CutText(system, name, kLimit), CutText(system, value, kLimit)) ==
      MacroTable::DefineResult::kFull) {
    ShowMessage("置換語句が多すぎます %d以下にして下さい", {MacroTable::kMaxRows});
    return false;
  }
  return true;
}

TextFilter& SetupApp::text_filter() {
  if (!text_filter_) text_filter_ = std::make_unique<TextFilter>();
  return *text_filter_;
}

}  // namespace setup
