// --check and /CHECK: prints the findings of the script checker.
#include "app/check_command.h"

#include "base/encoding.h"
#include "platform/system.h"
#include "script/checker.h"

namespace setup {

int RunCheckCommand(System& system, Encoding& encoding, std::string_view path,
                    std::string_view program_dir, std::string* out) {
  CheckReport report = CheckProgram(system, encoding, path, program_dir);
  std::string script = encoding.ToUtf8(report.script_path);
  for (const Finding& f : report.findings) {
    *out += script + ":" + std::to_string(f.line) +
            (f.severity == Finding::Severity::kError ? ": error: " : ": warning: ") + f.text + "\n";
  }
  return report.has_error() ? 1 : 0;
}

int RunCheckCommand(System& system, Encoding& encoding, std::string_view path,
                    std::string_view program_dir, std::FILE* out) {
  std::string findings;
  int status = RunCheckCommand(system, encoding, path, program_dir, &findings);
  std::fwrite(findings.data(), 1, findings.size(), out);
  std::fflush(out);
  return status;
}

}  // namespace setup
