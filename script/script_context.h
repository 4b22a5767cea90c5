// ScriptContext: what cutting tokens and the messages about a script line need of a run
// (the run's encoding, the script's path, the current line number and the
// reporter), and nothing else. It refers to the run's values, so it always names the
// line being read or run.
#ifndef SETUP_SCRIPT_SCRIPT_CONTEXT_H_
#define SETUP_SCRIPT_SCRIPT_CONTEXT_H_

#include <initializer_list>
#include <string>
#include <string_view>

#include "base/encoding.h"
#include "text/reporter.h"

namespace setup {

class ScriptContext {
 public:
  ScriptContext(const Encoding& encoding, Reporter& reporter, const std::string& script_path,
                const int& line_number)
      : encoding_(encoding),
        reporter_(reporter),
        script_path_(script_path),
        line_number_(line_number) {}
  ScriptContext(const ScriptContext&) = delete;
  ScriptContext& operator=(const ScriptContext&) = delete;

  const Encoding& encoding() const { return encoding_; }
  const std::string& script_path() const { return script_path_; }
  int line_number() const { return line_number_; }
  Reporter& reporter() const { return reporter_; }

  // Shows a message about the current line: `format_utf8` begins "%sの%d行目", whose
  // %s and %d take the script path and the line number.
  void ReportAtLine(std::string_view format_utf8) const {
    ReportScriptError(format_utf8, {script_path_, line_number_});
  }

  // Shows a message about the script itself (not about the system, nor a condition that
  // does not hold) and remembers that one was shown: a run that goes on after it did not
  // run its script as written, and must not end as finished.
  void ReportScriptError(std::string_view format_utf8,
                         std::initializer_list<MessageArg> args) const {
    error_shown_ = true;
    reporter_.Show(format_utf8, args);
  }

  // Whether a script error was shown since the last ForgetErrors.
  bool error_shown() const { return error_shown_; }
  void ForgetErrors() { error_shown_ = false; }

 private:
  const Encoding& encoding_;
  Reporter& reporter_;
  const std::string& script_path_;
  const int& line_number_;
  mutable bool error_shown_ = false;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_SCRIPT_CONTEXT_H_
