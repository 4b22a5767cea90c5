#include "script/keyword_table.h"

#include "script/actions.h"
#include "script/conditions.h"
#include "script/text_commands.h"

namespace setup {
namespace {

struct KeywordRow {
  const char* keyword;
  KeywordId id;
  CommandHandler handler;  // none for the words the interpreter handles itself
};

// One row per keyword, its handler beside it. Searched from the top; each keyword stands
// before every shorter keyword that is a prefix of it.
constexpr KeywordRow kKeywordTable[] = {
    {"#define_registry", kDefineRegistry, DoDefineRegistry},
    {"#define", kDefine, DoDefine},
    {"TextCopy", kTextCopy, DoTextCopy},
    {"BinCopy", kBinCopy, DoBinCopy},
    {"MakeDir", kMakeDir, DoMakeDir},
    {"JapanCopy", kJapanCopy, DoJapanCopy},
    {"EnglishCopy", kEnglishCopy, DoEnglishCopy},
    {"DiskCheck", kDiskCheck, DoDiskCheck},
    {"SetupDir", kSetupDir, nullptr},
    {"WindowTitle", kWindowTitle, nullptr},
    {"IfFileVersion", kIfFileVersion, DoIfFileVersion},
    {"IfProductVersion", kIfProductVersion, DoIfProductVersion},
    {"MessageBox", kMessageBox, DoMessageBox},
    {"Message", kMessage, DoMessage},
    {"Goto", kGoto, nullptr},
    {"=", kOpEqual, nullptr},
    {"<=", kOpLessEqual, nullptr},
    {"<", kOpLess, nullptr},
    {">=", kOpGreaterEqual, nullptr},
    {">", kOpGreater, nullptr},
    {"IfFileDate", kIfFileDate, DoIfFileDate},
    {"ErrorExit", kErrorExit, DoErrorExit},
    {"IfFileFind", kIfFileFind, DoIfFileFind},
    {"Registry", kRegistry, nullptr},
    {"Regsvr", kRegsvr, DoRegsvr},
    {"IfString", kIfString, DoIfString},
    {"IfRegistryFind", kIfRegistryFind, DoIfRegistryFind},
};
static_assert(sizeof kKeywordTable / sizeof kKeywordTable[0] == 27);

unsigned char FoldAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

bool StartsWithFolded(const char* text, const char* keyword) {
  for (; *keyword; ++text, ++keyword) {
    if (!*text) return false;
    if (FoldAscii(static_cast<unsigned char>(*text)) != FoldAscii(static_cast<unsigned char>(*keyword))) {
      return false;
    }
  }
  return true;
}

}  // namespace

KeywordId ClassifyLine(const char* text) {
  if (*text == '\0' || *text == '\n') return kEmptyLine;
  if (*text == '\'') return kCommentLine;
  if (*text == ':') return kLabelLine;
  for (const KeywordRow& row : kKeywordTable) {
    if (StartsWithFolded(text, row.keyword)) return row.id;
  }
  return kNoKeyword;
}

CommandHandler KeywordHandler(KeywordId id) {
  for (const KeywordRow& row : kKeywordTable) {
    if (row.id == id) return row.handler;
  }
  return nullptr;
}

CompareOp OperatorToken(const char* text) {
  switch (ClassifyLine(text)) {
    case kOpEqual: return CompareOp::kEqual;
    case kOpLessEqual: return CompareOp::kLessEqual;
    case kOpLess: return CompareOp::kLess;
    case kOpGreaterEqual: return CompareOp::kGreaterEqual;
    case kOpGreater: return CompareOp::kGreater;
    default: return CompareOp::kNone;
  }
}

}  // namespace setup
