// --pack: one installer file from a program directory, natively.
#ifndef SETUP_APP_PACK_COMMAND_H_
#define SETUP_APP_PACK_COMMAND_H_

#include <string>

namespace setup {

class Encoding;
class System;

struct PackRequest {
  std::string dir;     // the program directory (UTF-8 POSIX path)
  std::string output;  // the package to write
  std::string loader;  // the stripped Setup.exe it begins with
};

// Checks the script of `request.dir` (refusing, with the findings on standard error, when
// it has an error), then writes the package: every regular file under the directory
// (links followed) but a Setup.exe at its top, which the loader replaces. The package is
// written beside `request.output` and renamed over it when whole. Answers 0, 1 when the
// script has an error, 3 for any other failure (said on standard error, after `program`).
int RunPackCommand(System& system, Encoding& encoding, const PackRequest& request,
                   const std::string& program);

// The loader of `win64` (the 64-bit Setup.exe) or the 32-bit one for the program at
// `self` (its own path): installed beside it in ../share/setup/win{32,64}/Setup.exe,
// else in the build tree's ../win{32,64}/Setup.exe. Empty when neither is there.
std::string FindLoader(const std::string& self, bool win64);

}  // namespace setup

#endif  // SETUP_APP_PACK_COMMAND_H_
