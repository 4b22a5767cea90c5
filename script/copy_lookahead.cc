#include "script/copy_lookahead.h"

#include <cstring>
#include <set>
#include <string>

#include "base/code_page_text.h"
#include "base/encoding.h"
#include "script/arguments.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "script/line_walker.h"

namespace setup {
namespace {

// The copy of a BinCopy line's arguments at `args` (cut in place), or false.
bool CutCopy(const ScriptContext& context, char* args, System::CopyPair* copy) {
  Arguments a;
  if (!CutArguments(context, kBinCopy, args, &a, TokenForm::kSilent)) return false;
  if (a.count < 2 || *a.token[1] == '\0') return false;
  copy->source = a.token[0];
  copy->destination = a.token[1];
  return true;
}

}  // namespace

std::string NameKey(const Encoding& encoding, std::string_view path) {
  LeadByteOf lead(encoding);
  std::string_view name = path.substr(DirectoryLength(lead, path));
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  if (FindChar(lead, name, 0, '~') != name.size() || FindChar(lead, name, 0, ':') != name.size()) {
    return std::string();
  }
  std::string key = FoldPath(lead, name);
  for (std::size_t i = 0; i < key.size();) {
    std::size_t length = CharLength(lead, key, i);
    if (length == 2) key[i] = key[i + 1] = '\x80';
    i += length;
  }
  return key;
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
  // The keys of the destinations so far. A copy ends the list when its source or its
  // destination has one of them, or an empty key; a first destination with an empty key
  // ends it at once.
  std::set<std::string> written = {NameKey(context.encoding(), copy.destination)};
  copies.push_back(std::move(copy));
  if (written.count("") != 0) return copies;
  char raw[kWorkLineSize];
  while (copies.size() < limit) {
    if (store.LineAt(&offset, raw, sizeof raw) != ScriptStore::LineResult::kLine) break;
    if (!macros.Expand(raw, work, sizeof work)) break;
    char* cursor = SkipBlanks(work);
    const KeywordRow& row = ClassifyRow(cursor);
    if (row.id == kEmptyLine || row.id == kCommentLine) continue;
    if (row.id != kBinCopy || !CutCopy(context, StepOverKeyword(cursor, row), &copy)) break;
    std::string source = NameKey(context.encoding(), copy.source);
    std::string destination = NameKey(context.encoding(), copy.destination);
    if (source.empty() || destination.empty() || written.count(source) != 0 ||
        !written.insert(destination).second) {
      break;
    }
    copies.push_back(std::move(copy));
  }
  return copies;
}

}  // namespace setup
