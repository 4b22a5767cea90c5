#include "script/line_walker.h"

#include <cstring>

#include "script/arguments.h"
#include "script/lexer.h"

namespace setup {

bool LineWalker::Next() {
  ++line_number_;
  cursor_ = work_;
  *work_ = '\0';
  ScriptStore::LineResult got = store_.LineAt(&offset_, raw_, sizeof raw_);
  too_long_ = got == ScriptStore::LineResult::kTooLong;
  return got != ScriptStore::LineResult::kEnd;
}

const KeywordRow& LineWalker::StoredRow() const {
  const char* p = raw_;
  while (IsBlank(*p)) ++p;
  return ClassifyRow(p);
}

LineFault LineWalker::Expand() {
  if (too_long_) return LineFault::kTooLong;
  if (!macros_.Expand(raw_, work_, sizeof work_)) return LineFault::kExpandedTooLong;
  cursor_ = SkipBlanks(work_);
  return LineFault::kNone;
}

LabelFault CutLabel(const ScriptContext& context, KeywordId id, char* args, const char** label) {
  Arguments a;
  CutArguments(context, id, args, &a);
  *label = a.token[0];
  return FaultOfLabel(*label);
}

LabelFault FaultOfLabel(const char* label) {
  std::size_t length = std::strlen(label);
  if (length == 0) return LabelFault::kEmpty;
  return length >= kLabelSize ? LabelFault::kTooLong : LabelFault::kNone;
}

}  // namespace setup
