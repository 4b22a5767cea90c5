// The condition commands (IfFileVersion, IfProductVersion, IfFileDate, IfFileFind,
// #define_registry, IfString, IfRegistryFind; see command.h) and their evaluators.
//
// Every evaluator answers whether its test holds with the SenseToken applied: a
// SenseToken whose first character is E or e inverts the test, any other (an empty one
// included) leaves it. `op` is the comparison word, or CompareOp::kNone when the line has
// none; the left side is always the first argument.
#ifndef SETUP_SCRIPT_CONDITIONS_H_
#define SETUP_SCRIPT_CONDITIONS_H_

#include <string>

#include "script/command.h"
#include "script/keyword_table.h"

namespace setup {

class Encoding;
class System;

CommandResult DoIfFileVersion(CommandContext& cx, char* args);
CommandResult DoIfProductVersion(CommandContext& cx, char* args);
CommandResult DoIfFileDate(CommandContext& cx, char* args);
CommandResult DoIfFileFind(CommandContext& cx, char* args);
CommandResult DoDefineRegistry(CommandContext& cx, char* args);
CommandResult DoIfString(CommandContext& cx, char* args);
CommandResult DoIfRegistryFind(CommandContext& cx, char* args);

// Byte-wise, case-sensitive comparison as unsigned bytes; without an operator the test
// is false.
bool TestString(const char* text, const char* operand, CompareOp op, const char* sense);

// The file's version string `string_name` ("FileVersion" or "ProductVersion"). A file
// without it fails the test. Without an operator the test is that the string exists;
// "=" compares the texts as written; the other operators compare VersionSortKey of both.
bool TestVersion(System& system, const char* file, const char* operand, CompareOp op,
                 const char* sense, const char* string_name);

// Last-modification times as unsigned 32-bit seconds, a missing file being 0. Without
// an operator the test is false.
bool TestFileDate(System& system, const char* file, const char* second_file, CompareOp op,
                  const char* sense);

// The file exists.
bool TestFileFind(System& system, const char* file, const char* sense);

// The whole registry path after its root prefix opens as a key.
bool TestRegistryFind(System& system, const Encoding& encoding, const char* path,
                      const char* sense);

// A version text read like scanf's "%X.%X.%X.%X" (unread parts 0) and printed as
// "%08X%08X%08X%08X": 32 upper-case hexadecimal digits whose byte order is the
// version order.
//
// Each %X skips white space (space, \t, \n, \v, \f, \r), takes an optional sign and an
// optional 0x or 0X, then hexadecimal digits; the number keeps the low 32 bits of what
// was read (as the Windows C runtime accumulates it), and a minus sign negates it
// modulo 2^32. A part without a digit (a "0x" included) is not read, and reading stops
// there, as it does at the first byte that is not the dot between two parts.
std::string VersionSortKey(const char* text);

}  // namespace setup

#endif  // SETUP_SCRIPT_CONDITIONS_H_
