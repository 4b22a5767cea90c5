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

// The value of every macro that only a run knows. The byte 0x01 means nothing to the
// lexer or to the text filter, so cutting is unchanged, and a text that holds it is taken
// as unknown.
inline constexpr char kUnknown[] = "\x01";

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Lines that do something when they are run.
inline bool DoesSomething(KeywordId id) {
  return id != kEmptyLine && id != kCommentLine && id != kLabelLine;
}

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
  bool Load();
  void Walk();
  void LabelLine(char* cursor, const Flow& flow, Flow* next);
  Outcome CheckCommand(char* cursor, const Facts& facts);
  void ReportCutFault(KeywordId id, const Arguments& a);
  void CheckArguments(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out);
  void CheckGoto(const char* label, const Facts& facts, Outcome* out);
  void CheckCopy(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out);
  void CheckDiskFile(const char* file);
  void CheckCondition(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out);
  bool CheckSource(KeywordId id, const char* source, const Facts& facts);
  bool InProgramDirectory(std::string_view path) const;
  void WarnRelativeSource(KeywordId id, const char* source);
  void CheckTextSource(KeywordId id, const char* source);
  void ReportUnresolvedGotos(const Flow& flow);
  // A copy that did not stop the run left its destination behind.
  // Windows drops trailing blanks and dots of a file name.
  void Copied(std::string_view destination, Outcome* out) const {
    while (!destination.empty() && std::strchr(" \t.", destination.back()) != nullptr) {
      destination.remove_suffix(1);
    }
    if (!destination.empty() && destination.find(kUnknown[0]) == std::string_view::npos) {
      out->next->insert(Fold(destination));
    }
  }
  void Define(const char* name, const char* value);

  void Add(Finding::Severity severity, int line, std::string text) {
    findings_.push_back({line, severity, std::move(text)});
  }
  void Error(std::string text) { Add(Finding::Severity::kError, line(), std::move(text)); }
  void Warning(std::string text) { Add(Finding::Severity::kWarning, line(), std::move(text)); }
  int line() const { return run_->context.line_number; }
  CommandContext& cx() { return run_->context; }
  const LoadedScript& loaded() const { return run_->loaded; }
  std::string Utf8(std::string_view bytes) { return encoding_.ToUtf8(bytes); }
  // A path as Windows compares it, its double-byte characters stepped whole.
  std::string Fold(std::string_view path) const { return FoldPath(LeadByteOf(encoding_), path); }

  CaptureUi ui_;
  std::unique_ptr<SetupRun> run_;
  System& system_;
  Encoding& encoding_;
  std::string script_path_;
  std::vector<Finding> findings_;
  std::set<std::string> goto_labels_;                // named by a Goto reached so far
  std::vector<std::pair<int, std::string>> labels_;  // label lines reached so far
  bool other_disk_ = false;  // a DiskCheck may have asked for a disk not at hand
};

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECK_WALK_H_
