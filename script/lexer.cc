#include "script/lexer.h"

#include <string_view>

#include "base/code_page_text.h"

namespace setup {

char* NextToken(const ScriptContext& context, char** cursor, TokenForm form) {
  char* p = *cursor;
  if (*p == '"') {
    *cursor = ++p;
    auto is_lead_byte = [&context](unsigned char b) { return context.IsLeadByte(b); };
    p += FindChar(is_lead_byte, std::string_view(p), 0, '"');
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
