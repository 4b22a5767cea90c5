// Start-up: the program directory, the built-in macros, the script and SetupDialog.
#ifndef SETUP_SCRIPT_STARTUP_H_
#define SETUP_SCRIPT_STARTUP_H_

#include <string>
#include <string_view>

namespace setup {

class Encoding;
class System;
struct SetupRun;

// Exit status of the process.
inline constexpr int kExitFinished = 0;
inline constexpr int kExitRunFailed = 1;
inline constexpr int kExitCancelled = 2;
inline constexpr int kExitStartupFailed = 3;
// Not StartSetup's: the programs answer it when the run finished (0) but the install log
// it was asked to keep could not be written to its end.
inline constexpr int kExitTranscriptFailed = 4;

struct LoadedScript;

// What a program does around the run of the script (the install record of a product).
class RunHooks {
 public:
  virtual ~RunHooks() = default;
  // Before the script's first command, with the destination accepted. False: the run
  // does not start and counts as failed; the reason has been shown.
  virtual bool BeforeRun(const LoadedScript& loaded, const std::string& destination) = 0;
  // After the run; `finished`: it will end with kExitFinished.
  virtual void AfterRun(bool finished) = 0;
};

// Choices a program makes for its platform before start-up.
struct StartOptions {
  // The program directory loses a trailing slash as well as a trailing backslash (the
  // POSIX program, whose paths may be written either way).
  bool strip_trailing_slash = false;
  // Told before and after the run; null: none.
  RunHooks* hooks = nullptr;
};

// Program directory from `first_argument` (code-page bytes, the path by which the
// program was started), the built-in macros, the script, SetupDialog. A destination the
// code page cannot hold is refused with a message, before anything is written; when the
// front end cannot ask again (SetupDialog answers kIdFailed) start-up ends with 3.
// Returns the exit status.
int StartSetup(SetupRun& run, std::string_view first_argument, const StartOptions& options = {});

// Drive and directory of `first_argument` without its trailing separator (a backslash,
// or on POSIX also a slash).
std::string ProgramDirectory(const Encoding& encoding, std::string_view first_argument,
                             bool strip_slash);

}  // namespace setup

#endif  // SETUP_SCRIPT_STARTUP_H_
