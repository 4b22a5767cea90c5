// The roles of System, each a narrow interface for a consumer that needs only one: the
// text filter opens files and makes replacements (FileOpener); sysquery/ reads the
// registry (RegistryReader) and version resources (VersionReader) and registers
// components (ComponentRegistrar). System (system.h) derives from all of them, so every
// implementation, wrapper and fake serves each role; a consumer that takes a role can be
// handed a System, or anything else that plays the role alone.
//
// Paths and texts are byte strings of the process code page, as in system.h; a call that
// can fail answers a Status (base/status.h) and hands its results out through pointers.
#ifndef SETUP_PLATFORM_SYSTEM_ROLES_H_
#define SETUP_PLATFORM_SYSTEM_ROLES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"

namespace setup {

// A file open for binary reading.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `size` bytes. Returns the number read, 0 at the end of the file, or -1
  // on a read error.
  virtual std::ptrdiff_t Read(void* buffer, std::size_t size) = 0;
};

// A file being written in place of a destination. The bytes go to a temporary file
// beside the destination; Commit() flushes, closes and renames it over the destination.
// An output destroyed without a successful Commit() removes its temporary file and
// leaves the destination as it was.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all `size` bytes; kWriteError or kDiskFull (with the OS error) when they
  // cannot be written. A failed write spoils the output: later writes and the commit fail.
  virtual Status Write(const void* data, std::size_t size) = 0;
  // Fails when flushing, closing or renaming fails; the destination is then unchanged.
  virtual Status Commit() = 0;
  // Gives the file, once committed, this last-modification time (nanoseconds since 1970,
  // UTC), as a byte copy keeps its source's. Called after the last Write and before
  // Commit; kUnsupported for an output that keeps no times.
  virtual Status SetModificationTime(std::int64_t /*ns_since_1970*/) {
    return Status(StatusKind::kUnsupported);
  }
};

// A started process.
class Process {
 public:
  virtual ~Process() = default;
  // Polls with a zero time-out: true once the process has ended.
  virtual bool HasEnded() = 0;
};

// Registry keys are opaque handles; 0 is no key. The predefined roots have the values
// Windows gives them and are never closed.
using RegKey = std::uintptr_t;
inline constexpr RegKey kHkeyClassesRoot = 0x80000000u;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001u;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;
inline constexpr RegKey kHkeyUsers = 0x80000003u;
inline constexpr RegKey kHkeyCurrentConfig = 0x80000005u;

// Reading files and writing replacements. Relative paths are relative to the process's
// current directory.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  // `*file` is set only when the file could be opened for reading.
  virtual Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) = 0;
  // `*file` is set only when the replacement could be made (fails when the destination's
  // directory is missing, say).
  virtual Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) = 0;
};

// The registry, read only.
class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  // `*key` is set only when the key could be opened.
  virtual Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) = 0;
  // The value's data as the ANSI query returns it: strings in the code page with their
  // terminating NUL, other types as raw bytes. Fails when the value cannot be read.
  virtual Status QueryRegistryValue(RegKey key, const std::string& name, std::string* data) = 0;
  virtual void CloseRegistryKey(RegKey key) = 0;
};

// Version resources. ReadVersionBlock fails when the file has no version resource
// (kNotFound) or cannot be read. QueryVersionValue walks the block like VerQueryValueA:
// "\VarFileInfo\Translation" gives the raw translation array, a
// "\StringFileInfo\llllcccc\Name" path gives the string in the code page, without NUL;
// kNotFound when the block holds no such value.
class VersionReader {
 public:
  virtual ~VersionReader() = default;
  virtual Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) = 0;
  virtual Status QueryVersionValue(const std::vector<std::uint8_t>& block,
                                   const std::string& sub_block, std::string* value) = 0;
};

// Component registration.
class ComponentRegistrar {
 public:
  virtual ~ComponentRegistrar() = default;
  // Loads the library, calls its DllRegisterServer and unloads it; succeeds when the call
  // was made, and then `hresult` receives its 32-bit result. A library that cannot be
  // loaded fails with the loader's error; one without the export with kUnsupported.
  virtual Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) = 0;
  // Starts `program` with `arguments` (one blank-separated text, such as "/regserver")
  // in `working_dir` (empty: the current directory). `*process` is set only when it
  // could be started.
  virtual Status StartProcess(const std::string& program, const std::string& arguments,
                              const std::string& working_dir,
                              std::unique_ptr<Process>* process) = 0;
  virtual void SleepMilliseconds(int ms) = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_SYSTEM_ROLES_H_
