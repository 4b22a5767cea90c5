// The checker's look at what a command writes and what a condition tests: copies and
// their destinations, folders, the disk, the conditions decided as a run decides them,
// and the macros a path defines.
#include <cstdint>
#include <cstring>
#include <string>

#include "script/actions.h"
#include "script/check_walk.h"
#include "sysquery/version_info.h"

namespace setup {
namespace {

bool Inverts(const char* sense) { return sense[0] == 'E' || sense[0] == 'e'; }

// $$SETUPDIR$$ or a folder under it: a folder the script makes.
bool UnderSetupDir(std::string_view normal) {
  std::string_view head = kSetupDirValue;
  if (normal == head) return true;
  return normal.size() > head.size() + 1 && normal.substr(0, head.size()) == head &&
         normal[head.size()] == '\\' && !HoldsUnknown(normal.substr(head.size()));
}

// What a check may remember of a path: a known one, or one under $$SETUPDIR$$, whose
// value is the same all through a run.
bool Trackable(std::string_view normal) { return !HoldsUnknown(normal) || UnderSetupDir(normal); }

// The name of the `index`th token of a command, as docs/script.md calls it.
const char* TokenName(const KeywordRow& row, int index) {
  int k = 0;
  for (int i = 0; i < 5; ++i) {
    ArgumentStep step = row.layout.steps[i].step;
    if (step != ArgumentStep::kToken && step != ArgumentStep::kLoose) continue;
    if (k++ != index) continue;
    if (row.layout.steps[i].name != nullptr) return row.layout.steps[i].name;
    for (int j = i + 1; j < 5; ++j) {
      if (row.layout.steps[j].step == ArgumentStep::kEnd) return row.layout.steps[j].name;
    }
  }
  return "argument";
}

}  // namespace

std::string Checker::Shown(std::string_view path) {
  std::string out;
  for (std::size_t i = 0; i < path.size();) {
    if (path.substr(i, 2) == kSetupDirValue) {
      out += "$$SETUPDIR$$";
      i += 2;
    } else {
      std::size_t next = std::min(path.find(kUnknown[0], i + 1), path.size());
      out += Utf8(path.substr(i, next - i));
      i = next;
    }
  }
  return out;
}

// A token that holds $$SETUPDIR$$ and was not quoted ends at the first blank of the
// destination the user chose.
void Checker::WarnUnquotedSetupDir(const KeywordRow& row, const Arguments& a) {
  for (int i = 0; i < a.count; ++i) {
    const char* token = a.token[i];
    if (token == nullptr || std::strstr(token, kSetupDirValue) == nullptr || token[-1] == '"') {
      continue;
    }
    std::string argument = TokenName(row, i);
    Warning(std::string(CommandWord(row.id)) + ": quote the " + argument +
            ": $$SETUPDIR$$ may hold blanks, and an unquoted " + argument +
            " ends at the first blank");
  }
}

void Checker::CheckCopy(const KeywordRow& row, Arguments& a, const Facts& facts, Outcome* out) {
  KeywordId id = row.id;
  std::string name = CommandWord(id);
  if (row.check == CheckKind::kByteCopy) {
    if (*a.token[1] == '\0') {
      Error(name + ": the destination is missing");
    } else if (CheckDestination(id, a.token[1], facts)) {
      Copied(a.token[1], out);
    }
    CheckSource(id, a.token[0], facts);
    // Windows refuses to copy a file onto itself, however the path is spelt.
    if (!HoldsUnknown(a.token[0]) && *a.token[0] != '\0' &&
        Normal(a.token[0]) == Normal(a.token[1])) {
      Error(name + ": the destination is the source itself");
    }
    return;
  }
  bool written = false;
  if (*a.rest == '\0') {
    Error(name + ": the destination is missing");
  } else if (*a.rest == '"') {
    Error(name + ": the destination keeps its quotes; write it without quotes");
  } else {
    written = CheckDestination(id, a.rest, facts);
  }
  if (CheckSource(id, a.token[0], facts)) CheckTextSource(id, a.token[0]);
  if (written) Copied(a.rest, out);
}

// A name Windows refuses, or a folder not there: false when the run must fail here.
bool Checker::CheckDestination(KeywordId id, std::string_view path, const Facts& facts) {
  std::string name = CommandWord(id);
  std::string refused = RefusedNameChar(encoding_, path);
  if (!refused.empty()) {
    Error(name + ": Windows refuses the name " + Shown(path) + ": it holds " + refused);
    return false;
  }
  std::string parent = ParentOf(encoding_, Normal(path));
  if (parent.empty() || facts.folders.count(parent) != 0 || facts.present.count(parent) != 0) {
    return true;
  }
  // The folder as written, which the system is asked about as the run would ask.
  std::size_t length = DirectoryLength(LeadByteOf(encoding_), path);
  std::string written(path.substr(0, length > 0 ? length - 1 : 0));
  std::string shown = Shown(written);
  if (UnderSetupDir(parent)) {
    Warning(name + ": no MakeDir before this line makes the folder " + shown +
            " (make every folder first, parents first)");
  } else if (!written.empty() && Exists(written, facts, true) == Existence::kNo) {
    Error(name + ": the folder " + shown + " does not exist (make it first, parents first)");
    return false;
  }
  return true;
}

void Checker::CheckDirectory(const char* dir, Outcome* out) {
  if (*dir == '\0') {
    Error("MakeDir: the directory name is missing");
    return;
  }
  if (!CheckDestination(kMakeDir, dir, *out->next)) return;
  std::string normal = Normal(dir);
  if (Trackable(normal)) {
    out->next->folders.insert(normal);
    out->next->touched.insert(normal);
  }
}

// As the run looks for the disk's file: a file it cannot open means another disk.
void Checker::CheckDiskFile(const char* file, Outcome* out) {
  std::string path = loaded().program_dir + "\\" + file;
  std::uint32_t mtime = 0;
  if (path.size() > kDiskCheckPathLimit) {
    Error("DiskCheck: the path is over " + std::to_string(kDiskCheckPathLimit) +
          " bytes: the disk is never found");
  } else if (out->next->other_disk || out->next->present.count(Normal(path)) != 0 ||
             CanOpen(path)) {
    return;
  } else if (system_.GetFileStatus(path, &mtime).ok()) {
    Error("DiskCheck: the file is a folder, or cannot be read: the disk is never found: " +
          Utf8(path));
  } else {
    out->next->same_disk = false;  // from here on the program directory is another disk
    out->next->other_disk = true;
  }
}

Existence Checker::Exists(std::string_view path, const Facts& facts, bool on_own_disk) {
  if (path.empty()) return Existence::kUnknown;
  std::string normal = Normal(path);
  if (facts.present.count(normal) != 0 || facts.folders.count(normal) != 0) {
    return Existence::kYes;
  }
  bool disk_known = on_own_disk ? facts.same_disk : !facts.other_disk;
  if (HoldsUnknown(path) || !InProgramDirectory(path) || !disk_known ||
      facts.touched.count(normal) != 0) {
    return normal == Normal(loaded().program_dir) ? Existence::kYes : Existence::kUnknown;
  }
  std::uint32_t mtime = 0;
  bool found = system_.GetFileStatus(std::string(path), &mtime).ok();
  return found ? Existence::kYes : Existence::kNo;
}

// The time a comparison of dates reads: 0 for a missing file.
std::optional<std::uint32_t> Checker::TimeOf(const char* file, const Facts& facts) {
  Existence exists = Exists(file, facts);
  if (exists == Existence::kNo) return 0;
  std::uint32_t mtime = 0;
  if (exists == Existence::kUnknown || facts.present.count(Normal(file)) != 0 ||
      !system_.GetFileStatus(file, &mtime).ok()) {
    return std::nullopt;
  }
  return mtime;
}

// How the condition turns out in every run, when a check can tell.
std::optional<bool> Checker::Decide(const KeywordRow& row, const Arguments& a, const Facts& facts) {
  const char* sense = a.token[a.count - 1];
  if (row.check == CheckKind::kDecidable) {
    if (HoldsUnknown(a.token[0]) || HoldsUnknown(a.token[1])) return std::nullopt;
    return TestString(a.token[0], a.token[1], a.op, sense);
  }
  if (row.check == CheckKind::kFileFind) {
    Existence exists = Exists(a.token[0], facts);
    if (exists == Existence::kUnknown) return std::nullopt;
    return (exists == Existence::kYes) != Inverts(sense);
  }
  if (row.id == kIfFileDate) {
    std::optional<std::uint32_t> left = TimeOf(a.token[0], facts);
    std::optional<std::uint32_t> right = TimeOf(a.token[1], facts);
    CompareOp op = a.op;
    std::optional<bool> test;
    if (op == CompareOp::kNone) test = false;
    if (left && right) {
      int compare = *left < *right ? -1 : (*left > *right ? 1 : 0);
      test = (op == CompareOp::kEqual && compare == 0) ||
             (op == CompareOp::kLessEqual && compare <= 0) ||
             (op == CompareOp::kLess && compare < 0) ||
             (op == CompareOp::kGreaterEqual && compare >= 0) ||
             (op == CompareOp::kGreater && compare > 0);
    } else if (left == 0u && (op == CompareOp::kGreater || op == CompareOp::kLessEqual)) {
      test = op == CompareOp::kLessEqual;  // nothing is older than a missing file
    } else if (right == 0u && (op == CompareOp::kLess || op == CompareOp::kGreaterEqual)) {
      test = op == CompareOp::kGreaterEqual;
    }
    if (!test) return std::nullopt;
    return *test != Inverts(sense);
  }
  if (row.id == kIfFileVersion || row.id == kIfProductVersion) {
    Existence exists = Exists(a.token[0], facts);
    if (exists == Existence::kNo) return Inverts(sense);  // no file, no version
    if (exists == Existence::kUnknown || facts.present.count(Normal(a.token[0])) != 0) {
      return std::nullopt;
    }
    std::string file = a.token[0];
    std::string version;
    const char* string_name = row.id == kIfFileVersion ? "FileVersion" : "ProductVersion";
    if (!ReadVersionString(system_, file, string_name, &version)) return Inverts(sense);
    if (HoldsUnknown(a.token[1])) return std::nullopt;
    return TestVersion(system_, file.c_str(), a.token[1], a.op, sense, string_name);
  }
  return std::nullopt;
}

void Checker::CheckCondition(const KeywordRow& row, Arguments& a, const Facts& facts,
                             Outcome* out) {
  bool inverts = Inverts(a.token[a.count - 1]);
  Facts holds = facts;
  if (row.check == CheckKind::kDefineFound) Define(a.token[0], kUnknown, &holds);
  Facts fails = holds;
  if (row.check == CheckKind::kFileFind && !HoldsUnknown(a.token[0])) {
    (inverts ? fails : holds).present.insert(Normal(a.token[0]));
  }
  bool compares = row.check == CheckKind::kDecidable || row.check == CheckKind::kCompares;
  if (compares && a.op == CompareOp::kNone) {
    Warning(std::string(CommandWord(row.id)) + " without a comparison word: the test never holds");
  }
  std::optional<bool> decided = Decide(row, a, facts);
  // A test of the program directory's files turns out otherwise with other files.
  bool by_files = decided.has_value() && row.check != CheckKind::kDecidable;
  if (decided == false) {
    out->next = fails;
    out->otherwise = by_files;
    if (by_files) NoteGotos(SkipBlanks(a.rest));
    return;
  }
  if (!decided) ++uncertain_;
  *out = CheckCommand(SkipBlanks(a.rest), holds);
  if (!decided) --uncertain_;
  out->otherwise = out->otherwise || by_files;
  if (!decided) out->next = out->next ? Meet(*out->next, fails) : fails;
}

// The labels of the Gotos that `command` chains to, which a run with other files in the
// program directory takes: their labels are jumped to.
void Checker::NoteGotos(char* command) {
  for (;;) {
    const KeywordRow& row = ClassifyRow(command);
    char* args = StepOverKeyword(command, row);
    if (row.id == kGoto) {
      const char* label = nullptr;
      if (CutLabel(cx().script, kGoto, args, &label) == LabelFault::kNone) {
        goto_labels_.insert(label);
      }
      return;
    }
    Arguments a;
    if ((row.flags & kCondition) == 0 || !CutArguments(cx().script, row.id, args, &a)) return;
    command = SkipBlanks(a.rest);
  }
}

// Defines a macro on a path as #define does: the run stops when the table is full on
// every path that comes here.
void Checker::Define(const char* name, const char* value, Facts* facts) {
  constexpr std::size_t kLimit = MacroTable::kFieldSize - 1;
  std::string cut_name(CutText(encoding_, name, kLimit));
  std::string cut_value(CutText(encoding_, value, kLimit));
  for (KnownMacro& m : facts->macros) {
    if (m.name == cut_name) {
      m.value = cut_value;
      m.certain = true;
      return;
    }
  }
  if (facts->min_rows >= MacroTable::kMaxRows) {
    Error("too many macros: the table holds " + std::to_string(MacroTable::kMaxRows) +
          " names, the four built-ins included");
    return;
  }
  facts->macros.push_back({cut_name, cut_value, true});
  ++facts->min_rows;
}

}  // namespace setup
