#include "script/lexer.h"

namespace setup {

char* NextToken(const ScriptContext& context, char** cursor, TokenForm form) {
  char* p = *cursor;
  if (*p == '"') {
    *cursor = ++p;
    while (*p && *p != '"') {
      if (context.IsLeadByte(static_cast<unsigned char>(*p))) {
        if (!p[1]) {
          ++p;
          break;
        }
        p += 2;
      } else {
        ++p;
      }
    }
    if (*p != '"') {
      if (form == TokenForm::kReporting) {
        context.ReportAtLine("%sの%d行目に\"が有りません");
      }
      return nullptr;
    }
  } else {
    while (*p && !IsBlank(*p)) ++p;
    if (!*p) {
      if (form == TokenForm::kReporting) {
        context.ReportAtLine("%sの%d行目にTABが有りません");
      }
      return nullptr;
    }
  }
  *p = '\0';
  return SkipBlanks(p + 1);
}

}  // namespace setup
