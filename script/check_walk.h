// The checker's walk over a script: the state it keeps and the steps it takes, shared by
// the files that define them (checker.cc: loading, the walk and the commands;
// check_sources.cc: the files a command reads, the labels never found, the entry).
#ifndef SETUP_SCRIPT_CHECK_WALK_H_
#define SETUP_SCRIPT_CHECK_WALK_H_

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
#include "base/code_page_text.h"
#include "base/encoding.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "script/arguments.h"
#include "script/check_capture.h"
#include "script/check_flow.h"
#include "script/check_text.h"
#include "script/command_context.h"
#include "script/conditions.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "script/line_walker.h"
#include "script/loader.h"
#include "script/startup.h"
#include "text/message.h"
#include "text/text_reader.h"
#include "textcopy/text_filter.h"

namespace setup {

// The value of $$SETUPDIR$$ in a check: unknown, and told from the other unknowns, since
// the folders under it are made by the script itself.
inline constexpr char kSetupDirValue[] = "\x01\x02";

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Lines that do something when they are run.
inline bool DoesSomething(KeywordId id) {
  return id != kEmptyLine && id != kCommentLine && id != kLabelLine;
}

// Whether a file is there when a line runs, as far as a check can tell.
enum class Existence { kYes, kNo, kUnknown };

class Checker {
 public:
  Checker(System& system, Encoding& encoding, std::string program_dir, std::string script_path)
      : run_(std::make_unique<SetupRun>(system, ui_, encoding)),
        system_(system),
        encoding_(encoding) {
    ui_.line_number = &cx().line_number;
    run_->loaded.program_dir = std::move(program_dir);
    script_path_ = std::move(script_path);
  }

  std::vector<Finding> Check();

 private:
  // How a finding's line is counted until the findings are handed out: as the run counts
  // the stored lines (the walk), as the loader counts the lines it reads (the loader and
  // its pre-scan), or already as an editor does.
  enum class Numbering { kStored, kRead, kEditor };
  struct Pending {
    Finding finding;
    Numbering numbering;
  };

  bool Load();
  void CheckEncoding();
  void Walk();
  bool ExpandLine(LineWalker& walker, const char* raw);
  void LoadMacros(const Facts& facts);
  bool MayHoldDroppedMacro(const char* line) const;
  void LabelLine(char* cursor, Flow& flow, Flow* next);  // moves the searches of `flow`
  Outcome CheckCommand(char* cursor, const Facts& facts);
  void ReportCutFault(KeywordId id, const Arguments& a);
  void CheckArguments(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out);
  void WarnUnquotedSetupDir(const KeywordRow& row, const Arguments& a);
  void WarnMacroTypos(const char* line, const Facts& facts);
  void CheckGoto(const char* label, const Facts& facts, Outcome* out);
  void CheckCopy(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out);
  void CheckDiskFile(const char* file, Outcome* out);
  void CheckDirectory(const char* dir, Outcome* out);
  bool CheckDestination(KeywordId id, std::string_view path, const Facts& facts);
  void CheckCondition(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out);
  void NoteGotos(char* command);
  std::optional<bool> Decide(const KeywordRow& row, const Arguments& a, const Facts& facts);
  std::optional<std::uint32_t> TimeOf(const char* file, const Facts& facts);
  // With `on_own_disk`, as a run finds it that has not changed the disk, if one may.
  Existence Exists(std::string_view path, const Facts& facts, bool on_own_disk = false);
  bool CheckSource(KeywordId id, const char* source, const Facts& facts);
  bool InProgramDirectory(std::string_view path) const;
  void WarnRelativeSource(KeywordId id, const char* source);
  void CheckTextSource(KeywordId id, const char* source);
  void ReportUnresolvedGotos(const Flow& flow);
  // A copy that did not stop the run left its destination behind.
  void Copied(std::string_view destination, Outcome* out) const {
    if (!destination.empty() && !HoldsUnknown(destination)) {
      out->next->present.insert(Normal(destination));
      out->next->touched.insert(Normal(destination));
    }
  }
  void Define(const char* name, const char* value, Facts* facts);
  bool CanOpen(const std::string& path) {
    std::unique_ptr<InputFile> file;
    return system_.OpenForReading(path, &file).ok();
  }

  void Add(Finding::Severity severity, int line, std::string text) {
    findings_.push_back({{line, severity, std::move(text)}, numbering_});
  }
  // Inside a command that a condition the check cannot decide runs, an error is a warning:
  // a run that passes the line may not run the command.
  void Error(std::string text) {
    Add(uncertain_ > 0 ? Finding::Severity::kWarning : Finding::Severity::kError, line(),
        std::move(text));
  }
  void Warning(std::string text) { Add(Finding::Severity::kWarning, line(), std::move(text)); }
  int line() const { return run_->context.line_number; }
  CommandContext& cx() { return run_->context; }
  const LoadedScript& loaded() const { return run_->loaded; }
  std::string Utf8(std::string_view bytes) { return encoding_.ToUtf8(bytes); }
  // A path as Windows compares it, its double-byte characters stepped whole.
  std::string Fold(std::string_view path) const { return FoldPath(LeadByteOf(encoding_), path); }
  std::string Normal(std::string_view path) const { return NormalPath(encoding_, path); }
  // A path for a finding: $$SETUPDIR$$ named as the script names it.
  std::string Shown(std::string_view path);

  CaptureUi ui_;
  std::unique_ptr<SetupRun> run_;
  System& system_;
  Encoding& encoding_;
  std::string script_path_;
  std::vector<Pending> findings_;
  EditorLines editor_lines_;
  Numbering numbering_ = Numbering::kRead;           // of the findings being added
  std::set<std::string> goto_labels_;                // named by a Goto reached so far
  std::vector<std::pair<int, std::string>> labels_;  // label lines reached so far
  std::vector<KnownMacro> table_macros_;             // what the macro table holds now
  std::vector<std::string> dropped_macros_;          // over the table's rows, not in it
  int uncertain_ = 0;              // depth of undecided conditions the command runs under
  std::set<int> uncertain_gotos_;  // lines whose Goto only runs when such a condition holds
};

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECK_WALK_H_
