#include "script/copy_lookahead.h"

#include <cstring>
#include <string>

#include "script/arguments.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "script/line_walker.h"

namespace setup {
namespace {

// The last name of `path`: after its last backslash or slash (a trail byte that is a
// backslash only makes the name shorter, alike for every spelling of it), without
// trailing dots and blanks.
std::string_view LastName(std::string_view path) {
  std::size_t cut = path.find_last_of("\\/");
  std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

bool MatchesEveryName(std::string_view name) {
  return name.find('~') != std::string_view::npos || name.find(':') != std::string_view::npos;
}

unsigned char FoldAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// The copy of a BinCopy line's arguments at `args` (cut in place), or false.
bool CutCopy(const ScriptContext& context, char* args, System::CopyPair* copy) {
  Arguments a;
  if (!CutArguments(context, kBinCopy, args, &a, TokenForm::kSilent)) return false;
  if (a.count < 2 || *a.token[1] == '\0') return false;
  copy->source = a.token[0];
  copy->destination = a.token[1];
  return true;
}

// Whether `copy` may go ahead of the copies before it in `copies`.
bool Independent(const System::CopyPair& copy, const std::vector<System::CopyPair>& copies) {
  for (const System::CopyPair& earlier : copies) {
    if (SameFileMayBeNamed(copy.source, earlier.destination) ||
        SameFileMayBeNamed(copy.destination, earlier.destination)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool SameFileMayBeNamed(std::string_view a, std::string_view b) {
  std::string_view x = LastName(a), y = LastName(b);
  if (MatchesEveryName(x) || MatchesEveryName(y)) return true;
  if (x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i) {
    unsigned char p = static_cast<unsigned char>(x[i]), q = static_cast<unsigned char>(y[i]);
    if (p >= 0x80 && q >= 0x80) {
      ++i;  // and the byte after it, which may be its trail byte
      continue;
    }
    if (FoldAscii(p) != FoldAscii(q)) return false;
  }
  return true;
}

std::vector<System::CopyPair> UpcomingCopies(const ScriptContext& context, const ScriptStore& store,
                                             std::size_t offset, const MacroTable& macros,
                                             const char* current, std::size_t limit) {
  std::vector<System::CopyPair> copies;
  char work[kWorkLineSize];
  std::size_t length = std::strlen(current);
  if (length >= sizeof work) return copies;
  std::memcpy(work, current, length + 1);
  System::CopyPair copy;
  const KeywordRow& first = ClassifyRow(work);
  if (first.id != kBinCopy || !CutCopy(context, StepOverKeyword(work, first), &copy)) {
    return copies;
  }
  copies.push_back(std::move(copy));
  char raw[kWorkLineSize];
  while (copies.size() < limit) {
    if (store.LineAt(&offset, raw, sizeof raw) != ScriptStore::LineResult::kLine) break;
    if (!macros.Expand(raw, work, sizeof work)) break;
    char* cursor = SkipBlanks(work);
    const KeywordRow& row = ClassifyRow(cursor);
    if (row.id == kEmptyLine || row.id == kCommentLine) continue;
    if (row.id != kBinCopy) break;
    if (!CutCopy(context, StepOverKeyword(cursor, row), &copy) || !Independent(copy, copies)) {
      break;
    }
    copies.push_back(std::move(copy));
  }
  return copies;
}

}  // namespace setup
