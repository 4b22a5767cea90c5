#include "script/lexer.h"

#include <string_view>

#include "base/code_page_text.h"
#include "base/encoding.h"

namespace setup {

char* NextToken(const ScriptContext& context, char** cursor, TokenForm form) {
  char* p = *cursor;
  if (*p == '"') {
    *cursor = ++p;
    p += FindChar(LeadByteOf(context.encoding()), std::string_view(p), 0, '"');
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
