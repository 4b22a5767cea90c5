// --check and /CHECK: prints the findings of the script checker.
#include "app/check_command.h"

#include "base/code_page_text.h"
#include "base/encoding.h"
#include "platform/system.h"
#include "record/product_file.h"
#include "script/checker.h"

namespace setup {
namespace {

// The product file beside the checked script, when there is one: its faults in the
// checker's form. True when it has any.
bool CheckProductFile(System& system, Encoding& encoding, const std::string& script_path,
                      std::string* out) {
  std::string path =
      script_path.substr(0, DirectoryLength(LeadByteOf(encoding), script_path)) + kProductFileName;
  ProductFile file;
  Status read = ReadProductFile(system, path, &file);
  if (read.Is(StatusKind::kNotFound)) return false;
  if (!read.ok()) file.faults.push_back({0, "the product file cannot be read"});
  *out += FormatProductFaults(encoding.ToUtf8(path), file);
  return !file.faults.empty();
}

}  // namespace

int RunCheckCommand(System& system, Encoding& encoding, std::string_view path,
                    std::string_view program_dir, std::string* out) {
  CheckReport report = CheckProgram(system, encoding, path, program_dir);
  std::string script = encoding.ToUtf8(report.script_path);
  for (const Finding& f : report.findings) {
    *out += script + ":" + std::to_string(f.line) +
            (f.severity == Finding::Severity::kError ? ": error: " : ": warning: ") + f.text + "\n";
  }
  bool product_faults = CheckProductFile(system, encoding, report.script_path, out);
  return report.has_error() || product_faults ? 1 : 0;
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
