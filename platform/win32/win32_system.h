// The system services on Windows, through the Win32 ANSI functions: every path and text
// handed in or out is bytes of the process's ANSI code page.
#ifndef SETUP_PLATFORM_WIN32_WIN32_SYSTEM_H_
#define SETUP_PLATFORM_WIN32_WIN32_SYSTEM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/encoding.h"
#include "platform/system.h"

namespace setup {

class CopyAhead;

class Win32System : public System {
 public:
  Win32System();
  ~Win32System() override;
  Win32System(const Win32System&) = delete;
  Win32System& operator=(const Win32System&) = delete;

  Status WindowsDirectory(std::string* dir) override;
  Status SystemDirectory(std::string* dir) override;

  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override;
  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override;
  // CopyWin32File: through a temporary file and a rename, keeping the source's
  // modification time and attributes; fails for a file copied onto itself; a failed copy
  // leaves the old destination byte for byte and no partial file.
  Status CopyFileBytes(const std::string& source, const std::string& destination) override;
  // Every copy goes through the program's memory: each one the watcher asks for is watched.
  Status CopyFileBytesWatched(const std::string& source, const std::string& destination,
                              CopyWatcher* watcher, bool* watched) override;
  // Prepares the announced copies ahead on two threads (copy_ahead.h); every other call
  // that reaches the files, processes or components first drops what is prepared.
  void ExpectCopies(const std::vector<CopyPair>& copies) override;
  bool PreparesCopies() const override { return true; }
  Status MakeDirectory(const std::string& path) override;
  // Files and directories alike; the time is the last write in UTC seconds since 1970.
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override;

  // Keys are opened with KEY_READ only: a key the user may read but not write is found.
  Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) override;
  Status QueryRegistryValue(RegKey key, const std::string& name, std::string* data) override;
  void CloseRegistryKey(RegKey key) override;

  Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override;
  Status QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                           std::string* value) override;

  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override;
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override;
  void SleepMilliseconds(int ms) override;

  // The install record's calls (win32_changes.cc).
  Status GetFileSize(const std::string& path, std::uint64_t* size) override;
  Status RemoveFile(const std::string& path) override;
  Status RemoveEmptyDirectory(const std::string& path) override;
  Status RenameFile(const std::string& from, const std::string& to, bool replace) override;
  Status LinkFile(const std::string& existing, const std::string& link) override;
  Status OpenRecordFile(const std::string& path, bool create,
                        std::unique_ptr<RecordFile>* file) override;
  Status CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) override;
  Status RemoveFileAtRestart(const std::string& path) override;

  // In win32_registry.cc: every key in the 64-bit view (KEY_WOW64_64KEY).
  Status OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                   KeyDisposition disposition, RegKey* key) override;
  Status SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                           bool expandable) override;
  Status SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) override;
  Status DeleteRegistryValue(RegKey key, const std::string& name) override;
  Status DeleteRegistryKey(RegKey parent, const std::string& subkey) override;
  Status FlushRegistryKey(RegKey key) override;

 private:
  // Drops the copies prepared ahead, if any.
  void Settle();

  std::unique_ptr<CopyAhead> copy_ahead_;
};

// The process's ANSI code page as the encoding of a run: Setup.exe's choice. The lead-byte
// test is IsDBCSLeadByte; conversions pass through UTF-16.
class AnsiEncoding : public Encoding {
 public:
  bool IsLeadByte(unsigned char byte) const override;
  std::string ToUtf8(std::string_view text) override;
  std::string FromUtf8(std::string_view text) override;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIN32_SYSTEM_H_
