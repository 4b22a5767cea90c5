#include "script/checker.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "script/actions.h"
#include "script/check_walk.h"

namespace setup {
namespace {

// `n` with a comma between each group of three digits, as the findings write sizes.
std::string Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

}  // namespace

std::vector<Finding> Checker::Check() {
  bool loaded_script = Load();
  std::unique_ptr<InputFile> file;
  if (system_.OpenForReading(loaded().path, &file).ok()) editor_lines_.Read(*file, loaded().store);
  if (loaded_script) {
    CheckEncoding();
    Walk();
  }
  std::vector<Finding> findings;
  for (Pending& pending : findings_) {
    Finding f = std::move(pending.finding);
    if (f.line > 0) {
      int editor = pending.numbering == Numbering::kRead     ? editor_lines_.OfRead(f.line)
                   : pending.numbering == Numbering::kStored ? editor_lines_.OfStored(f.line)
                                                             : f.line;
      if (editor != f.line) {
        f.text += " (the run's messages count this line as line " + std::to_string(f.line) + ")";
      }
      f.line = editor;
    }
    f.text = EscapeControls(f.text);
    findings.push_back(std::move(f));
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return findings;
}

// Loads the script as start-up does, with the built-in macros that a check knows, and
// turns the pre-scan's faults into warnings.
bool Checker::Load() {
  CommandContext& run = cx();
  run.macros.Clear();
  run.DefineMacro("$$WINDOWS$$", kUnknown);
  run.DefineMacro("$$SYSTEM$$", kUnknown);
  run.DefineMacro("$$FD$$", loaded().program_dir);
  Status stored = LoadScriptFile(*run_, script_path_);
  ui_.messages.clear();
  if (!stored.ok()) {
    if (stored.Is(StatusKind::kTooLong)) {
      Add(Finding::Severity::kError, stored.line(),
          "script too large: over " + Grouped(ScriptStore::kSize) + " bytes");
    } else if (stored.Is(StatusKind::kReadError)) {
      Add(Finding::Severity::kError, 0, "cannot read the script");
    } else {
      Add(Finding::Severity::kError, 0, "cannot open the script");
    }
    return false;
  }
  for (const LoadedScript::PreScanFault& f : loaded().prescan_faults) {
    std::string what = std::string(CommandWord(f.keyword)) + ": the " +
                       (f.keyword == kWindowTitle ? "title" : "argument");
    if (f.fault == ArgumentFault::kNoClosingQuote) {
      Add(Finding::Severity::kWarning, f.line, what + " has no closing quote");
    } else {
      Add(Finding::Severity::kWarning, f.line,
          what + " must be followed by a blank or a tab, or be quoted (the TAB rule)");
    }
  }
  run.DefineMacro("$$SETUPDIR$$", kSetupDirValue);
  return true;
}

// One warning, at the first line that is not code page 932 text: a run reads it byte for
// byte, and what it shows and writes is then garbled. A byte-order mark is the error of
// the line it begins.
void Checker::CheckEncoding() {
  const std::vector<std::string>& texts = editor_lines_.texts();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i == 0 && BeginsWithByteOrderMark(texts[0])) continue;
    std::string why = NotCodePageText(encoding_, texts[i]);
    if (!why.empty()) {
      findings_.push_back({{static_cast<int>(i) + 1, Finding::Severity::kWarning,
                            "the script is not code page 932 text: " + why +
                                "; save it as code page 932 (Shift_JIS)"},
                           Numbering::kEditor});
      return;
    }
  }
}

void Checker::Walk() {
  numbering_ = Numbering::kStored;
  CommandContext& run = cx();
  Facts start;
  for (int r = 0; r < run.macros.count(); ++r) {
    start.macros.push_back({run.macros.row(r).name, run.macros.row(r).value, true});
  }
  start.min_rows = run.macros.count();
  table_macros_ = start.macros;
  LineWalker walker(loaded().store, run.macros, run.line_number);
  std::size_t raw_offset = 0;
  char raw[kWorkLineSize];
  Flow flow;
  flow.running = start;
  bool in_dead_stretch = false;
  while (walker.Next()) {
    loaded().store.LineAt(&raw_offset, raw, sizeof raw);  // the walker's line, as stored
    bool runs = flow.running.has_value();
    KeywordId stored = walker.too_long() ? kNoKeyword : walker.StoredRow().id;
    // Reached only with other files, the next line is reached so too, unless this one jumps.
    bool otherwise = !runs && flow.otherwise && stored != kGoto && stored != kErrorExit;
    if (!runs && !flow.otherwise) {
      bool acts = walker.too_long() || DoesSomething(stored);
      if (acts && !in_dead_stretch) {
        Warning("this line is never run: a Goto or ErrorExit before it always jumps or stops");
        in_dead_stretch = true;
      }
    } else {
      in_dead_stretch = false;
    }
    if (!flow.reached()) {
      flow.otherwise = otherwise;
      continue;
    }
    LoadMacros(runs ? *flow.running : *flow.skipping.begin()->second.facts);
    if (!ExpandLine(walker, raw)) continue;
    char* cursor = walker.cursor();
    Flow next;
    next.otherwise = otherwise;
    if (walker.row().id == kLabelLine) {
      LabelLine(cursor, flow, &next);
    } else {
      next.skipping = std::move(flow.skipping);
      if (runs && !MayHoldDroppedMacro(cursor)) {
        if (DoesSomething(walker.row().id)) WarnMacroTypos(cursor, *flow.running);
        Outcome outcome = CheckCommand(cursor, *flow.running);
        next.otherwise = outcome.otherwise;
        if (outcome.next) next.Run(*outcome.next);
        for (auto& [label, facts] : outcome.skips) {
          next.SkipTo(label, {std::make_shared<const Facts>(std::move(facts)), {line()}});
        }
      } else if (runs) {
        next.Run(*flow.running);
      }
    }
    flow = std::move(next);
  }
  ReportUnresolvedGotos(flow);
}

// Expands the walker's line (`raw` as stored); false, with its finding, when the line
// cannot be run. Unknown values count at their shortest: empty.
bool Checker::ExpandLine(LineWalker& walker, const char* raw) {
  LineFault fault = walker.Expand();
  if (fault == LineFault::kNone) return true;
  std::string limit = std::to_string(kWorkLineSize - 1);
  if (fault == LineFault::kTooLong) {
    Error("line too long: over " + limit + " bytes");
    return false;
  }
  // Every byte of the line may expand to a whole value.
  std::string wide(kWorkLineSize * MacroTable::kFieldSize, '\0');
  std::size_t length = 0;
  cx().macros.Expand(raw, std::strlen(raw), wide.data(), wide.size(), &length);
  auto known = std::count_if(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(length),
                             [](char c) { return !IsUnknownByte(c); });
  if (static_cast<std::size_t>(known) >= kWorkLineSize) {
    Error("line too long after macro expansion: over " + limit + " bytes");
  } else {
    Warning("line may be too long after macro expansion: over " + limit +
            " bytes unless its unknown values are short");
  }
  return false;
}

// Makes the macro table the one `facts` know. Macros that two paths defined apart may be
// more than the table holds; those over its rows are left out, and a line that may name
// one is not looked at.
void Checker::LoadMacros(const Facts& facts) {
  if (facts.macros == table_macros_) return;
  table_macros_ = facts.macros;
  dropped_macros_.clear();
  cx().macros.Clear();
  for (const KnownMacro& m : facts.macros) {
    if (cx().macros.Define(m.name, m.value) == MacroTable::DefineResult::kFull) {
      dropped_macros_.push_back(m.name);
    }
  }
}

bool Checker::MayHoldDroppedMacro(const char* line) const {
  return std::any_of(dropped_macros_.begin(), dropped_macros_.end(),
                     [&](const std::string& name) { return std::strstr(line, name.c_str()); });
}

void Checker::WarnMacroTypos(const char* line, const Facts& facts) {
  for (const MacroTypo& typo : FindMacroTypos(line, facts.macros)) {
    std::string text = Utf8(typo.word) + " is no macro here; the run keeps the text as it is";
    if (!typo.suggestion.empty()) text += " (did you mean " + Utf8(typo.suggestion) + "?)";
    Warning(text);
  }
}

// A label line: where a Goto's search may end, and otherwise nothing.
void Checker::LabelLine(char* cursor, Flow& flow, Flow* next) {
  const char* name = nullptr;
  LabelFault fault = CutLabel(cx().script, kLabelLine, cursor, &name);
  std::string label = name;
  bool searched = !flow.skipping.empty();
  // Every run that passes the line is searching, for a Goto it surely took.
  bool always_searched = searched && !flow.running;
  for (const auto& [wanted, skip] : flow.skipping) {
    for (int goto_line : skip.goto_lines) {
      always_searched = always_searched && uncertain_gotos_.count(goto_line) == 0;
    }
  }
  int outer = uncertain_;
  if (!always_searched) ++uncertain_;  // an error only where every run passing it searches
  if (fault == LabelFault::kEmpty) {
    if (searched) {
      Error("label line without a name: a Goto passing over it stops the run");
    } else {
      Warning("label line without a name");
    }
  } else if (fault == LabelFault::kTooLong) {
    if (searched) {
      Error("label over " + std::to_string(kLabelSize - 1) +
            " bytes: a Goto passing over it stops the run");
    }
  }
  uncertain_ = outer;
  if (fault == LabelFault::kNone) {
    labels_.push_back({line(), label});
    if (goto_labels_.count(label) == 0) {
      Warning("label " + Utf8(label) + " is never jumped to");
    }
    for (auto& [wanted, skip] : flow.skipping) {
      if (wanted == label) {
        next->Run(*skip.facts);
      } else {
        next->SkipTo(wanted, std::move(skip));
      }
    }
  }
  if (flow.running) next->Run(*flow.running);
}

Outcome Checker::CheckCommand(char* cursor, const Facts& facts) {
  Outcome out;
  const KeywordRow& row = ClassifyRow(cursor);
  KeywordId id = row.id;
  char* args = StepOverKeyword(cursor, row);
  out.next = facts;
  if (id == kNoKeyword && BeginsWithByteOrderMark(cursor)) {
    Error(
        "not a command: the script begins with a UTF-8 byte-order mark; save it as code page "
        "932 (Shift_JIS) without one");
    return out;
  }
  if (id == kNoKeyword) {
    std::string word(cursor, std::strcspn(cursor, " \t"));
    Error("not a command: " + Utf8(word));
    return out;
  }
  if (row.misplaced != nullptr) {
    Error(row.misplaced);
    return out;
  }
  if ((row.flags & kEndsRun) != 0) {
    if ((row.flags & kShowsQuotes) != 0 && *args == '"') {
      Warning(std::string(CommandWord(id)) + ": the quotes are shown as they are");
    }
    out.next.reset();  // the run ends here
    return out;
  }
  if (row.check == CheckKind::kCopiesNothing) {
    Warning(std::string(CommandWord(id)) +
            " copies nothing: the program always runs in the Japanese mode");
    return out;
  }
  if (row.handler == nullptr && id != kGoto) return out;  // nothing a run does here
  Arguments a;
  if (!CutArguments(cx().script, id, args, &a)) {
    ReportCutFault(id, a);
    return out;
  }
  WarnUnquotedSetupDir(row, a);
  if ((row.flags & kCondition) != 0) {
    CheckCondition(row, a, facts, &out);
  } else {
    CheckArguments(row, a, facts, &out);
  }
  return out;
}

void Checker::ReportCutFault(KeywordId id, const Arguments& a) {
  std::string name = std::string(CommandWord(id)) + ": the " + a.fault_argument;
  switch (a.fault) {
    case ArgumentFault::kMissing: Error(name + " is missing"); break;
    case ArgumentFault::kNoClosingQuote: Error(name + " has no closing quote"); break;
    default:
      // A quoted comparison word would be an operand, not a comparison word.
      Error(name + (std::strcmp(a.fault_argument, "comparison word") == 0
                        ? " must be followed by a blank or a tab (the TAB rule)"
                        : " must be followed by a blank or a tab, or be quoted (the TAB rule)"));
      break;
  }
}

void Checker::CheckArguments(const KeywordRow& row, Arguments& a, const Facts& facts,
                             Outcome* out) {
  out->next = facts;
  std::string name = CommandWord(row.id);
  if (a.ignored != nullptr) {
    Warning(name + ": the text after the " + a.ignored_after + " is ignored: " + Utf8(a.ignored) +
            " (quote the " + a.ignored_after + " if it holds blanks)");
  }
  if ((row.flags & kShowsQuotes) != 0 && *a.rest == '"') {
    Warning(name + ": the quotes are shown as they are");
  }
  if (row.check == CheckKind::kByteCopy || row.check == CheckKind::kTextCopy) {
    WarnRelativeSource(row.id, a.token[0]);
  }
  switch (row.check) {
    case CheckKind::kGoto: CheckGoto(a.token[0], facts, out); break;
    case CheckKind::kDefine: Define(a.token[0], a.rest, &*out->next); break;
    case CheckKind::kByteCopy:
    case CheckKind::kTextCopy: CheckCopy(row, a, facts, out); break;
    case CheckKind::kDirectory: CheckDirectory(a.token[0], out); break;
    case CheckKind::kDiskFile: CheckDiskFile(a.token[0], out); break;
    case CheckKind::kComponent: CheckSource(row.id, a.token[0], facts); break;
    default: break;
  }
}

void Checker::CheckGoto(const char* label, const Facts& facts, Outcome* out) {
  LabelFault fault = FaultOfLabel(label);
  if (fault == LabelFault::kEmpty) {
    Error("Goto: the label is missing");
  } else if (fault == LabelFault::kTooLong) {
    Error("Goto: the label is over " + std::to_string(kLabelSize - 1) + " bytes");
  } else {
    goto_labels_.insert(label);
    out->next.reset();
    out->skips.push_back({label, facts});
    if (uncertain_ > 0) uncertain_gotos_.insert(line());
  }
}

}  // namespace setup
