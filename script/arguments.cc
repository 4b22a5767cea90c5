#include "script/arguments.h"

#include <cstring>

namespace setup {
namespace {

class Cutter {
 public:
  Cutter(const ScriptContext& context, char* args, Arguments* out, TokenForm form)
      : context_(context), cursor_(args), out_(out), form_(form) {}

  // A token that must be complete: quoted, or followed by a blank. With `keep_on_fault`
  // one that is not is kept all the same, running to the end of the line.
  bool Token(const char* name, bool keep_on_fault) {
    char* token = cursor_;
    ArgumentFault fault = *token == '\0'  ? ArgumentFault::kMissing
                          : *token == '"' ? ArgumentFault::kNoClosingQuote
                                          : ArgumentFault::kNoBlank;
    char* next = NextToken(context_, &token, form_);
    if (next == nullptr) {
      out_->fault = fault;
      out_->fault_argument = name;
      if (keep_on_fault) Keep(token);
      return false;
    }
    Keep(token);
    cursor_ = next;
    return true;
  }

  // A loose token: ends at its closing quote, a blank or the end of the line.
  void Loose() {
    char* token = cursor_;
    char* next = NextToken(context_, &token, TokenForm::kSilent);
    Keep(token);
    cursor_ = next != nullptr ? next : token + std::strlen(token);  // it ran to the end
  }

  // The comparison word, when the token at the cursor begins with one.
  bool Operator() {
    CompareOp op = OperatorToken(cursor_);
    if (op == CompareOp::kNone) return true;
    char* word = cursor_;
    char* next = NextToken(context_, &word, form_);
    if (next == nullptr) {
      out_->fault = ArgumentFault::kNoBlank;
      out_->fault_argument = "comparison word";
      return false;
    }
    out_->op = op;
    cursor_ = next;
    return true;
  }

  // The command reads nothing after its last argument, `name`.
  void End(const char* name) {
    if (*cursor_ != '\0') {
      out_->ignored = cursor_;
      out_->ignored_after = name;
    }
  }

  void Colon() {
    if (*cursor_ == ':') ++cursor_;
  }
  void Rest() { out_->rest = cursor_; }

 private:
  void Keep(char* token) {
    if (out_->count < Arguments::kMaxTokens) out_->token[out_->count++] = token;
  }

  const ScriptContext& context_;
  char* cursor_;
  Arguments* out_;
  TokenForm form_;
};

}  // namespace

bool CutArguments(const ScriptContext& context, KeywordId id, char* args, Arguments* out,
                  TokenForm form) {
  *out = Arguments();
  Cutter c(context, args, out, form);
  for (const ArgumentLayout::Step& step : RowOf(id).layout.steps) {
    switch (step.step) {
      case ArgumentStep::kStop: return true;
      case ArgumentStep::kToken:
      case ArgumentStep::kReported:
        if (!c.Token(step.name, step.step == ArgumentStep::kReported)) return false;
        break;
      case ArgumentStep::kLoose: c.Loose(); break;
      case ArgumentStep::kOperator:
        if (!c.Operator()) return false;
        break;
      case ArgumentStep::kColon: c.Colon(); break;
      case ArgumentStep::kRest: c.Rest(); break;
      case ArgumentStep::kEnd: c.End(step.name); break;
    }
  }
  return true;
}

}  // namespace setup
