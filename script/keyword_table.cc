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

constexpr const char* kComparisonFirst = "a comparison word cannot begin a command";

// One row per keyword. Searched from the top; each keyword stands before every shorter
// keyword that is a prefix of it. The rows without a word, found by a line's first byte
// or by finding none, come last.
constexpr KeywordRow kKeywordTable[] = {
    {"#define_registry", kDefineRegistry, DoDefineRegistry, kRegistryDefine, kCondition,
     CheckKind::kDefineFound, nullptr, CompareOp::kNone},
    {"#define", kDefine, DoDefine, kNameAndRest, 0, CheckKind::kDefine, nullptr, CompareOp::kNone},
    {"TextCopy", kTextCopy, DoTextCopy, kSourceAndRest, 0, CheckKind::kTextCopy, nullptr,
     CompareOp::kNone},
    {"BinCopy", kBinCopy, DoBinCopy, kByteCopy, 0, CheckKind::kByteCopy, nullptr, CompareOp::kNone},
    {"MakeDir", kMakeDir, DoMakeDir, kDirectoryName, 0, CheckKind::kDirectory, nullptr,
     CompareOp::kNone},
    {"JapanCopy", kJapanCopy, DoJapanCopy, kSourceAndRest, 0, CheckKind::kTextCopy, nullptr,
     CompareOp::kNone},
    {"EnglishCopy", kEnglishCopy, DoEnglishCopy, kSourceAndRest, 0, CheckKind::kCopiesNothing,
     nullptr, CompareOp::kNone},
    {"DiskCheck", kDiskCheck, DoDiskCheck, kFileNameAndRest, 0, CheckKind::kDiskFile, nullptr,
     CompareOp::kNone},
    {"SetupDir", kSetupDir, nullptr, kNoArguments, kPreScanned, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
    {"WindowTitle", kWindowTitle, nullptr, kNoArguments, kPreScanned, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
    {"IfFileVersion", kIfFileVersion, DoIfFileVersion, kVersionTest, kCondition,
     CheckKind::kNothing, nullptr, CompareOp::kNone},
    {"IfProductVersion", kIfProductVersion, DoIfProductVersion, kVersionTest, kCondition,
     CheckKind::kNothing, nullptr, CompareOp::kNone},
    {"MessageBox", kMessageBox, DoMessageBox, kText, 0, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
    {"Message", kMessage, DoMessage, kRestOnly, kShowsQuotes, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
    {"Goto", kGoto, nullptr, kLabel, 0, CheckKind::kGoto, nullptr, CompareOp::kNone},
    {"=", kOpEqual, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,
     CompareOp::kEqual},
    {"<=", kOpLessEqual, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,
     CompareOp::kLessEqual},
    {"<", kOpLess, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,
     CompareOp::kLess},
    {">=", kOpGreaterEqual, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing,
     kComparisonFirst, CompareOp::kGreaterEqual},
    {">", kOpGreater, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,
     CompareOp::kGreater},
    {"IfFileDate", kIfFileDate, DoIfFileDate, kDateTest, kCondition, CheckKind::kCompares, nullptr,
     CompareOp::kNone},
    {"ErrorExit", kErrorExit, DoErrorExit, kRestOnly, kEndsRun | kShowsQuotes, CheckKind::kNothing,
     nullptr, CompareOp::kNone},
    {"IfFileFind", kIfFileFind, DoIfFileFind, kFileTest, kCondition, CheckKind::kFileFind, nullptr,
     CompareOp::kNone},
    {"Registry", kRegistry, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing,
     "Registry can only follow SetupDir", CompareOp::kNone},
    {"Regsvr", kRegsvr, DoRegsvr, kPath, 0, CheckKind::kComponent, nullptr, CompareOp::kNone},
    {"IfString", kIfString, DoIfString, kStringTest, kCondition, CheckKind::kDecidable, nullptr,
     CompareOp::kNone},
    {"IfRegistryFind", kIfRegistryFind, DoIfRegistryFind, kRegistryTest, kCondition,
     CheckKind::kNothing, nullptr, CompareOp::kNone},
    {nullptr, kEmptyLine, nullptr, kNoArguments, 0, CheckKind::kNothing, nullptr, CompareOp::kNone},
    {nullptr, kCommentLine, nullptr, kNoArguments, 0, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
    {nullptr, kLabelLine, nullptr, kLabelLineName, 0, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
    {nullptr, kNoKeyword, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, nullptr,
     CompareOp::kNone},
};
constexpr int kRows = sizeof kKeywordTable / sizeof kKeywordTable[0];
static_assert(kRows == kIfRegistryFind + 1, "one row per KeywordId");
constexpr const KeywordRow& kNoKeywordRow = kKeywordTable[kRows - 1];

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
  for (const KeywordRow& row : kKeywordTable) {
    if (row.id == id) return row;
  }
  return kNoKeywordRow;
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
