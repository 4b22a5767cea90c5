#include "script/run_state.h"

#include "textcopy/text_filter.h"

namespace setup {

RunState::RunState(System& system, Ui& ui) : system(system), ui(ui) {}

RunState::~RunState() = default;

void RunState::ShowMessage(std::string_view format_utf8, std::initializer_list<MessageArg> args,
                           std::uint32_t style, std::size_t limit) {
  ui.ShowMessageBox(FormatMessage(system, format_utf8, args, limit), style);
}

bool RunState::DefineMacro(std::string_view name, std::string_view value) {
  constexpr std::size_t kLimit = MacroTable::kFieldSize - 1;
  if (macros.Define(CutText(system, name, kLimit), CutText(system, value, kLimit)) ==
      MacroTable::DefineResult::kFull) {
    ShowMessage("置換語句が多すぎます %d以下にして下さい", {MacroTable::kMaxRows});
    return false;
  }
  return true;
}

TextFilter& RunState::text_filter() {
  if (!text_filter_) text_filter_ = std::make_unique<TextFilter>();
  return *text_filter_;
}

}  // namespace setup
