// The checker held against a run: program directories generated from a byte string
// (every command, conditions both ways, files present and absent, names spelt in other
// cases and forms, folders made and not), each checked and run over the in-memory fake
// seen as Windows sees files. The property: a run that ends 0 has no error on a line it
// ran, and a run that stops at a line for a reason in the script (a script error, a copy
// or a folder that fails) has a finding at that line. The unit tests draw the bytes from
// fixed seeds, the fuzz target from its input.
#ifndef SETUP_TESTS_UNIT_CHECK_PROPERTY_H_
#define SETUP_TESTS_UNIT_CHECK_PROPERTY_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/checker.h"
#include "script/command_context.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"
#include "tests/unit/windows_view.h"

namespace setup {

// Choices drawn from a byte string; 0 once it is used up.
class Choices {
 public:
  explicit Choices(std::string_view bytes) : bytes_(bytes) {}
  int Pick(int n) {
    return pos_ < bytes_.size() ? static_cast<unsigned char>(bytes_[pos_++]) % n : 0;
  }
  template <typename T, std::size_t N>
  const T& From(const T (&items)[N]) {
    return items[Pick(static_cast<int>(N))];
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

struct GeneratedProgram {
  struct File {
    std::string path, data;
    std::uint32_t mtime;
  };
  std::vector<File> files;
  std::vector<std::string> directories;
  bool versioned = false;  // D:\Dist\x.dll has a file version
  std::string script;      // lines ending in LF, one stored line each

  void Install(FakeSystem& system) const {
    for (const std::string& dir : directories) system.AddDirectory(dir);
    for (const File& f : files) system.AddFile(f.path, f.data, f.mtime);
    if (versioned) {
      system.SetVersionValues("D:\\Dist\\x.dll",
                              {{"\\VarFileInfo\\Translation", std::string("\x11\x04\xa4\x03", 4)},
                               {"\\StringFileInfo\\041103A4\\FileVersion", "1.2"}});
    }
    if (system.HasFile("D:\\Dist\\comp.dll")) system.libraries["D:\\Dist\\comp.dll"] = 0;
    system.SetRegistryValue(kHkeyCurrentUser, "Software\\Sample", "Path", "C:\\Inst");
    system.AddFile("D:\\Dist\\Setup.Inf", script);
  }
};

namespace generated {

inline const char* const kNames[] = {"app.dat",  "opt.dat",        "pro.tag",    "disk2.tag",
                                     "lite.dat", "x.dll",          "readme.txt", "bad.txt",
                                     "files",    "files\\app.dat", "comp.dll"};

// A name of the program directory, spelt as Windows finds it, or not.
inline std::string Spelt(Choices& c, std::string name) {
  switch (c.Pick(6)) {
    case 0:
      std::transform(name.begin(), name.end(), name.begin(),
                     [](char ch) { return ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch; });
      return name;
    case 1: return ".\\" + name;
    case 2: return "sub\\..\\" + name;
    case 3: return name + ".";
    default: return name;
  }
}

inline std::string Source(Choices& c) { return "$$FD$$\\" + Spelt(c, c.From(kNames)); }

inline std::string Destination(Choices& c, bool token) {
  const char* const leaves[] = {"app.dat", "copy.dat", "a b.dat", "x.dll"};
  const char* const folders[] = {"$$SETUPDIR$$",
                                 "$$SETUPDIR$$",
                                 "$$SETUPDIR$$\\sub",
                                 "$$SETUPDIR$$\\sub\\deep",
                                 "$$FD$$\\out",
                                 "$$FD$$",
                                 "$$FD$$",
                                 "C:\\Inst\\sub",
                                 "$$SetupDir$$",
                                 "$$FD$$\\files"};
  std::string path = std::string(c.From(folders)) + "\\" + c.From(leaves);
  if (c.Pick(8) == 0) path += "\"q";
  return token ? "\"" + path + "\"" : path;
}

inline std::string Folder(Choices& c) {
  const char* const folders[] = {"$$SETUPDIR$$", "$$SETUPDIR$$\\sub", "$$SETUPDIR$$\\sub\\deep",
                                 "$$FD$$\\out",  "$$FD$$\\out\\deep", "$$FD$$\\files\\deep"};
  return "\"" + std::string(c.From(folders)) + "\"";
}

inline std::string Command(Choices& c, int depth);

inline std::string Condition(Choices& c, int depth) {
  const char* sense = c.Pick(2) == 0 ? "N" : "E";
  const char* const ops[] = {"=", "<", "<=", ">", ">="};
  std::string test;
  const char* const registry[] = {"HKEY_CURRENT_USER\\Software\\Sample\\Path",
                                  "HKEY_CURRENT_USER\\Software\\Nothing\\Path"};
  switch (c.Pick(8)) {
    case 0: test = "IfFileFind " + Source(c); break;
    case 5: test = std::string("IfProductVersion ") + Source(c) + " " + c.From(ops) + " 1.1"; break;
    case 6: test = std::string("IfRegistryFind ") + c.From(registry); break;
    case 7:
      test = std::string("#define_registry %R") + char('0' + c.Pick(3)) + "% " + c.From(registry);
      break;
    case 1: test = "IfFileDate " + Source(c) + " " + c.From(ops) + " " + Source(c); break;
    case 2: test = std::string("IfFileVersion ") + Source(c) + " " + c.From(ops) + " 1.1"; break;
    case 3: test = std::string("IfString %M") + char('0' + c.Pick(3)) + "% = full"; break;
    default: test = "IfString \"$$SETUPDIR$$\" = C:\\Inst"; break;
  }
  return test + " " + sense + " " + Command(c, depth + 1);
}

inline std::string Command(Choices& c, int depth) {
  switch (c.Pick(depth > 1 ? 13 : 16)) {
    case 0:
    case 1:
    case 2: return "BinCopy " + Source(c) + " " + Destination(c, true);
    case 3:
    case 4: return "TextCopy " + Source(c) + " " + Destination(c, false);
    case 5:
    case 6: return "MakeDir " + Folder(c);
    case 7: return std::string("#define %M") + char('0' + c.Pick(3)) + "% full";
    case 8: return std::string("Goto L") + char('0' + c.Pick(3));
    case 9: return "DiskCheck " + std::string(c.From(kNames)) + " Disk 2";
    case 10: return "Regsvr $$FD$$\\comp.dll ";
    case 11: return c.Pick(3) == 0 ? "ErrorExit stop" : (c.Pick(2) == 0 ? "Bogus" : "' c");
    case 12: {
      const char* const others[] = {"Message ", "MessageBox ", "JapanCopy ", "EnglishCopy "};
      std::string word = c.From(others);
      return word + Source(c) + (word[0] == 'J' ? " " + Destination(c, false) : "");
    }
    default: return Condition(c, depth);
  }
}

}  // namespace generated

inline GeneratedProgram GenerateProgram(std::string_view bytes) {
  Choices c(bytes);
  GeneratedProgram p;
  p.directories = {"C:", "D:", "D:\\Dist"};
  if (c.Pick(2) == 0) p.directories.push_back("C:\\Inst");
  if (c.Pick(2) == 0) p.directories.push_back("D:\\Dist\\files");
  for (const char* name : generated::kNames) {
    if (std::string_view(name) == "files" || c.Pick(4) == 0) continue;
    std::string data = std::string_view(name) == "bad.txt" ? "/* open\n" : "data\n";
    p.files.push_back(
        {std::string("D:\\Dist\\") + name, data, static_cast<std::uint32_t>(c.Pick(3) * 100)});
    if (std::string_view(name) == "files\\app.dat") p.directories.push_back("D:\\Dist\\files");
  }
  p.versioned = c.Pick(2) == 0;
  // A quoted title leaves the rest of its line as a line of its own: from there on the
  // run counts one line more than an editor.
  p.script = c.Pick(3) == 0 ? "WindowTitle \"Demo App\"\n" : "";
  p.script += "SetupDir C:\\Inst \n";
  if (c.Pick(2) == 0) p.script += "MakeDir \"$$SETUPDIR$$\"\n";
  for (int n = 2 + c.Pick(16); n > 0; --n) {
    p.script +=
        c.Pick(3) == 0 ? std::string(":L") + char('0' + c.Pick(3)) : generated::Command(c, 0);
    p.script += "\n";
  }
  return p;
}

namespace generated {

struct RunOutcome {
  int status;
  std::vector<std::string> messages;
  int last_line;
};

inline RunOutcome Run(const GeneratedProgram& p) {
  FakeSystem system;
  p.Install(system);
  WindowsView view(system);
  FakeUi ui;
  auto run = std::make_unique<SetupRun>(view, ui, system.encoding);
  int status = StartSetup(*run, "D:\\Dist\\SETUP.EXE");
  return {status, ui.messages, ui.positions.empty() ? 0 : ui.positions.back()};
}

// Where line `line` (from 1) of `script` begins; npos past the last line.
inline std::size_t LineStart(const std::string& script, int line) {
  std::size_t start = 0;
  for (int n = 1; n < line && start != std::string::npos; ++n) {
    start = script.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  return start < script.size() ? start : std::string::npos;
}

inline std::string LineOf(const std::string& script, int line) {
  std::size_t start = LineStart(script, line);
  if (start == std::string::npos) return {};
  return script.substr(start, script.find('\n', start) - start);
}

// Whether a run of `p` runs line `line`: with the line made a Message, it shows it.
inline bool RunsLine(const GeneratedProgram& p, int line) {
  std::size_t start = LineStart(p.script, line);
  if (start == std::string::npos) return false;
  GeneratedProgram probe = p;
  probe.script.replace(start, p.script.find('\n', start) - start, "Message __probe__");
  RunOutcome out = Run(probe);
  return std::find(out.messages.begin(), out.messages.end(), "__probe__") != out.messages.end();
}

// A run stopped by the script itself, not by the user, a registration or ErrorExit, nor
// by a folder outside the program directory, which a check takes as unknown.
inline bool StoppedByScript(const std::string& message, const std::string& line) {
  for (const char* word : {"ErrorExit", "DiskCheck", "Regsvr", "Message", "C:\\Inst"}) {
    if (line.find(word) != std::string::npos) return false;
  }
  return message.find("Setup.Inf") != std::string::npos ||
         message.rfind("Setup script Error (", 0) == 0 || message.rfind("GOTO ", 0) == 0 ||
         message.rfind("It failed in the copy", 0) == 0 ||
         message.find("directroy can not be make") != std::string::npos ||
         message.rfind("Can't", 0) == 0 || message.find("Syntax Error") != std::string::npos;
}

}  // namespace generated

inline std::string CheckAgainstRun(const GeneratedProgram& p) {
  FakeSystem system;
  p.Install(system);
  WindowsView view(system);
  CheckReport report = CheckProgram(view, system.encoding, "D:\\Dist", "");
  generated::RunOutcome run = generated::Run(p);
  auto at = [&](int line, bool errors_only) {
    return std::any_of(report.findings.begin(), report.findings.end(), [&](const Finding& f) {
      return f.line == line && (!errors_only || f.severity == Finding::Severity::kError);
    });
  };
  if (run.status == kExitFinished) {
    for (const Finding& f : report.findings) {
      if (f.severity == Finding::Severity::kError && f.line > 0 && generated::RunsLine(p, f.line)) {
        return "false alarm at line " + std::to_string(f.line) + ": " + f.text;
      }
    }
    return {};
  }
  if (run.status != kExitRunFailed || run.messages.empty()) return {};
  bool titled = p.script.rfind("WindowTitle", 0) == 0;
  int editor_line = titled && run.last_line > 1 ? run.last_line - 1 : run.last_line;
  std::string line = generated::LineOf(p.script, editor_line);
  // What a registry condition decided is unknown to a check, and so is all that follows.
  bool registry = p.script.find("Registry") != std::string::npos ||
                  p.script.find("registry") != std::string::npos;
  if (!registry && generated::StoppedByScript(run.messages.back(), line) &&
      !at(editor_line, false)) {
    return "miss at line " + std::to_string(editor_line) + ": " + run.messages.back();
  }
  return {};
}

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_CHECK_PROPERTY_H_
