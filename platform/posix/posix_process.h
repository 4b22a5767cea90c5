// Component registration on POSIX: loading a shared object and calling its
// DllRegisterServer, and starting a program and polling it. Paths are POSIX paths.
#ifndef SETUP_PLATFORM_POSIX_POSIX_PROCESS_H_
#define SETUP_PLATFORM_POSIX_POSIX_PROCESS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"

namespace setup {

// dlopen (RTLD_NOW | RTLD_LOCAL), dlsym("DllRegisterServer") taken as a function
// without arguments that returns a 32-bit HRESULT, the call, dlclose. Succeeds when the
// call was made; kUnsupported for a library without the export.
Status CallRegisterServer(const std::string& library, std::int32_t* hresult);
// The same for the export named `entry` (DllUnregisterServer, say).
Status CallServerEntry(const std::string& library, const char* entry, std::int32_t* hresult);

// Starts `program` with `arguments` (argv[1] on) in `working_dir` (empty: the current
// directory), with this process's environment, in a process group of its own, so that a
// terminal's Ctrl-C reaches only this program. Null, with errno saying why, when the
// program cannot be executed (ENOEXEC for a shared library) or the working directory
// cannot be entered.
// The Process reaps its child when it sees it end. One destroyed before its child has
// ended leaves the child running; the next StartChildProcess or HasEnded reaps it, so
// no zombie outlives it for long (and at exit init adopts what is left).
std::unique_ptr<Process> StartChildProcess(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const std::string& working_dir);

// Splits a command-line tail at blanks (spaces and tabs); empty words are dropped.
std::vector<std::string> SplitArguments(const std::string& arguments);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_POSIX_PROCESS_H_
