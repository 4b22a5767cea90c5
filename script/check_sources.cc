// The files a command reads, the labels no Goto found, and the checker's entry.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "script/check_walk.h"

namespace setup {

// A relative source is looked for in the current directory of the run, which need not be
// the program directory; a source written with $$FD$$ is the program directory's, even
// when the program was started by a relative path.
void Checker::WarnRelativeSource(KeywordId id, const char* source) {
  std::string_view path = source;
  // A word that looks like a macro has a finding of its own.
  bool macro_like = path.substr(0, 2) == "$$" || path.substr(0, 1) == "%";
  if (path.empty() || IsSeparator(path[0]) || (path.size() >= 2 && path[1] == ':') || macro_like ||
      HoldsUnknown(path) || InProgramDirectory(path)) {
    return;
  }
  Warning(std::string(CommandWord(id)) +
          ": the source is relative to the current directory, not to the program directory: " +
          Utf8(path) + " (write $$FD$$\\" + Utf8(path) + ")");
}

// True when `path` lies inside the program directory, once both are resolved as Windows
// resolves them.
bool Checker::InProgramDirectory(std::string_view path) const {
  const std::string& dir = loaded().program_dir;
  std::string normal_dir = Normal(dir);
  if (normal_dir.empty()) {  // "." and the like: as written
    return !dir.empty() && path.size() > dir.size() && path.substr(0, dir.size()) == dir &&
           IsSeparator(path[dir.size()]);
  }
  std::string normal = Normal(path);
  return normal.size() > normal_dir.size() + 1 &&
         normal.compare(0, normal_dir.size(), normal_dir) == 0 && normal[normal_dir.size()] == '\\';
}

bool Checker::CheckSource(KeywordId id, const char* source, const Facts& facts) {
  std::string_view path = source;
  if (HoldsUnknown(path) || !InProgramDirectory(path) || !facts.same_disk) return false;
  std::uint32_t mtime = 0;
  if (system_.GetFileStatus(std::string(path), &mtime).ok()) {
    // A folder, or a file the run cannot read either.
    if (id == kRegsvr || CanOpen(std::string(path))) return true;
    Error(std::string(CommandWord(id)) +
          ": the source is a folder, or cannot be read: " + Utf8(path));
    return false;
  }
  // Windows adds ".dll" to a library named without extension, and ".exe" to a program.
  std::string_view file = path.substr(path.find_last_of("\\/") + 1);
  if (id == kRegsvr && file.find('.') == std::string_view::npos) {
    for (const char* extension : {".dll", ".exe"}) {
      if (system_.GetFileStatus(std::string(path) + extension, &mtime).ok()) return true;
    }
  }
  if (facts.touched.count(Normal(path)) == 0) {  // not made on any path that came here
    Error(std::string(CommandWord(id)) +
          ": the source is not in the program directory: " + Utf8(path));
  }
  return false;
}

// Runs the source through the text filter as the copy would, writing nothing.
void Checker::CheckTextSource(KeywordId id, const char* source) {
  std::unique_ptr<InputFile> input;
  if (!system_.OpenForReading(source, &input).ok()) return;
  NullOutput output;
  Status filtered =
      cx().text_filter().FilterStream(*input, output, source, "", LanguageMode::kJapanese);
  // A read error is not the script's fault.
  bool too_long = filtered.Is(StatusKind::kTooLong);
  if (!too_long && !filtered.Is(StatusKind::kSyntaxError)) return;
  std::string number = std::to_string(filtered.line());
  std::string limit = std::to_string(TextFilter::kMaxBody);
  std::string why = too_long ? "the line is over " + limit + " bytes after macro expansion"
                             : "a comment is not closed, or its body is over " + limit + " bytes";
  Error(std::string(CommandWord(id)) + ": the text filter rejects the source at its line " +
        number + ": " + why + " (" + Utf8(source) + ")");
}

void Checker::ReportUnresolvedGotos(const Flow& flow) {
  for (const auto& [label, skip] : flow.skipping) {
    for (int goto_line : skip.goto_lines) {
      std::string hint;
      for (const auto& [at, name] : labels_) {
        if (at < goto_line && name == label) {
          hint = " (the label on line " + std::to_string(at) +
                 " stands before the Goto; Goto only jumps forward)";
        } else if (at > goto_line && hint.empty() && Fold(name) == Fold(label)) {
          hint = " (the label on line " + std::to_string(at) + " differs only in letter case)";
        }
      }
      Add(uncertain_gotos_.count(goto_line) != 0 ? Finding::Severity::kWarning
                                                 : Finding::Severity::kError,
          goto_line, "Goto: no label " + Utf8(label) + " on a later line" + hint);
    }
  }
}

namespace {

// `path` without its trailing separators, but a lone separator and a drive's root stay.
// A separator that is the second byte of a double-byte character is no separator.
std::string StripSeparators(const Encoding& encoding, std::string_view path) {
  LeadByteOf is_lead_byte(encoding);
  while (path.size() > 1 &&
         (EndsWithChar(is_lead_byte, path, '\\') || EndsWithChar(is_lead_byte, path, '/')) &&
         !(path.size() == 3 && path[1] == ':')) {
    path.remove_suffix(1);
  }
  return std::string(path);
}

bool CanRead(System& system, const std::string& path) {
  std::unique_ptr<InputFile> file;
  char byte;
  return system.OpenForReading(path, &file).ok() && file->Read(&byte, 1) >= 0;
}

}  // namespace

bool CheckReport::has_error() const {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Finding::Severity::kError; });
}

CheckReport CheckProgram(System& system, Encoding& encoding, std::string_view path,
                         std::string_view program_dir) {
  std::string given = StripSeparators(encoding, path.empty() ? program_dir : path);
  // The second byte of a double-byte character is no backslash.
  bool backslashes = FindChar(LeadByteOf(encoding), given, 0, '\\') < given.size();
  char separator = backslashes ? '\\' : '/';
  std::string dir = given;
  std::string script = given + separator + "Setup.Inf";
  if (!path.empty() && !CanRead(system, script) && CanRead(system, given)) {
    script = given;
    dir = ProgramDirectory(encoding, given, true);
    if (dir.empty()) dir = ".";
  }
  Checker checker(system, encoding, dir, script);
  CheckReport report;
  report.findings = checker.Check();
  report.script_path = script;
  return report;
}

}  // namespace setup
