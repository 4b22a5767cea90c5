#include "script/arguments.h"

#include <cstring>

namespace setup {
namespace {

class Cutter {
 public:
  Cutter(const ScriptContext& context, char* args, Arguments* out)
      : context_(context), cursor_(args), out_(out) {}

  // A token that must be complete: quoted, or followed by a blank.
  bool Token(const char* name) {
    char* token = cursor_;
    ArgumentFault fault = *token == '\0'  ? ArgumentFault::kMissing
                          : *token == '"' ? ArgumentFault::kNoClosingQuote
                                          : ArgumentFault::kNoBlank;
    char* next = NextToken(context_, &token, TokenForm::kReporting);
    if (next == nullptr) {
      out_->fault = fault;
      out_->fault_argument = name;
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
    char* next = NextToken(context_, &word, TokenForm::kReporting);
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
  bool End(const char* name) {
    if (*cursor_ != '\0') {
      out_->ignored = cursor_;
      out_->ignored_after = name;
    }
    return true;
  }

  void Colon() {
    if (*cursor_ == ':') ++cursor_;
  }
  bool Rest() {
    out_->rest = cursor_;
    return true;
  }

 private:
  void Keep(char* token) {
    if (out_->count < Arguments::kMaxTokens) out_->token[out_->count++] = token;
  }

  const ScriptContext& context_;
  char* cursor_;
  Arguments* out_;
};

}  // namespace

const char* CommandWord(KeywordId id) {
  switch (id) {
    case kDefine: return "#define";
    case kTextCopy: return "TextCopy";
    case kBinCopy: return "BinCopy";
    case kMakeDir: return "MakeDir";
    case kJapanCopy: return "JapanCopy";
    case kEnglishCopy: return "EnglishCopy";
    case kDiskCheck: return "DiskCheck";
    case kSetupDir: return "SetupDir";
    case kWindowTitle: return "WindowTitle";
    case kIfFileVersion: return "IfFileVersion";
    case kIfProductVersion: return "IfProductVersion";
    case kMessageBox: return "MessageBox";
    case kMessage: return "Message";
    case kGoto: return "Goto";
    case kIfFileDate: return "IfFileDate";
    case kErrorExit: return "ErrorExit";
    case kIfFileFind: return "IfFileFind";
    case kDefineRegistry: return "#define_registry";
    case kRegsvr: return "Regsvr";
    case kIfString: return "IfString";
    case kIfRegistryFind: return "IfRegistryFind";
    default: return "";
  }
}

bool CutArguments(const ScriptContext& context, KeywordId id, char* args, Arguments* out) {
  *out = Arguments();
  Cutter c(context, args, out);
  switch (id) {
    case kDefine:
      return c.Token("name") && c.Rest();
    case kBinCopy:
      if (!c.Token("source")) return false;
      c.Loose();
      return c.End("destination");
    case kTextCopy:
    case kJapanCopy:
    case kEnglishCopy:
      return c.Token("source") && c.Rest();
    case kMakeDir:
      c.Loose();
      return c.End("directory name");
    case kMessageBox:
      c.Loose();
      return c.End("text");
    case kDiskCheck:
      return c.Token("file name") && c.Rest();
    case kMessage:
    case kErrorExit:
      return c.Rest();
    case kRegsvr:
      return c.Token("path") && c.End("path");
    case kGoto:
      c.Colon();
      c.Loose();
      return c.End("label");
    case kLabelLine:
      c.Colon();
      c.Loose();
      return true;
    case kIfFileVersion:
    case kIfProductVersion:
      return c.Token("file") && c.Operator() && c.Token("version") && c.Token("SenseToken") &&
             c.Rest();
    case kIfFileDate:
      return c.Token("file") && c.Operator() && c.Token("second file") &&
             c.Token("SenseToken") && c.Rest();
    case kIfString:
      return c.Token("text") && c.Operator() && c.Token("second text") &&
             c.Token("SenseToken") && c.Rest();
    case kIfFileFind:
      return c.Token("file") && c.Token("SenseToken") && c.Rest();
    case kIfRegistryFind:
      return c.Token("registry path") && c.Token("SenseToken") && c.Rest();
    case kDefineRegistry:
      return c.Token("name") && c.Token("registry path") && c.Token("SenseToken") && c.Rest();
    default:
      return true;
  }
}

}  // namespace setup
