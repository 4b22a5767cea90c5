// The machine the script fuzz targets run on: a FakeSystem with a program directory
// D:\Dist, a few files, directories, registry keys and version values, so that every
// command and condition of a script has something to find (and something to miss).
#ifndef SETUP_FUZZ_FUZZ_WORLD_H_
#define SETUP_FUZZ_FUZZ_WORLD_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "tests/unit/fakes.h"

namespace setup {

inline constexpr const char* kFuzzProgram = "D:\\Dist\\SETUP.EXE";
inline constexpr const char* kFuzzScriptPath = "D:\\Dist\\Setup.Inf";

// Registry values that the registry form of SetupDir, #define_registry and
// IfRegistryFind can reach: plain paths, a trailing backslash, an empty value, a number,
// a value with blanks in its key, one longer than the registry value buffer and ones
// with a double-byte character whose trail byte is a backslash.
inline void AddFuzzRegistry(FakeSystem& system) {
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Version", "1.2.3.4");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "", "C:\\Default");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Empty", "");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Number",
                          std::string("1\0\0\0", 4));
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Zero",
                          std::string("\0\1\0\0", 4));
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample\\Install Dir", "Dir",
                          "C:\\Program Files\\Sample");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Long",
                          "C:\\" + std::string(300, 'L') + "\\");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "LongJ",
                          "C:\\" + std::string(251, 'J') + "\x95\x5c\x95\x5c");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Kanji", "C:\\\x95\x5c");
  system.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Root", "C:\\");
  system.SetRegistryValue(kHkeyCurrentUser, "", "Name", "C:\\Users\\Name");
  system.SetRegistryValue(kHkeyCurrentUser, "Software\\Sample", "Path", "$$FD$$\\User");
  system.SetRegistryValue(kHkeyClassesRoot, ".txt", "", "txtfile");
  system.SetRegistryValue(kHkeyUsers, ".DEFAULT\\Control Panel", "Macro", "$$WINDOWS$$");
  system.AddRegistryKey(kHkeyCurrentConfig, "Software\\Fonts");
  system.AddRegistryKey(kHkeyLocalMachine, "Software\\Sample\\Version");
}

// Files, directories, version values, libraries and programs for the run.
inline void AddFuzzFiles(FakeSystem& system) {
  for (const char* dir : {"C:", "C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files",
                          "C:\\App", "D:", "D:\\Dist", "D:\\Dist\\sub"}) {
    system.AddDirectory(dir);
  }
  system.AddFile("D:\\Dist\\App.exe", std::string("MZ\0\0binary\x1a\r\n", 13), 1000);
  system.AddFile("D:\\Dist\\Readme.txt",
                 "/* \x93\xfa\x96\x7b\x8c\xea $# English */ $$SETUPDIR$$\r\n"
                 "/*$# English only */\n/*$$ unwrapped */ /* plain */\n"
                 "\x95\x5c\x2f\x2a\x8e\x9a$#\x2a\x2f text\x1a after the end",
                 2000);
  system.AddFile("D:\\Dist\\Bad.txt", "/* never closed $# \n", 3000);
  system.AddFile("D:\\Dist\\Long.txt", std::string(5000, 'x') + "\n$$FD$$\n", 3000);
  system.AddFile("D:\\Dist\\Disk2.tag", "", 0);
  system.AddFile("D:\\Dist\\sub\\Old.dll", "old", 500);
  system.AddFile("C:\\WINDOWS\\system32\\comctl32.dll", "lib", 4000);
  system.AddFile("C:\\App\\Existing.txt", "keep me", 4000);
  system.AddFile("D:\\Dist\\Locked.txt", "unreadable", 10);
  system.unreadable.insert("D:\\Dist\\Locked.txt");

  const std::string translation("\x11\x04\xa4\x03", 4);  // 0411 03A4: Japanese, 932
  system.SetVersionValues("D:\\Dist\\App.exe",
                          {{"\\VarFileInfo\\Translation", translation},
                           {"\\StringFileInfo\\041103A4\\FileVersion", "1.2.3.4"},
                           {"\\StringFileInfo\\041103A4\\ProductVersion", "5, 2, 0, 0"}});
  system.SetVersionValues(
      "C:\\WINDOWS\\system32\\comctl32.dll",
      {{"\\VarFileInfo\\Translation", std::string("\x09\x04\xb0\x04", 4)},
       {"\\StringFileInfo\\040904B0\\FileVersion", std::string("6.0\0junk", 8)}});
  system.SetVersionValues("D:\\Dist\\sub\\Old.dll", {{"\\VarFileInfo\\Translation", "\x09"}});

  system.libraries["D:\\Dist\\Good.dll"] = 0;
  system.libraries["D:\\Dist\\Bad.dll"] = static_cast<std::int32_t>(0x80004005u);
  system.libraries_without_entry.insert("D:\\Dist\\NoEntry.dll");
  system.programs.insert("D:\\Dist\\Server.exe");
  system.programs.insert("Server.exe");
}

// True when `text` is a message NextToken shows for a line of the script:
// "<script path>の<n>行目に" and "TABが有りません" or a double quote and "が有りません".
// The line number is stored in `*line`.
inline bool IsTokenMessage(std::string_view text, int* line) {
  const std::string_view prefix = "D:\\Dist\\Setup.Infの";
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  int n = 0;
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 9) {
    n = n * 10 + (text[digits] - '0');
    ++digits;
  }
  if (digits == 0) return false;
  text.remove_prefix(digits);
  *line = n;
  return text == "行目にTABが有りません" || text == "行目に\"が有りません";
}

}  // namespace setup

#endif  // SETUP_FUZZ_FUZZ_WORLD_H_
