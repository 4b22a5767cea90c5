#include "script/conditions.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/hex_digit.h"
#include "platform/system.h"
#include "script/arguments.h"
#include "script/command_context.h"
#include "script/keyword_table.h"
#include "sysquery/registry_path.h"
#include "sysquery/version_info.h"

namespace setup {
namespace {

bool Inverts(const char* sense) { return sense[0] == 'E' || sense[0] == 'e'; }

// `compare` is negative, zero or positive as left is less than, equal to or greater
// than right.
bool Compare(int compare, CompareOp op) {
  switch (op) {
    case CompareOp::kEqual: return compare == 0;
    case CompareOp::kLessEqual: return compare <= 0;
    case CompareOp::kLess: return compare < 0;
    case CompareOp::kGreaterEqual: return compare >= 0;
    case CompareOp::kGreater: return compare > 0;
    case CompareOp::kNone: return false;
  }
  return false;
}

int CompareBytes(const char* left, const char* right) {
  const auto* l = reinterpret_cast<const unsigned char*>(left);
  const auto* r = reinterpret_cast<const unsigned char*>(right);
  while (*l != 0 && *l == *r) {
    ++l;
    ++r;
  }
  return static_cast<int>(*l) - static_cast<int>(*r);
}

bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One %X conversion at `*text`; false (nothing stored) when no digit follows.
bool ScanHex(const char** text, std::uint32_t* number) {
  const char* p = *text;
  while (IsScanSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  if (HexDigit(*p) < 0) return false;
  std::uint32_t value = 0;
  for (int digit; (digit = HexDigit(*p)) >= 0; ++p) {
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  *number = negative ? 0u - value : value;
  *text = p;
  return true;
}

// Commands of the form: first argument, optional comparison word, operand, SenseToken,
// rest of the line.
using CompareTest = bool (*)(System& system, const char* left, const char* operand, CompareOp op,
                             const char* sense);

CommandResult RunComparison(const ScriptContext& script, System& system, KeywordId id, char* args,
                            CompareTest test) {
  Arguments a;
  if (!CutArguments(script, id, args, &a)) return CommandResult::Failed();
  return test(system, a.token[0], a.token[1], a.op, a.token[2]) ? CommandResult::Holds(a.rest)
                                                                : CommandResult::Done();
}

// Commands of the form: argument, SenseToken, rest of the line.
using SingleTest = bool (*)(CommandContext& cx, const char* argument, const char* sense);

CommandResult RunSingle(CommandContext& cx, KeywordId id, char* args, SingleTest test) {
  Arguments a;
  if (!CutArguments(cx.script, id, args, &a)) return CommandResult::Failed();
  return test(cx, a.token[0], a.token[1]) ? CommandResult::Holds(a.rest) : CommandResult::Done();
}

}  // namespace

std::string VersionSortKey(const char* text) {
  std::uint32_t parts[4] = {0, 0, 0, 0};
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*p != '.') break;
      ++p;
    }
    if (!ScanHex(&p, &parts[i])) break;
  }
  char key[33];
  std::snprintf(key, sizeof key, "%08X%08X%08X%08X", static_cast<unsigned>(parts[0]),
                static_cast<unsigned>(parts[1]), static_cast<unsigned>(parts[2]),
                static_cast<unsigned>(parts[3]));
  return key;
}

bool TestString(const char* text, const char* operand, CompareOp op, const char* sense) {
  bool test = op != CompareOp::kNone && Compare(CompareBytes(text, operand), op);
  return test != Inverts(sense);
}

bool TestVersion(System& system, const char* file, const char* operand, CompareOp op,
                 const char* sense, const char* string_name) {
  std::string version;
  bool test = false;
  if (ReadVersionString(system, file, string_name, &version)) {
    if (op == CompareOp::kNone) {
      test = true;
    } else if (op == CompareOp::kEqual) {
      test = version == operand;
    } else {
      test = Compare(
          CompareBytes(VersionSortKey(version.c_str()).c_str(), VersionSortKey(operand).c_str()),
          op);
    }
  }
  return test != Inverts(sense);
}

bool TestFileDate(System& system, const char* file, const char* second_file, CompareOp op,
                  const char* sense) {
  std::uint32_t left = 0, right = 0;
  if (!system.GetFileStatus(file, &left).ok()) left = 0;
  if (!system.GetFileStatus(second_file, &right).ok()) right = 0;
  int compare = left < right ? -1 : (left > right ? 1 : 0);
  bool test = op != CompareOp::kNone && Compare(compare, op);
  return test != Inverts(sense);
}

bool TestFileFind(System& system, const char* file, const char* sense) {
  std::uint32_t mtime = 0;
  return system.GetFileStatus(file, &mtime).ok() != Inverts(sense);
}

bool TestRegistryFind(System& system, const Encoding& encoding, const char* path,
                      const char* sense) {
  return RegistryKeyExists(system, encoding, path) != Inverts(sense);
}

CommandResult DoIfFileVersion(CommandContext& cx, char* args) {
  return RunComparison(
      cx.script, cx.system, kIfFileVersion, args,
      [](System& system, const char* l, const char* r, CompareOp op, const char* s) {
        return TestVersion(system, l, r, op, s, "FileVersion");
      });
}

CommandResult DoIfProductVersion(CommandContext& cx, char* args) {
  return RunComparison(
      cx.script, cx.system, kIfProductVersion, args,
      [](System& system, const char* l, const char* r, CompareOp op, const char* s) {
        return TestVersion(system, l, r, op, s, "ProductVersion");
      });
}

CommandResult DoIfFileDate(CommandContext& cx, char* args) {
  return RunComparison(cx.script, cx.system, kIfFileDate, args,
                       [](System& system, const char* l, const char* r, CompareOp op,
                          const char* s) { return TestFileDate(system, l, r, op, s); });
}

CommandResult DoIfString(CommandContext& cx, char* args) {
  return RunComparison(cx.script, cx.system, kIfString, args,
                       [](System&, const char* l, const char* r, CompareOp op, const char* s) {
                         return TestString(l, r, op, s);
                       });
}

CommandResult DoIfFileFind(CommandContext& cx, char* args) {
  return RunSingle(cx, kIfFileFind, args, [](CommandContext& cx, const char* file, const char* s) {
    return TestFileFind(cx.system, file, s);
  });
}

CommandResult DoIfRegistryFind(CommandContext& cx, char* args) {
  return RunSingle(cx, kIfRegistryFind, args,
                   [](CommandContext& cx, const char* path, const char* s) {
                     return TestRegistryFind(cx.system, cx.encoding, path, s);
                   });
}

CommandResult DoDefineRegistry(CommandContext& cx, char* args) {
  Arguments a;
  if (!CutArguments(cx.script, kDefineRegistry, args, &a)) return CommandResult::Failed();
  const char* name = a.token[0];
  const char* path = a.token[1];
  const char* sense = a.token[2];

  // The macro is defined whether or not the value was found; it takes effect from the
  // next line, which is expanded after this one.
  std::string value = ReadRegistryPath(cx.system, cx.encoding, path);
  if (!cx.DefineMacro(name, value)) return CommandResult::Failed();
  // The plain test is that nothing was found.
  bool test = value.empty();
  return test != Inverts(sense) ? CommandResult::Holds(a.rest) : CommandResult::Done();
}

}  // namespace setup
