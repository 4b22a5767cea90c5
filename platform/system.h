// The system services the portable core calls: directories, files, registry, version
// blocks, libraries and processes. The code page is not among them: the run is handed
// an Encoding (base/encoding.h) of its own. One implementation per platform
// (platform/posix, platform/win32) and an in-memory fake for the unit tests. Its calls
// are grouped in roles (platform/system_roles.h) for the consumers that need only one.
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
#include <vector>

#include "base/status.h"
#include "platform/system_roles.h"

namespace setup {

// A file written in place, at offsets: the install record, whose blocks are appended and
// whose header is rewritten. Closed when destroyed.
class RecordFile {
 public:
  virtual ~RecordFile() = default;
  // Writes all `size` bytes at `offset`, extending the file as needed.
  virtual Status WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  // Forces what was written to the disk (fdatasync, FlushFileBuffers).
  virtual Status Sync() = 0;
};

// Sees the bytes a copy writes (System::CopyFileBytesWatched), in order, from the memory
// they are written from, so that whoever needs them (the install record's digest) does
// not read the file back. It asks for the copies of sources of at most `limit` bytes and
// no others: every platform and layer watches the same copies, so that what the watcher's
// owner makes of them (the install record) is the same whoever copied.
class CopyWatcher {
 public:
  explicit CopyWatcher(std::uint64_t limit) : limit_(limit) {}
  virtual ~CopyWatcher() = default;
  std::uint64_t limit() const { return limit_; }
  // The copy begins, or begins again after a failed attempt: what was seen is forgotten.
  virtual void Begin() = 0;
  // The next `size` bytes written.
  virtual void Written(const void* data, std::size_t size) = 0;

 private:
  std::uint64_t limit_;
};

// Every role of system_roles.h, and the calls no narrower consumer has yet.
class System : public FileOpener,
               public RegistryReader,
               public VersionReader,
               public ComponentRegistrar {
 public:
  virtual ~System() = default;

  // --- Directories of the system (kUnsupported when there is no Windows installation).
  virtual Status WindowsDirectory(std::string* dir) = 0;
  virtual Status SystemDirectory(std::string* dir) = 0;

  // --- Files (OpenForReading and CreateReplacement: FileOpener). Relative paths are
  // relative to the process's current directory.
  // Copies a file byte for byte over an existing destination, keeping the source's
  // modification time. A file copied onto itself fails and stays intact; a failed copy
  // leaves no partial destination.
  // The status names the destination as its path and the source as its other path.
  virtual Status CopyFileBytes(const std::string& source, const std::string& destination) = 0;
  // CopyFileBytes, handing `watcher` the bytes as they are written when the source holds
  // at most watcher->limit() bytes as the copy begins: `*watched` then says that it saw
  // every byte of the destination. False: it saw none (a larger source, or a system that
  // watches no copies), and a caller that needs the bytes reads the destination back.
  // Here, and in a layer that does not pass it on, a plain CopyFileBytes.
  virtual Status CopyFileBytesWatched(const std::string& source, const std::string& destination,
                                      CopyWatcher* watcher, bool* watched) {
    (void)watcher;
    *watched = false;
    return CopyFileBytes(source, destination);
  }
  // A byte copy of the run, as the script will ask for it: source and destination.
  struct CopyPair {
    std::string source;
    std::string destination;
  };
  // Says that the next calls will be CopyFileBytes of `copies`, in this order, with no
  // other call between them. A hint only: a system may prepare those copies ahead on
  // other threads up to the point where they would show (never renaming one onto its
  // destination before its own call), and must then give each call exactly the outcome it
  // would have had unprepared. Any other call, or a copy that is not the next one
  // announced, drops what was prepared and leaves no trace of it. Here nothing is done.
  virtual void ExpectCopies(const std::vector<CopyPair>& copies) { (void)copies; }
  // Whether ExpectCopies does anything here: a run announces no copies to a system that
  // would not use them, and spends nothing on finding them.
  virtual bool PreparesCopies() const { return false; }
  // Creates one directory level; kAlreadyExists when any entry (a file too) has the name.
  virtual Status MakeDirectory(const std::string& path) = 0;
  // Succeeds when the file exists; then `mtime` holds its last-modification time as a
  // 32-bit count of seconds.
  virtual Status GetFileStatus(const std::string& path, std::uint32_t* mtime) = 0;

  // The registry, version resources and component registration: the roles
  // RegistryReader, VersionReader and ComponentRegistrar.

  // --- What the install record needs to know a change and to take it back. Each answers
  // a Status; kNotFound when the path names nothing.
  // The size of a file; kIsDirectory for a folder.
  virtual Status GetFileSize(const std::string& path, std::uint64_t* size) = 0;
  // Deletes one file, never a folder.
  virtual Status RemoveFile(const std::string& path) = 0;
  // Removes a folder only when it is empty; a folder that is not fails (kFailed).
  virtual Status RemoveEmptyDirectory(const std::string& path) = 0;
  // Renames a file within its volume; an existing `to` is replaced only when `replace`,
  // else the rename fails with kAlreadyExists.
  virtual Status RenameFile(const std::string& from, const std::string& to, bool replace) = 0;
  // Gives the file `existing` the second name `link` on the same volume (a hard link), so
  // that its bytes survive a replacement of `existing`; kUnsupported where the file
  // system has no such links.
  virtual Status LinkFile(const std::string& existing, const std::string& link) = 0;
  // Opens the file at `path` for writing at offsets, creating it when `create` (else
  // kNotFound when it is missing).
  virtual Status OpenRecordFile(const std::string& path, bool create,
                                std::unique_ptr<RecordFile>* file) = 0;
  // Loads the library, calls its DllUnregisterServer and unloads it: kNotFound when it
  // cannot be loaded, kUnsupported when it has no such export; else ok with `hresult`.
  virtual Status CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) = 0;
  // Has a file that is in use deleted at the next restart (Windows); kUnsupported where
  // there is no such thing.
  virtual Status RemoveFileAtRestart(const std::string& path) = 0;

  // --- Registry, written (the uninstall entry). A key opened here is read with
  // QueryRegistryValue and closed with CloseRegistryKey like any other. Every key is
  // opened and written in the machine's own view (KEY_WOW64_64KEY): Setup.exe's 32- and
  // 64-bit builds and the native program all write and find the same key, never a
  // Wow6432Node copy of it. Strings are code-page bytes, as everywhere here.
  //
  // Opens `subkey` (backslash-separated names) under `parent`, a root or a key opened
  // here, for reading and writing. kCreateIfMissing creates it and the keys on its way;
  // kMustExist answers kNotFound when it is missing.
  enum class KeyDisposition { kMustExist, kCreateIfMissing };
  virtual Status OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                           KeyDisposition disposition, RegKey* key) = 0;
  // A REG_SZ value, or REG_EXPAND_SZ when `expandable`; an empty name is the default value.
  virtual Status SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                                   bool expandable) = 0;
  virtual Status SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) = 0;
  // kNotFound when the key holds no such value.
  virtual Status DeleteRegistryValue(RegKey key, const std::string& name) = 0;
  // Deletes `subkey` of `parent` (a root or a key opened here) with its values and every
  // key beneath it. kNotFound when there is no such key.
  virtual Status DeleteRegistryKey(RegKey parent, const std::string& subkey) = 0;
  // Makes the changes so far to the hive of `key` (a root or a key opened here) lasting,
  // as RegFlushKey does, and answers whether they were. A writer calls it once after its
  // changes: natively the changes wait for it and are then written in one go (one
  // rewrite of the hive file, or one run of Wine's tool), since each alone would cost a
  // rewrite of megabytes or the start of a Wine program. What is not flushed is written
  // when the last key opened for writing is closed, without a report.
  virtual Status FlushRegistryKey(RegKey key) = 0;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_SYSTEM_H_
