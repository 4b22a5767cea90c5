#include "script/keyword_table.h"

#include "script/actions.h"
#include "script/conditions.h"
#include "script/lexer.h"
#include "script/text_commands.h"

namespace setup {
namespace {

using S = ArgumentStep;

// The argument layouts, named as docs/script.md names the arguments.
constexpr ArgumentLayout kNoArguments = {};
constexpr ArgumentLayout kNameAndRest = {{{S::kToken, "name"}, {S::kRest, nullptr}}};
constexpr ArgumentLayout kSourceAndRest = {{{S::kToken, "source"}, {S::kRest, nullptr}}};
constexpr ArgumentLayout kByteCopy = {
    {{S::kToken, "source"}, {S::kLoose, nullptr}, {S::kEnd, "destination"}}};
constexpr ArgumentLayout kDirectoryName = {{{S::kLoose, nullptr}, {S::kEnd, "directory name"}}};
constexpr ArgumentLayout kText = {{{S::kLoose, nullptr}, {S::kEnd, "text"}}};
constexpr ArgumentLayout kFileNameAndRest = {{{S::kToken, "file name"}, {S::kRest, nullptr}}};
constexpr ArgumentLayout kRestOnly = {{{S::kRest, nullptr}}};
constexpr ArgumentLayout kPath = {{{S::kToken, "path"}, {S::kEnd, "path"}}};
constexpr ArgumentLayout kLabel = {
    {{S::kColon, nullptr}, {S::kLoose, nullptr}, {S::kEnd, "label"}}};
constexpr ArgumentLayout kLabelLineName = {{{S::kColon, nullptr}, {S::kLoose, nullptr}}};
constexpr ArgumentLayout kVersionTest = {{{S::kToken, "file"},
                                          {S::kOperator, nullptr},
                                          {S::kToken, "version"},
                                          {S::kToken, "SenseToken"},
                                          {S::kRest, nullptr}}};
constexpr ArgumentLayout kDateTest = {{{S::kToken, "file"},
                                       {S::kOperator, nullptr},
                                       {S::kToken, "second file"},
                                       {S::kToken, "SenseToken"},
                                       {S::kRest, nullptr}}};
constexpr ArgumentLayout kStringTest = {{{S::kToken, "text"},
                                         {S::kOperator, nullptr},
                                         {S::kToken, "second text"},
                                         {S::kToken, "SenseToken"},
                                         {S::kRest, nullptr}}};
constexpr ArgumentLayout kFileTest = {
    {{S::kToken, "file"}, {S::kToken, "SenseToken"}, {S::kRest, nullptr}}};
constexpr ArgumentLayout kRegistryTest = {
    {{S::kToken, "registry path"}, {S::kToken, "SenseToken"}, {S::kRest, nullptr}}};
constexpr ArgumentLayout kRegistryDefine = {{{S::kToken, "name"},
                                             {S::kToken, "registry path"},
                                             {S::kToken, "SenseToken"},
                                             {S::kRest, nullptr}}};

// The pre-scan's SetupDir and WindowTitle: one token, kept even when it is not complete.
constexpr ArgumentLayout kPreScannedToken = {{{S::kReported, "argument"}}};
// SetupDir's registry form, after SetupDir: the word Registry, the registry path and
// where the fallback begins (cut as SetupDir's own argument, when it is needed).
constexpr ArgumentLayout kRegistryForm = {
    {{S::kToken, "Registry"}, {S::kReported, "registry path"}, {S::kRest, nullptr}}};

constexpr const char* kComparisonFirst = "a comparison word cannot begin a command";

constexpr KeywordRow kKeywordTable[] = {
#define SETUP_KEYWORD_ROW(id, word, handler, layout, flags, check, misplaced, op) \
  {word, id, handler, layout, flags, check, misplaced, op},
    SETUP_KEYWORD_ROWS(SETUP_KEYWORD_ROW)
#undef SETUP_KEYWORD_ROW
};
constexpr int kRows = sizeof kKeywordTable / sizeof kKeywordTable[0];
static_assert(kRows == kKeywordCount, "one row per KeywordId");
constexpr const KeywordRow& kNoKeywordRow = kKeywordTable[kNoKeyword];

unsigned char FoldAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

bool StartsWithFolded(const char* text, const char* keyword) {
  for (; *keyword; ++text, ++keyword) {
    if (!*text) return false;
    if (FoldAscii(static_cast<unsigned char>(*text)) !=
        FoldAscii(static_cast<unsigned char>(*keyword))) {
      return false;
    }
  }
  return true;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

const KeywordRow& ClassifyRow(const char* text) {
  KeywordId kind = *text == '\0' || *text == '\n' ? kEmptyLine
                   : *text == '\''                ? kCommentLine
                   : *text == ':'                 ? kLabelLine
                                                  : kNoKeyword;
  if (kind != kNoKeyword) return RowOf(kind);
  for (const KeywordRow& row : kKeywordTable) {
    if (row.keyword != nullptr && StartsWithFolded(text, row.keyword)) return row;
  }
  return kNoKeywordRow;
}

KeywordId ClassifyLine(const char* text) { return ClassifyRow(text).id; }

const KeywordRow& RowOf(KeywordId id) {
  return id >= 0 && id < kRows ? kKeywordTable[id] : kNoKeywordRow;
}

const char* CommandWord(KeywordId id) {
  const KeywordRow& row = RowOf(id);
  return row.keyword != nullptr && (row.flags & kNotACommand) == 0 ? row.keyword : "";
}

char* StepOverKeyword(char* p, const KeywordRow& row) {
  bool underscore = (row.flags & kPreScanned) == 0;
  while (IsAsciiLetter(*p) || *p == '#' || (underscore && *p == '_')) ++p;
  return SkipBlanks(p);
}

}  // namespace setup
