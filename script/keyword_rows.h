// The rows of the keyword table, the one place a keyword is spelled: each row is
//   X(id, word, handler, layout, flags, check, misplaced, op)
// with the KeywordId it defines, its word (null for the line kinds found by their first
// byte or by finding none), its handler (null for the lines the interpreter or the
// pre-scan handles itself), its argument layout, its KeywordFlags, the checker's
// CheckKind, the checker's error for a word that cannot begin a command, and a
// comparison word's CompareOp. script/keyword_table.h makes the KeywordId enum from the
// ids, script/keyword_table.cc the table from the rows; nothing else lists keywords.
//
// The rows without a word come first (kNoKeyword is 0). The others are searched from the
// top: each keyword stands before every shorter keyword that is a prefix of it.
#ifndef SETUP_SCRIPT_KEYWORD_ROWS_H_
#define SETUP_SCRIPT_KEYWORD_ROWS_H_

// clang-format off
#define SETUP_KEYWORD_ROWS(X)                                                                      \
  X(kNoKeyword, nullptr, nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, nullptr,        \
    CompareOp::kNone)                                                                              \
  X(kEmptyLine, nullptr, nullptr, kNoArguments, 0, CheckKind::kNothing, nullptr, CompareOp::kNone) \
  X(kLabelLine, nullptr, nullptr, kLabelLineName, 0, CheckKind::kNothing, nullptr,                 \
    CompareOp::kNone)                                                                              \
  X(kCommentLine, nullptr, nullptr, kNoArguments, 0, CheckKind::kNothing, nullptr,                 \
    CompareOp::kNone)                                                                              \
  X(kDefineRegistry, "#define_registry", DoDefineRegistry, kRegistryDefine, kCondition,            \
    CheckKind::kDefineFound, nullptr, CompareOp::kNone)                                            \
  X(kDefine, "#define", DoDefine, kNameAndRest, 0, CheckKind::kDefine, nullptr, CompareOp::kNone)  \
  X(kTextCopy, "TextCopy", DoTextCopy, kSourceAndRest, 0, CheckKind::kTextCopy, nullptr,           \
    CompareOp::kNone)                                                                              \
  X(kBinCopy, "BinCopy", DoBinCopy, kByteCopy, 0, CheckKind::kByteCopy, nullptr, CompareOp::kNone) \
  X(kMakeDir, "MakeDir", DoMakeDir, kDirectoryName, 0, CheckKind::kDirectory, nullptr,             \
    CompareOp::kNone)                                                                              \
  X(kJapanCopy, "JapanCopy", DoJapanCopy, kSourceAndRest, 0, CheckKind::kTextCopy, nullptr,        \
    CompareOp::kNone)                                                                              \
  X(kEnglishCopy, "EnglishCopy", DoEnglishCopy, kSourceAndRest, 0, CheckKind::kCopiesNothing,      \
    nullptr, CompareOp::kNone)                                                                     \
  X(kDiskCheck, "DiskCheck", DoDiskCheck, kFileNameAndRest, 0, CheckKind::kDiskFile, nullptr,      \
    CompareOp::kNone)                                                                              \
  X(kSetupDir, "SetupDir", nullptr, kPreScannedToken, kPreScanned, CheckKind::kNothing, nullptr,   \
    CompareOp::kNone)                                                                              \
  X(kWindowTitle, "WindowTitle", nullptr, kPreScannedToken, kPreScanned, CheckKind::kNothing,      \
    nullptr, CompareOp::kNone)                                                                     \
  X(kIfFileVersion, "IfFileVersion", DoIfFileVersion, kVersionTest, kCondition,                    \
    CheckKind::kNothing, nullptr, CompareOp::kNone)                                                \
  X(kIfProductVersion, "IfProductVersion", DoIfProductVersion, kVersionTest, kCondition,           \
    CheckKind::kNothing, nullptr, CompareOp::kNone)                                                \
  X(kMessageBox, "MessageBox", DoMessageBox, kText, 0, CheckKind::kNothing, nullptr,               \
    CompareOp::kNone)                                                                              \
  X(kMessage, "Message", DoMessage, kRestOnly, kShowsQuotes, CheckKind::kNothing, nullptr,         \
    CompareOp::kNone)                                                                              \
  X(kGoto, "Goto", nullptr, kLabel, 0, CheckKind::kGoto, nullptr, CompareOp::kNone)                \
  X(kOpEqual, "=", nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,     \
    CompareOp::kEqual)                                                                             \
  X(kOpLessEqual, "<=", nullptr, kNoArguments, kNotACommand, CheckKind::kNothing,                  \
    kComparisonFirst, CompareOp::kLessEqual)                                                       \
  X(kOpLess, "<", nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,      \
    CompareOp::kLess)                                                                              \
  X(kOpGreaterEqual, ">=", nullptr, kNoArguments, kNotACommand, CheckKind::kNothing,               \
    kComparisonFirst, CompareOp::kGreaterEqual)                                                    \
  X(kOpGreater, ">", nullptr, kNoArguments, kNotACommand, CheckKind::kNothing, kComparisonFirst,   \
    CompareOp::kGreater)                                                                           \
  X(kIfFileDate, "IfFileDate", DoIfFileDate, kDateTest, kCondition, CheckKind::kCompares, nullptr, \
    CompareOp::kNone)                                                                              \
  X(kErrorExit, "ErrorExit", DoErrorExit, kRestOnly, kEndsRun | kShowsQuotes, CheckKind::kNothing, \
    nullptr, CompareOp::kNone)                                                                     \
  X(kIfFileFind, "IfFileFind", DoIfFileFind, kFileTest, kCondition, CheckKind::kFileFind, nullptr, \
    CompareOp::kNone)                                                                              \
  X(kRegistry, "Registry", nullptr, kRegistryForm, kNotACommand, CheckKind::kNothing,              \
    "Registry can only follow SetupDir", CompareOp::kNone)                                         \
  X(kRegsvr, "Regsvr", DoRegsvr, kPath, 0, CheckKind::kComponent, nullptr, CompareOp::kNone)       \
  X(kIfString, "IfString", DoIfString, kStringTest, kCondition, CheckKind::kDecidable, nullptr,    \
    CompareOp::kNone)                                                                              \
  X(kIfRegistryFind, "IfRegistryFind", DoIfRegistryFind, kRegistryTest, kCondition,                \
    CheckKind::kNothing, nullptr, CompareOp::kNone)
// clang-format on

#endif  // SETUP_SCRIPT_KEYWORD_ROWS_H_
