// RecordingLayer: the layer over System that records, while a run is being recorded,
// every change the run makes: each file written (whether it existed before, its size and
// the digest of what was written), each folder created, each registration. A file that
// existed before is first given a second name beside it (LinkFile, else a copy) when the
// run may have to be rolled back, and that is written to the record at once, before the
// file is touched. What a command did is appended to the record as one block when the
// interpreter says the command has completed.
//
// A file of at most kWatchedCopyLimit bytes is copied through memory (CopyFileBytesWatched)
// and its digest made from the bytes as they were written. Any other file the platform
// copied is read back for its digest on a thread of its own
// (DigestQueue) while the run goes on: its entry is appended when its command completes,
// saying that its digest follows, and a kFileDigest entry is appended with the first
// block after the digest is known; Stop() waits for the last ones. So a killed run
// leaves a record that names every file its completed commands wrote and never holds a
// digest that was not computed. Before a file is written again, and before anything
// runs foreign code (a registration), the digests still being computed are waited for.
//
// Until Start() and after Stop() every call passes through unchanged. Once the record
// cannot be written, no further change is made: the calls that change the machine fail
// as the system's own failures do, so the run ends and can be rolled back from what was
// recorded in memory.
#ifndef SETUP_RECORD_RECORDING_LAYER_H_
#define SETUP_RECORD_RECORDING_LAYER_H_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/system_wrapper.h"
#include "record/change_record.h"
#include "record/digest_queue.h"
#include "record/install_record.h"

namespace setup {

class Encoding;

class RecordingLayer : public SystemWrapper, public ChangeRecord {
 public:
  using SystemWrapper::SystemWrapper;

  // The largest copy watched. Up to this size a copy through memory (one read, one write)
  // costs no more than the kernel's; beyond it the bytes are better read back on the
  // digest thread while the run copies on.
  static constexpr std::uint64_t kWatchedCopyLimit = 64 * 1024;

  // Records into `writer` (not owned; it outlives the recording). `keep_old_copies`: a
  // file that existed is kept aside, for a rollback. `encoding` (not owned, may be null)
  // finds a path's folder: a file in a folder this run made did not exist before it, and
  // is written without first asking the system whether it exists.
  void Start(InstallRecordWriter* writer, bool keep_old_copies, const Encoding* encoding = nullptr);
  // Appends what is pending and stops recording. `digests`: waits for the digests still
  // being computed and appends them; without (a run about to be rolled back, which needs
  // none), they are dropped.
  Status Stop(bool digests = true);
  bool recording() const { return writer_ != nullptr; }

  // The entries of this run, written or still pending, in order.
  const std::vector<RecordEntry>& run_entries() const { return run_entries_; }
  // The first failure to write the record; ok while it is whole.
  const Status& record_status() const { return record_status_; }
  // Where the old copy of `path` is kept during a run.
  static std::string AsidePath(const std::string& path) { return path + ".~rollback"; }

  // Records a change made by the session itself (a folder made for the record).
  void Note(RecordEntry entry);

  void CommandCompleted() override;

  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override;
  Status CopyFileBytes(const std::string& source, const std::string& destination) override;
  Status MakeDirectory(const std::string& path) override;
  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override;
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override;

 private:
  class RecordedOutput;
  // The size and digest of a watched copy, made from the bytes as they were written; one
  // for every copy of the run, so that a copy allocates nothing for its digest.
  class CopyDigest : public CopyWatcher {
   public:
    CopyDigest() : CopyWatcher(kWatchedCopyLimit) {}
    void Begin() override {
      hash.Reset();
      size = 0;
    }
    void Written(const void* data, std::size_t n) override {
      hash.Update(data, n);
      size += n;
    }
    FileDigest hash;
    std::uint64_t size = 0;
  };

  // Before `path` is written: whether it exists, and where its old copy was kept (empty:
  // not kept). Not ok when it had to be kept and could not be: nothing is to be written.
  Status BeforeWrite(const std::string& path, bool* existed, std::string* aside);
  // After `path` was written with `size` bytes whose digest is `digest`; with
  // `digest_follows`, both come later in a kFileDigest entry.
  void AfterWrite(const std::string& path, bool existed, const std::string& aside,
                  std::uint64_t size, const FileDigest::Digest& digest,
                  bool digest_follows = false);
  // Moves the digests computed so far (with `wait`, all of them) into pending entries.
  void CollectDigests(bool wait);
  // Notes the digest that follows a copied file's entry, or that none could be computed.
  void NoteDigest(std::string path, bool read, std::uint64_t size,
                  const FileDigest::Digest& digest);
  // Whether `path` lies in a folder this run made (so it cannot have existed before).
  bool InFolderMadeByRun(const std::string& path) const;
  bool Broken() const { return writer_ != nullptr && !record_status_.ok(); }
  // What a change is refused with once the record can no longer be written.
  Status Refused(const std::string& path) const { return Status(StatusKind::kFailed, path); }
  Status AppendNow(const std::vector<RecordEntry>& entries, bool sync);

  InstallRecordWriter* writer_ = nullptr;
  bool keep_old_copies_ = false;
  std::vector<RecordEntry> pending_;
  std::vector<RecordEntry> run_entries_;
  // Files this run wrote: path -> whether it existed before the run.
  std::map<std::string, bool> written_;
  // Folders this run made, as their entries name them.
  std::set<std::string> made_folders_;
  const Encoding* encoding_ = nullptr;
  Status record_status_;
  std::unique_ptr<DigestQueue> digests_;
  CopyDigest copy_digest_;
};

}  // namespace setup

#endif  // SETUP_RECORD_RECORDING_LAYER_H_
