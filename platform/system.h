// The system services the portable core calls: directories, files, registry, version
// blocks, libraries and processes. The code page is not among them: the run is handed
// an Encoding (base/encoding.h) of its own. One implementation per platform
// (platform/posix, platform/win32) and an in-memory fake for the unit tests.
//
// Every path and every text here is a byte string of the process code page, exactly as
// a script writes it (backslashes, drive letters). No call shows a message; a failure is
// reported in the result and the caller decides what to say.
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
  // Writes all `size` bytes; false on a write error (a full disk included).
  virtual bool Write(const void* data, std::size_t size) = 0;
  // False when flushing, closing or renaming fails; the destination is then unchanged.
  virtual bool Commit() = 0;
  // Gives the file, once committed, this last-modification time (nanoseconds since 1970,
  // UTC), as a byte copy keeps its source's. Called after the last Write and before
  // Commit; false when the time cannot be set (an output that keeps no times).
  virtual bool SetModificationTime(std::int64_t /*ns_since_1970*/) { return false; }
};

// A started process.
class Process {
 public:
  virtual ~Process() = default;
  // Polls with a zero time-out: true once the process has ended.
  virtual bool HasEnded() = 0;
};

enum class MakeDirResult { kCreated, kAlreadyExists, kFailed };
enum class DllRegisterResult { kNotLoaded, kNoEntryPoint, kCalled };

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

  // --- Directories of the system (false when there is no Windows installation).
  virtual bool WindowsDirectory(std::string* dir) = 0;
  virtual bool SystemDirectory(std::string* dir) = 0;

  // --- Files. Relative paths are relative to the process's current directory.
  // Null when the file cannot be opened for reading.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;
  // Null when the destination cannot be created (its directory is missing, say).
  virtual std::unique_ptr<OutputFile> CreateReplacement(const std::string& path) = 0;
  // Copies a file byte for byte over an existing destination, keeping the source's
  // modification time. A file copied onto itself fails and stays intact; a failed copy
  // leaves no partial destination.
  virtual bool CopyFileBytes(const std::string& source, const std::string& destination) = 0;
  // Creates one directory level.
  virtual MakeDirResult MakeDirectory(const std::string& path) = 0;
  // True when the file exists; then `mtime` holds its last-modification time as a
  // 32-bit count of seconds.
  virtual bool GetFileStatus(const std::string& path, std::uint32_t* mtime) = 0;

  // --- Registry, read only. OpenRegistryKey answers 0 when the key cannot be opened.
  virtual RegKey OpenRegistryKey(RegKey parent, const std::string& subkey) = 0;
  // The value's data as the ANSI query returns it: strings in the code page with their
  // terminating NUL, other types as raw bytes. False when the value cannot be read.
  virtual bool QueryRegistryValue(RegKey key, const std::string& name, std::string* data) = 0;
  virtual void CloseRegistryKey(RegKey key) = 0;

  // --- Version resources. ReadVersionBlock answers false when the file has no version
  // resource or cannot be read. QueryVersionValue walks the block like VerQueryValueA:
  // "\VarFileInfo\Translation" gives the raw translation array, a
  // "\StringFileInfo\llllcccc\Name" path gives the string in the code page, without NUL.
  virtual bool ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) = 0;
  virtual bool QueryVersionValue(const std::vector<std::uint8_t>& block,
                                 const std::string& sub_block, std::string* value) = 0;

  // --- Component registration.
  // Loads the library, calls its DllRegisterServer and unloads it; `hresult` receives
  // the 32-bit result when the call was made.
  virtual DllRegisterResult CallDllRegisterServer(const std::string& path,
                                                  std::int32_t* hresult) = 0;
  // Starts `program` with `arguments` (one blank-separated text, such as "/regserver")
  // in `working_dir` (empty: the current directory). Null when it cannot be started.
  virtual std::unique_ptr<Process> StartProcess(const std::string& program,
                                                const std::string& arguments,
                                                const std::string& working_dir) = 0;
  virtual void SleepMilliseconds(int ms) = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_SYSTEM_H_
