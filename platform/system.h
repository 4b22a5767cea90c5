// The system services the portable core calls: directories, files, registry, version
// blocks, libraries and processes. The code page is not among them: the run is handed
// an Encoding (base/encoding.h) of its own. One implementation per platform
// (platform/posix, platform/win32) and an in-memory fake for the unit tests.
//
// Every path and every text here is a byte string of the process code page, exactly as
// a script writes it (backslashes, drive letters). No call shows a message: every call
// that can fail answers a Status (base/status.h), made once by the platform from its own
// error number, and hands its results out through pointers, as leveldb's Env does; the
// caller decides on the status's kind what to do and what to say.
//
// A layer that changes a few calls (a record of changes, another source of files) derives
// from SystemWrapper (platform/system_wrapper.h), which passes every other call on; a
// method added here is added there too, or the wrapper no longer compiles.
#ifndef SETUP_PLATFORM_SYSTEM_H_
#define SETUP_PLATFORM_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

class System {
 public:
  virtual ~System() = default;

  // --- Directories of the system (kUnsupported when there is no Windows installation).
  virtual Status WindowsDirectory(std::string* dir) = 0;
  virtual Status SystemDirectory(std::string* dir) = 0;

  // --- Files. Relative paths are relative to the process's current directory.
  // `*file` is set only when the file could be opened for reading.
  virtual Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) = 0;
  // `*file` is set only when the replacement could be made (fails when the destination's
  // directory is missing, say).
  virtual Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) = 0;
  // Copies a file byte for byte over an existing destination, keeping the source's
  // modification time. A file copied onto itself fails and stays intact; a failed copy
  // leaves no partial destination.
  // The status names the destination as its path and the source as its other path.
  virtual Status CopyFileBytes(const std::string& source, const std::string& destination) = 0;
  // Creates one directory level; kAlreadyExists when any entry (a file too) has the name.
  virtual Status MakeDirectory(const std::string& path) = 0;
  // Succeeds when the file exists; then `mtime` holds its last-modification time as a
  // 32-bit count of seconds.
  virtual Status GetFileStatus(const std::string& path, std::uint32_t* mtime) = 0;

  // --- Registry, read only. `*key` is set only when the key could be opened.
  virtual Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) = 0;
  // The value's data as the ANSI query returns it: strings in the code page with their
  // terminating NUL, other types as raw bytes. Fails when the value cannot be read.
  virtual Status QueryRegistryValue(RegKey key, const std::string& name, std::string* data) = 0;
  virtual void CloseRegistryKey(RegKey key) = 0;

  // --- Version resources. ReadVersionBlock fails when the file has no version resource
  // (kNotFound) or cannot be read. QueryVersionValue walks the block like VerQueryValueA:
  // "\VarFileInfo\Translation" gives the raw translation array, a
  // "\StringFileInfo\llllcccc\Name" path gives the string in the code page, without NUL;
  // kNotFound when the block holds no such value.
  virtual Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) = 0;
  virtual Status QueryVersionValue(const std::vector<std::uint8_t>& block,
                                   const std::string& sub_block, std::string* value) = 0;

  // --- Component registration.
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

#endif  // SETUP_PLATFORM_SYSTEM_H_
