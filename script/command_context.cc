#include "script/command_context.h"

#include "textcopy/text_filter.h"

namespace setup {

CommandContext::CommandContext(System& system, Ui& ui, Encoding& encoding,
                               const LoadedScript& loaded)
    : system(system),
      ui(ui),
      encoding(encoding),
      reporter(encoding, ui),
      loaded(loaded),
      script(encoding, reporter, loaded.path, line_number) {}

CommandContext::~CommandContext() = default;

bool CommandContext::DefineMacro(std::string_view name, std::string_view value) {
  constexpr std::size_t kLimit = MacroTable::kFieldSize - 1;
  if (macros.Define(CutText(encoding, name, kLimit), CutText(encoding, value, kLimit)) ==
      MacroTable::DefineResult::kFull) {
    script.ReportScriptError("置換語句が多すぎます %d以下にして下さい", {MacroTable::kMaxRows});
    return false;
  }
  return true;
}

TextFilter& CommandContext::text_filter() {
  if (!text_filter_) text_filter_ = std::make_unique<TextFilter>(system, macros);
  return *text_filter_;
}

}  // namespace setup
