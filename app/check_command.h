// --check and /CHECK: the script checker as a command of both programs.
#ifndef SETUP_APP_CHECK_COMMAND_H_
#define SETUP_APP_CHECK_COMMAND_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace setup {

class Encoding;
class System;

// Checks the script at `path` (a program directory or a script file; empty: `program_dir`,
// the program's own directory) without running or writing anything, and writes one finding
// per line, "PATH:LINE: error: TEXT" or "PATH:LINE: warning: TEXT", UTF-8, to `out`.
// Returns 1 when there is an error, else 0.
// `path` and `program_dir` are bytes of `encoding`, as `system` takes paths.
int RunCheckCommand(System& system, Encoding& encoding, std::string_view path,
                    std::string_view program_dir, std::FILE* out);

// The same, with the findings appended to `out` in memory: nothing touches a file.
int RunCheckCommand(System& system, Encoding& encoding, std::string_view path,
                    std::string_view program_dir, std::string* out);

}  // namespace setup

#endif  // SETUP_APP_CHECK_COMMAND_H_
