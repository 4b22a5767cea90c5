#include "script/run_state.h"

#include "textcopy/text_filter.h"

namespace setup {

RunState::RunState(System& system, Ui& ui)
    : system(system),
      ui(ui),
      reporter(system, ui),
      script(system, reporter, script_path, line_number) {}

RunState::~RunState() = default;

bool RunState::DefineMacro(std::string_view name, std::string_view value) {
  constexpr std::size_t kLimit = MacroTable::kFieldSize - 1;
  if (macros.Define(CutText(system, name, kLimit), CutText(system, value, kLimit)) ==
      MacroTable::DefineResult::kFull) {
    script.ReportScriptError("置換語句が多すぎます %d以下にして下さい", {MacroTable::kMaxRows});
    return false;
  }
  return true;
}

TextFilter& RunState::text_filter() {
  if (!text_filter_) text_filter_ = std::make_unique<TextFilter>(system, macros, reporter);
  return *text_filter_;
}

}  // namespace setup
