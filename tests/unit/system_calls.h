// The System calls whose result comes through a pointer, as the tests like to write them:
// the file, key or process itself, null (0 for a key) when the call failed.
#ifndef SETUP_TESTS_UNIT_SYSTEM_CALLS_H_
#define SETUP_TESTS_UNIT_SYSTEM_CALLS_H_

#include <memory>
#include <string>

#include "platform/system.h"

namespace setup {

inline std::unique_ptr<InputFile> OpenedFile(System& system, const std::string& path) {
  std::unique_ptr<InputFile> file;
  system.OpenForReading(path, &file);
  return file;
}

inline std::unique_ptr<OutputFile> Replacement(System& system, const std::string& path) {
  std::unique_ptr<OutputFile> file;
  system.CreateReplacement(path, &file);
  return file;
}

inline RegKey OpenedKey(System& system, RegKey parent, const std::string& subkey) {
  RegKey key = 0;
  system.OpenRegistryKey(parent, subkey, &key);
  return key;
}

inline std::unique_ptr<Process> Started(System& system, const std::string& program,
                                        const std::string& arguments,
                                        const std::string& working_dir) {
  std::unique_ptr<Process> process;
  system.StartProcess(program, arguments, working_dir, &process);
  return process;
}

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_SYSTEM_CALLS_H_
