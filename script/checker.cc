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
  if (Load()) Walk();
  std::stable_sort(findings_.begin(), findings_.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return std::move(findings_);
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
  run.DefineMacro("$$SETUPDIR$$", kUnknown);
  return true;
}

void Checker::Walk() {
  CommandContext& run = cx();
  LineWalker walker(loaded().store, run.macros, run.line_number);
  Flow flow;
  flow.running = Facts();
  bool in_dead_stretch = false;
  while (walker.Next()) {
    bool runs = flow.running.has_value();
    if (!runs) {
      bool acts = walker.too_long() || DoesSomething(walker.StoredRow().id);
      if (acts && !in_dead_stretch) {
        Warning("this line is never run: a Goto or ErrorExit before it always jumps or stops");
        in_dead_stretch = true;
      }
      if (!flow.reached()) continue;
    } else {
      in_dead_stretch = false;
    }
    LineFault fault = walker.Expand();
    if (fault == LineFault::kTooLong) {
      Error("line too long: over " + std::to_string(kWorkLineSize - 1) + " bytes");
      continue;
    }
    if (fault == LineFault::kExpandedTooLong) {
      Error("line too long after macro expansion: over " + std::to_string(kWorkLineSize - 1) +
            " bytes");
      continue;
    }
    char* cursor = walker.cursor();
    Flow next;
    if (walker.row().id == kLabelLine) {
      LabelLine(cursor, flow, &next);
    } else {
      for (const auto& [label, skip] : flow.skipping)
        next.SkipTo(label, skip.facts, skip.goto_lines);
      if (runs) {
        Outcome outcome = CheckCommand(cursor, *flow.running);
        if (outcome.next) next.Run(*outcome.next);
        for (const auto& [label, facts] : outcome.skips) next.SkipTo(label, facts, {line()});
      }
    }
    flow = std::move(next);
  }
  ReportUnresolvedGotos(flow);
}

// A label line: where a Goto's search may end, and otherwise nothing.
void Checker::LabelLine(char* cursor, const Flow& flow, Flow* next) {
  const char* name = nullptr;
  LabelFault fault = CutLabel(cx().script, kLabelLine, cursor, &name);
  std::string label = name;
  bool searched = !flow.skipping.empty();
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
  } else {
    labels_.push_back({line(), label});
    if (goto_labels_.count(label) == 0) {
      Warning("label " + Utf8(label) + " is never jumped to");
    }
    for (const auto& [wanted, skip] : flow.skipping) {
      if (wanted == label) {
        next->Run(skip.facts);
      } else {
        next->SkipTo(wanted, skip.facts, skip.goto_lines);
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
    case CheckKind::kDefine: Define(a.token[0], a.rest); break;
    case CheckKind::kByteCopy:
    case CheckKind::kTextCopy: CheckCopy(row, a, facts, out); break;
    case CheckKind::kDirectory:
      if (*a.token[0] == '\0') Error(name + ": the directory name is missing");
      break;
    case CheckKind::kDiskFile: CheckDiskFile(a.token[0]); break;
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
  }
}

void Checker::CheckCopy(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out) {
  KeywordId id = row.id;
  std::string name = CommandWord(id);
  if (row.check == CheckKind::kByteCopy) {
    if (*a.token[1] == '\0') Error(name + ": the destination is missing");
    Copied(a.token[1], out);
    CheckSource(id, a.token[0], facts);
    // Windows refuses to copy a file onto itself, whatever the letter case.
    if (std::strchr(a.token[0], kUnknown[0]) == nullptr && *a.token[0] != '\0' &&
        Fold(a.token[0]) == Fold(a.token[1])) {
      Error(name + ": the destination is the source itself");
    }
    return;
  }
  if (*a.rest == '\0') {
    Error(name + ": the destination is missing");
  } else if (*a.rest == '"') {
    Error(name + ": the destination keeps its quotes; write it without quotes");
  }
  if (CheckSource(id, a.token[0], facts)) CheckTextSource(id, a.token[0]);
  Copied(a.rest, out);
}

// As the run looks for the disk's file.
void Checker::CheckDiskFile(const char* file) {
  std::string path = loaded().program_dir + "\\" + file;
  std::uint32_t mtime = 0;
  if (path.size() > kDiskCheckPathLimit) {
    Error("DiskCheck: the path is over " + std::to_string(kDiskCheckPathLimit) +
          " bytes: the disk is never found");
  } else if (!other_disk_ && !system_.GetFileStatus(path, &mtime).ok()) {
    other_disk_ = true;  // from here on the program directory may be another disk
  }
}

void Checker::CheckCondition(const KeywordRow& row, Arguments& a, const Facts& facts,
                             Outcome* out) {
  const char* sense = a.token[a.count - 1];
  bool inverts = sense[0] == 'E' || sense[0] == 'e';
  Facts holds = facts;
  Facts fails = facts;
  if (row.check == CheckKind::kFileFind && std::strchr(a.token[0], kUnknown[0]) == nullptr) {
    (inverts ? fails : holds).insert(Fold(a.token[0]));
  }
  if (row.check == CheckKind::kDefineFound) Define(a.token[0], kUnknown);
  bool decidable = row.check == CheckKind::kDecidable;
  if ((decidable || row.check == CheckKind::kCompares) && a.op == CompareOp::kNone) {
    Warning(std::string(CommandWord(row.id)) + " without a comparison word: the test never holds");
  }
  // Two texts that hold nothing unknown decide the same way in every run.
  if (decidable && std::strchr(a.token[0], kUnknown[0]) == nullptr &&
      std::strchr(a.token[1], kUnknown[0]) == nullptr) {
    if (!TestString(a.token[0], a.token[1], a.op, sense)) {
      out->next = fails;
      return;
    }
    *out = CheckCommand(SkipBlanks(a.rest), holds);
    return;
  }
  *out = CheckCommand(SkipBlanks(a.rest), holds);
  out->next = out->next ? Intersect(*out->next, fails) : fails;
}

void Checker::Define(const char* name, const char* value) {
  if (!cx().DefineMacro(name, value)) {
    Error("too many macros: the table holds " + std::to_string(MacroTable::kMaxRows) +
          " names, the four built-ins included");
  }
}

}  // namespace setup
