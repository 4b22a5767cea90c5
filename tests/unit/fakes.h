// In-memory fakes of the two seams, system.h and ui.h. FakeSystem keeps files,
// directories, a registry and version blocks in memory, records what was done and can
// inject failures; FakeUi answers dialogs from a queue and records every call as a line.
#ifndef SETUP_TESTS_UNIT_FAKES_H_
#define SETUP_TESTS_UNIT_FAKES_H_

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace setup {

// Code page 932, or a single-byte code page with the same conversions.
class FakeEncoding : public Encoding {
 public:
  bool IsLeadByte(unsigned char byte) const override;
  std::string ToUtf8(std::string_view text) override;
  std::string FromUtf8(std::string_view text) override;

  bool lead_bytes_932 = true;  // code page 932, else single-byte
};

class FakeSystem : public System {
 public:
  struct File {
    std::string data;
    std::uint32_t mtime = 0;
  };
  struct Key {
    std::map<std::string, std::string> values;  // name (as given) -> raw data
    std::map<std::string, std::unique_ptr<Key>> subkeys;
  };
  struct Spawned {
    std::string program, arguments, working_dir;
  };

  FakeSystem();

  // Paths are compared as given, except that '/' is taken as '\'.
  void AddFile(const std::string& path, const std::string& data, std::uint32_t mtime = 0);
  bool HasFile(const std::string& path) const;
  std::string FileData(const std::string& path) const;
  void AddDirectory(const std::string& path);
  bool HasDirectory(const std::string& path) const;
  // Creates the keys of `path` (root handle and backslash-separated names) and sets a
  // value; an empty `name` is the default value.
  void SetRegistryValue(RegKey root, const std::string& path, const std::string& name,
                        const std::string& data);
  void AddRegistryKey(RegKey root, const std::string& path);
  // Version values of a file: sub-block path -> value, as QueryVersionValue answers.
  void SetVersionValues(const std::string& path, std::map<std::string, std::string> values);

  // --- System
  Status WindowsDirectory(std::string* dir) override;
  Status SystemDirectory(std::string* dir) override;
  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override;
  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override;
  Status CopyFileBytes(const std::string& source, const std::string& destination) override;
  Status MakeDirectory(const std::string& path) override;
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override;
  Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) override;
  Status QueryRegistryValue(RegKey key, const std::string& name, std::string* data) override;
  void CloseRegistryKey(RegKey key) override;
  Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override;
  Status QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                           std::string* value) override;
  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override;
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override;
  void SleepMilliseconds(int ms) override { slept_ms += ms; }
  void ExpectCopies(const std::vector<CopyPair>& copies) override { announced.push_back(copies); }
  bool PreparesCopies() const override { return prepares_copies; }
  Status GetFileSize(const std::string& path, std::uint64_t* size) override;
  Status RemoveFile(const std::string& path) override;
  Status RemoveEmptyDirectory(const std::string& path) override;
  Status RenameFile(const std::string& from, const std::string& to, bool replace) override;
  Status LinkFile(const std::string& existing, const std::string& link) override;
  Status OpenRecordFile(const std::string& path, bool create,
                        std::unique_ptr<RecordFile>* file) override;
  Status CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) override;
  Status RemoveFileAtRestart(const std::string& path) override;
  Status OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                   KeyDisposition disposition, RegKey* key) override;
  Status SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                           bool expandable) override;
  Status SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) override;
  Status DeleteRegistryValue(RegKey key, const std::string& name) override;
  Status DeleteRegistryKey(RegKey parent, const std::string& subkey) override;
  Status FlushRegistryKey(RegKey key) override;
  // The key at `path` under `root` (backslash-separated names, any case); null when
  // there is none. What the registry writes left behind, for tests to look at.
  const Key* FindRegistryKey(RegKey root, const std::string& path);

  // --- Settings and faults
  std::string windows_dir = "C:\\WINDOWS";
  std::string system_dir = "C:\\WINDOWS\\system32";
  bool no_windows = false;
  bool no_system = false;
  // A read of this file fails after this many bytes (-1: never).
  std::string fail_read_path;
  long fail_read_after = -1;
  // Every output file accepts this many bytes in all and then fails (-1: unlimited).
  long disk_space = -1;
  bool fail_commit = false;
  // The install record's calls: paths whose removal or rename fails, writes of record
  // files that fail after this many in all (-1: never), files in use.
  std::set<std::string> refuse_removal;
  long record_writes_left = -1;
  std::set<std::string> in_use;
  bool no_links = false;                                   // a file system without hard links
  std::map<std::string, std::int32_t> unregister_results;  // library -> its HRESULT
  std::vector<std::string> removed_at_restart;
  std::set<std::string> unreadable;        // paths that cannot be opened
  std::set<std::string> refuse_directory;  // directories whose creation fails
  // Libraries: path -> HRESULT their DllRegisterServer returns; absent: not loadable.
  std::map<std::string, std::int32_t> libraries;
  std::set<std::string> libraries_without_entry;
  std::set<std::string> programs;  // paths StartProcess can start
  int process_polls = 3;           // polls before a process has ended
  FakeEncoding encoding;           // the encoding a run over this system is handed
  // Registry writes (creating, setting, deleting) are counted from 0; the one with this
  // number fails with kAccessDenied (-1: none).
  int failing_registry_write = -1;
  int registry_writes = 0;

  // --- Records
  std::vector<std::string> log;  // "copy A B", "mkdir D", "dll P", "spawn P"
  // One line per registry write that succeeded: "regkey P", "regsz K N=V", "regexpand K
  // N=V", "regdword K N=V", "regdelval K N", "regdelkey P", "regflush K" (K: the key's
  // path from its root, as opened). A flush counts as a write.
  std::vector<std::string> registry_log;
  std::vector<Spawned> spawned;
  int open_keys = 0;
  int slept_ms = 0;
  // Each ExpectCopies, in order.
  std::vector<std::vector<CopyPair>> announced;
  bool prepares_copies = true;

  std::map<std::string, File> files;
  std::set<std::string> directories;

 private:
  friend class FakeOutputFile;
  static std::string Normalize(const std::string& path);
  Key* FindKey(RegKey key);
  Key* WalkKeys(Key* from, const std::string& path, bool create);
  bool TakeRegistryWrite();
  std::map<RegKey, std::string> handle_paths_;      // keys opened for writing: their path
  std::vector<std::unique_ptr<Key>> deleted_keys_;  // kept while handles may point in
  Key roots_[6];
  std::map<RegKey, Key*> handles_;
  RegKey next_handle_ = 1;
  std::map<std::string, std::map<std::string, std::string>> version_values_;
};

class FakeUi : public Ui {
 public:
  int ShowSetupDialog(const std::string& title, const std::string& destination,
                      const DestinationAccepted& on_ok) override;
  void ShowMessageBox(const std::string& text, std::uint32_t style) override;
  int ShowFinishDialog(const std::string& title) override;
  int ShowDiskDialog(const std::string& title, const std::string& text) override;
  int ShowMessageDialog(const std::string& text) override;
  void SetProgressRange(int max) override;
  void SetProgressPos(int pos) override;
  void PumpMessages() override { ++pumps; }

  // Answers, taken in order by the dialogs that ask; when empty: SetupDialog OK with the
  // default, MessageDialog and FinishDialog OK, DiskDialog CANCEL.
  std::deque<int> answers;
  // The text SetupDialog hands to the run on OK; empty: the destination shown.
  std::string typed_destination;
  bool type_destination = false;
  // Texts typed in turn after the run refused a destination; when none is left the
  // dialog answers kIdFailed, as a front end that cannot ask again does.
  std::deque<std::string> corrections;

  // One line per call: "SetupDialog <title>|<destination>", "MessageBox <style>|<text>",
  // "FinishDialog <title>", "DiskDialog <title>|<text>", "MessageDialog <text>",
  // "Range <n>", "Pos <n>".
  std::vector<std::string> events;
  std::vector<std::string> messages;  // the texts of the message boxes alone
  std::vector<int> positions;
  int pumps = 0;

 private:
  int Answer(int fallback);
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_FAKES_H_
