#include "script/checker.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "platform/ui.h"
#include "script/arguments.h"
#include "script/check_capture.h"
#include "script/check_flow.h"
#include "script/conditions.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "script/loader.h"
#include "script/run_state.h"
#include "script/startup.h"
#include "text/text_reader.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

// The value of every macro that only a run knows. The byte 0x01 means nothing to the
// lexer or to the text filter, so cutting is unchanged, and a text that holds it is taken
// as unknown.
constexpr char kUnknown[] = "\x01";

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsCondition(KeywordId id) {
  return id == kIfFileVersion || id == kIfProductVersion || id == kIfFileDate ||
         id == kIfFileFind || id == kDefineRegistry || id == kIfString || id == kIfRegistryFind;
}

// Lines that do something when they are run.
bool DoesSomething(KeywordId id) {
  return id != kEmptyLine && id != kCommentLine && id != kLabelLine;
}

class Checker {
 public:
  Checker(System& system, std::string program_dir, std::string script_path)
      : run_(std::make_unique<RunState>(system, ui_)), system_(system) {
    ui_.run = run_.get();
    run_->program_dir = std::move(program_dir);
    run_->script_path = std::move(script_path);
  }

  std::vector<Finding> Check();

 private:
  bool Load();
  void Walk();
  void LabelLine(char* cursor, const Flow& flow, Flow* next);
  Outcome CheckCommand(char* cursor, const Facts& facts);
  void ReportCutFault(KeywordId id, const Arguments& a);
  void CheckArguments(KeywordId id, Arguments& a, const Facts& facts, Outcome* out);
  void CheckCondition(KeywordId id, Arguments& a, const Facts& facts, Outcome* out);
  bool CheckSource(KeywordId id, const char* source, const Facts& facts);
  bool InProgramDirectory(std::string_view path) const;
  void WarnRelativeSource(KeywordId id, const char* source);
  void CheckTextSource(KeywordId id, const char* source);
  void ReportUnresolvedGotos(const Flow& flow);
  // A copy that did not stop the run left its destination behind.
  // Windows drops trailing blanks and dots of a file name.
  static void Copied(std::string_view destination, Outcome* out) {
    while (!destination.empty() && std::strchr(" \t.", destination.back()) != nullptr) {
      destination.remove_suffix(1);
    }
    if (!destination.empty() && destination.find(kUnknown[0]) == std::string_view::npos) {
      out->next->insert(FoldPath(destination));
    }
  }
  void Define(const char* name, const char* value);
  std::map<int, KeywordId> KeywordsOfStoredLines(const std::vector<CaptureUi::Message>& messages);

  void Add(Finding::Severity severity, int line, std::string text) {
    findings_.push_back({line, severity, std::move(text)});
  }
  void Error(std::string text) { Add(Finding::Severity::kError, line(), std::move(text)); }
  void Warning(std::string text) { Add(Finding::Severity::kWarning, line(), std::move(text)); }
  int line() const { return run_->line_number; }
  std::string Utf8(std::string_view bytes) { return system_.ToUtf8(bytes); }

  CaptureUi ui_;
  std::unique_ptr<RunState> run_;
  System& system_;
  std::vector<Finding> findings_;
  std::set<std::string> goto_labels_;                 // named by a Goto reached so far
  std::vector<std::pair<int, std::string>> labels_;  // label lines reached so far
  bool other_disk_ = false;  // a DiskCheck may have asked for a disk not at hand
};

std::vector<Finding> Checker::Check() {
  if (Load()) Walk();
  std::stable_sort(findings_.begin(), findings_.end(),
                   [](const Finding& a, const Finding& b) { return a.line < b.line; });
  return std::move(findings_);
}

// Loads the script as start-up does, with the built-in macros that a check knows, and
// turns the pre-scan's messages into warnings.
bool Checker::Load() {
  RunState& run = *run_;
  run.macros.Clear();
  run.DefineMacro("$$WINDOWS$$", kUnknown);
  run.DefineMacro("$$SYSTEM$$", kUnknown);
  run.DefineMacro("$$FD$$", run.program_dir);
  bool loaded = LoadScriptFile(run, run.script_path);
  std::vector<CaptureUi::Message> messages = std::move(ui_.messages);
  ui_.messages.clear();
  if (!loaded) {
    std::string_view text = messages.empty() ? std::string_view() : messages.back().text;
    if (EndsWith(text, "file is too large.")) {
      Add(Finding::Severity::kError, run.store.line_count() + 1, "script too large: over 65,536 bytes");
    } else if (text.substr(0, 10) == "Can't read") {
      Add(Finding::Severity::kError, 0, "cannot read the script");
    } else {
      Add(Finding::Severity::kError, 0, "cannot open the script");
    }
    return false;
  }
  std::map<int, KeywordId> keywords = KeywordsOfStoredLines(messages);
  for (const CaptureUi::Message& m : messages) {
    KeywordId id = keywords[m.line];
    std::string what = std::string(CommandWord(id)) + ": the " +
                       (id == kWindowTitle ? "title" : "argument");
    if (EndsWith(m.text, "TABが有りません")) {
      Add(Finding::Severity::kWarning, m.line,
          what + " must be followed by a blank or a tab, or be quoted (the TAB rule)");
    } else {
      Add(Finding::Severity::kWarning, m.line, what + " has no closing quote");
    }
  }
  run.DefineMacro("$$SETUPDIR$$", kUnknown);
  return true;
}

// The command words of the stored lines that `messages` name (counted as the pre-scan
// counts), read again with the loader's own reader and line limit.
std::map<int, KeywordId> Checker::KeywordsOfStoredLines(
    const std::vector<CaptureUi::Message>& messages) {
  std::map<int, KeywordId> keywords;
  for (const CaptureUi::Message& m : messages) keywords[m.line] = kNoKeyword;
  std::unique_ptr<InputFile> file = system_.OpenForReading(run_->script_path);
  if (!file || keywords.empty()) return keywords;
  TextReader reader(file.get());
  char text[ScriptStore::kReadLimit];
  int last = keywords.rbegin()->first;
  for (int n = 1; n <= last && reader.ReadLine(text, sizeof text) > 0; ++n) {
    auto it = keywords.find(n);
    if (it != keywords.end()) it->second = ClassifyLine(SkipBlanks(text));
  }
  return keywords;
}

void Checker::Walk() {
  RunState& run = *run_;
  char raw[kWorkLineSize];
  char work[kWorkLineSize];
  Flow flow;
  flow.running = Facts();
  bool in_dead_stretch = false;
  for (run.line_number = 1;; ++run.line_number) {
    ScriptStore::LineResult got = run.store.NextLine(raw, sizeof raw);
    if (got == ScriptStore::LineResult::kEnd) break;
    bool runs = flow.running.has_value();
    if (!runs) {
      bool acts = got == ScriptStore::LineResult::kTooLong || DoesSomething(ClassifyLine(SkipBlanks(raw)));
      if (acts && !in_dead_stretch) {
        Warning("this line is never run: a Goto or ErrorExit before it always jumps or stops");
        in_dead_stretch = true;
      }
      if (!flow.reached()) continue;
    } else {
      in_dead_stretch = false;
    }
    if (got == ScriptStore::LineResult::kTooLong) {
      Error("line too long: over 511 bytes");
      continue;
    }
    if (!run.macros.Expand(raw, work, sizeof work)) {
      Error("line too long after macro expansion: over 511 bytes");
      continue;
    }
    char* cursor = SkipBlanks(work);
    Flow next;
    if (ClassifyLine(cursor) == kLabelLine) {
      LabelLine(cursor, flow, &next);
    } else {
      for (const auto& [label, skip] : flow.skipping) next.SkipTo(label, skip.facts, skip.goto_lines);
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
  Arguments a;
  CutArguments(run_->script, kLabelLine, cursor, &a);
  std::string label = a.token[0];
  bool searched = !flow.skipping.empty();
  if (label.empty()) {
    if (searched) {
      Error("label line without a name: a Goto passing over it stops the run");
    } else {
      Warning("label line without a name");
    }
  } else if (label.size() >= kLabelSize) {
    if (searched) Error("label over 63 bytes: a Goto passing over it stops the run");
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
  KeywordId id = ClassifyLine(cursor);
  char* args = StepOverKeyword(cursor);
  switch (id) {
    case kEmptyLine:
    case kCommentLine:
    case kLabelLine:
    case kSetupDir:
    case kWindowTitle:
      out.next = facts;
      return out;
    case kNoKeyword: {
      std::string word(cursor, std::strcspn(cursor, " \t"));
      Error("not a command: " + Utf8(word));
      out.next = facts;
      return out;
    }
    case kOpEqual:
    case kOpLessEqual:
    case kOpLess:
    case kOpGreaterEqual:
    case kOpGreater:
      Error("a comparison word cannot begin a command");
      out.next = facts;
      return out;
    case kRegistry:
      Error("Registry can only follow SetupDir");
      out.next = facts;
      return out;
    case kErrorExit:
      if (*args == '"') Warning("ErrorExit: the quotes are shown as they are");
      return out;  // the run ends here
    case kEnglishCopy:
      Warning("EnglishCopy copies nothing: the program always runs in the Japanese mode");
      out.next = facts;
      return out;
    default:
      break;
  }
  Arguments a;
  if (!CutArguments(run_->script, id, args, &a)) {
    ReportCutFault(id, a);
    out.next = facts;
    return out;
  }
  if (IsCondition(id)) {
    CheckCondition(id, a, facts, &out);
  } else {
    CheckArguments(id, a, facts, &out);
  }
  return out;
}

void Checker::ReportCutFault(KeywordId id, const Arguments& a) {
  std::string name = std::string(CommandWord(id)) + ": the " + a.fault_argument;
  switch (a.fault) {
    case ArgumentFault::kMissing:
      Error(name + " is missing");
      break;
    case ArgumentFault::kNoClosingQuote:
      Error(name + " has no closing quote");
      break;
    default:
      // A quoted comparison word would be an operand, not a comparison word.
      Error(name + (std::strcmp(a.fault_argument, "comparison word") == 0
                        ? " must be followed by a blank or a tab (the TAB rule)"
                        : " must be followed by a blank or a tab, or be quoted (the TAB rule)"));
      break;
  }
}

void Checker::CheckArguments(KeywordId id, Arguments& a, const Facts& facts, Outcome* out) {
  out->next = facts;
  std::string name = CommandWord(id);
  if (a.ignored != nullptr) {
    Warning(name + ": the text after the " + a.ignored_after + " is ignored: " + Utf8(a.ignored) +
            " (quote the " + a.ignored_after + " if it holds blanks)");
  }
  if (id == kMessage && *a.rest == '"') Warning("Message: the quotes are shown as they are");
  if (id == kBinCopy || id == kTextCopy || id == kJapanCopy) WarnRelativeSource(id, a.token[0]);
  switch (id) {
    case kGoto: {
      std::string label = a.token[0];
      if (label.empty()) {
        Error("Goto: the label is missing");
      } else if (label.size() >= kLabelSize) {
        Error("Goto: the label is over 63 bytes");
      } else {
        goto_labels_.insert(label);
        out->next.reset();
        out->skips.push_back({label, facts});
      }
      break;
    }
    case kDefine:
      Define(a.token[0], a.rest);
      break;
    case kBinCopy:
      if (*a.token[1] == '\0') Error("BinCopy: the destination is missing");
      Copied(a.token[1], out);
      CheckSource(id, a.token[0], facts);
      // Windows refuses to copy a file onto itself, whatever the letter case.
      if (std::strchr(a.token[0], kUnknown[0]) == nullptr && *a.token[0] != '\0' &&
          FoldPath(a.token[0]) == FoldPath(a.token[1])) {
        Error("BinCopy: the destination is the source itself");
      }
      break;
    case kTextCopy:
    case kJapanCopy:
      if (*a.rest == '\0') {
        Error(name + ": the destination is missing");
      } else if (*a.rest == '"') {
        Error(name + ": the destination keeps its quotes; write it without quotes");
      }
      if (CheckSource(id, a.token[0], facts)) CheckTextSource(id, a.token[0]);
      Copied(a.rest, out);
      break;
    case kMakeDir:
      if (*a.token[0] == '\0') Error("MakeDir: the directory name is missing");
      break;
    case kDiskCheck: {
      // As the run looks for the disk's file.
      std::string path = run_->program_dir + "\\" + a.token[0];
      std::uint32_t mtime = 0;
      if (path.size() > 255) {
        Error("DiskCheck: the path is over 255 bytes: the disk is never found");
      } else if (!other_disk_ && !system_.GetFileStatus(path, &mtime)) {
        other_disk_ = true;  // from here on the program directory may be another disk
      }
      break;
    }
    case kRegsvr:
      CheckSource(id, a.token[0], facts);
      break;
    default:
      break;
  }
}

void Checker::CheckCondition(KeywordId id, Arguments& a, const Facts& facts, Outcome* out) {
  const char* sense = a.token[a.count - 1];
  bool inverts = sense[0] == 'E' || sense[0] == 'e';
  Facts holds = facts;
  Facts fails = facts;
  if (id == kIfFileFind && std::strchr(a.token[0], kUnknown[0]) == nullptr) {
    (inverts ? fails : holds).insert(FoldPath(a.token[0]));
  }
  if (id == kDefineRegistry) Define(a.token[0], kUnknown);
  if ((id == kIfString || id == kIfFileDate) && a.op == CompareOp::kNone) {
    Warning(std::string(CommandWord(id)) + " without a comparison word: the test never holds");
  }
  // Two texts that hold nothing unknown decide the same way in every run.
  if (id == kIfString && std::strchr(a.token[0], kUnknown[0]) == nullptr &&
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
  if (!run_->DefineMacro(name, value)) {
    Error("too many macros: the table holds 50 names, the four built-ins included");
  }
}

// A relative source is looked for in the current directory of the run, which need not be
// the program directory.
// A source written with $$FD$$ is the program directory's, even when the program was
// started by a relative path.
void Checker::WarnRelativeSource(KeywordId id, const char* source) {
  std::string_view path = source;
  if (path.empty() || IsSeparator(path[0]) || (path.size() >= 2 && path[1] == ':') ||
      path.find(kUnknown[0]) != std::string_view::npos || InProgramDirectory(path)) {
    return;
  }
  Warning(std::string(CommandWord(id)) +
          ": the source is relative to the current directory, not to the program directory: " +
          Utf8(path) + " (write $$FD$$\\" + Utf8(path) + ")");
}

// True when `source` lies in the program directory and is there (or is known to be
// there on this path of the run).
bool Checker::InProgramDirectory(std::string_view path) const {
  const std::string& dir = run_->program_dir;
  return !dir.empty() && path.size() > dir.size() && path.substr(0, dir.size()) == dir &&
         IsSeparator(path[dir.size()]);
}

bool Checker::CheckSource(KeywordId id, const char* source, const Facts& facts) {
  std::string_view path = source;
  if (path.find(kUnknown[0]) != std::string_view::npos || !InProgramDirectory(path) || other_disk_) {
    return false;
  }
  std::uint32_t mtime = 0;
  if (system_.GetFileStatus(std::string(path), &mtime)) return true;
  // Windows adds ".dll" to a library named without extension, and ".exe" to a program.
  std::string_view file = path.substr(path.find_last_of("\\/") + 1);
  if (id == kRegsvr && file.find('.') == std::string_view::npos) {
    for (const char* extension : {".dll", ".exe"}) {
      if (system_.GetFileStatus(std::string(path) + extension, &mtime)) return true;
    }
  }
  if (facts.count(FoldPath(path)) == 0) {
    Error(std::string(CommandWord(id)) + ": the source is not in the program directory: " + Utf8(path));
  }
  return false;
}

// Runs the source through the text filter as the copy would, writing nothing.
void Checker::CheckTextSource(KeywordId id, const char* source) {
  std::unique_ptr<InputFile> input = system_.OpenForReading(source);
  if (!input) return;
  NullOutput output;
  ui_.messages.clear();
  bool filtered = run_->text_filter().FilterStream(*input, output, source, "", LanguageMode::kJapanese);
  std::vector<CaptureUi::Message> messages = std::move(ui_.messages);
  ui_.messages.clear();
  if (filtered || messages.empty()) return;
  const std::string& text = messages.back().text;
  std::string::size_type open = text.rfind(":(");
  std::string::size_type close = open == std::string::npos ? open : text.find(')', open);
  if (close == std::string::npos) return;  // a read error: not the script's fault
  std::string number = text.substr(open + 2, close - open - 2);
  std::string why = EndsWith(text, "line too long")
                        ? "the line is over 4095 bytes after macro expansion"
                        : "a comment is not closed, or its body is over 4095 bytes";
  Error(std::string(CommandWord(id)) + ": the text filter rejects the source at its line " + number +
        ": " + why + " (" + Utf8(source) + ")");
}

void Checker::ReportUnresolvedGotos(const Flow& flow) {
  for (const auto& [label, skip] : flow.skipping) {
    for (int goto_line : skip.goto_lines) {
      std::string hint;
      for (const auto& [at, name] : labels_) {
        if (at < goto_line && name == label) {
          hint = " (the label on line " + std::to_string(at) +
                 " stands before the Goto; Goto only jumps forward)";
        } else if (at > goto_line && hint.empty() && FoldPath(name) == FoldPath(label)) {
          hint = " (the label on line " + std::to_string(at) + " differs only in letter case)";
        }
      }
      Add(Finding::Severity::kError, goto_line,
          "Goto: no label " + Utf8(label) + " on a later line" + hint);
    }
  }
}

std::string StripSeparators(std::string_view path) {
  while (path.size() > 1 && IsSeparator(path.back()) &&
         !(path.size() == 3 && path[1] == ':')) {
    path.remove_suffix(1);
  }
  return std::string(path);
}

bool CanRead(System& system, const std::string& path) {
  std::unique_ptr<InputFile> file = system.OpenForReading(path);
  char byte;
  return file && file->Read(&byte, 1) >= 0;
}

}  // namespace

bool CheckReport::has_error() const {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Finding::Severity::kError; });
}

CheckReport CheckProgram(System& system, std::string_view path, std::string_view program_dir) {
  std::string given = StripSeparators(path.empty() ? program_dir : path);
  char separator = given.find('\\') != std::string::npos ? '\\' : '/';
  std::string dir = given;
  std::string script = given + separator + "Setup.Inf";
  if (!path.empty() && !CanRead(system, script) && CanRead(system, given)) {
    script = given;
    dir = ProgramDirectory(system, given, true);
    if (dir.empty()) dir = ".";
  }
  Checker checker(system, dir, script);
  CheckReport report;
  report.findings = checker.Check();
  report.script_path = script;
  return report;
}

}  // namespace setup
