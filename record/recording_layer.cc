#include "record/recording_layer.h"

#include <utility>

#include "base/code_page_text.h"
#include "base/encoding.h"

namespace setup {

// Hashes and counts the bytes as they are written, and records the file when it is
// committed: only then has the destination changed.
class RecordingLayer::RecordedOutput : public OutputFile {
 public:
  RecordedOutput(RecordingLayer* layer, std::unique_ptr<OutputFile> output, std::string path)
      : layer_(layer), output_(std::move(output)), path_(std::move(path)) {}
  Status Write(const void* data, std::size_t size) override {
    hash_.Update(data, size);
    size_ += size;
    return output_->Write(data, size);
  }
  Status SetModificationTime(std::int64_t ns_since_1970) override {
    return output_->SetModificationTime(ns_since_1970);
  }
  Status Commit() override {
    bool existed = false;
    std::string aside;
    Status status = layer_->BeforeWrite(path_, &existed, &aside);
    if (status.ok()) status = output_->Commit();
    if (!status.ok()) return status;
    layer_->AfterWrite(path_, existed, aside, size_, hash_.Finish());
    return status;
  }

 private:
  RecordingLayer* layer_;
  std::unique_ptr<OutputFile> output_;
  std::string path_;
  FileDigest hash_;
  std::uint64_t size_ = 0;
};

void RecordingLayer::Start(InstallRecordWriter* writer, bool keep_old_copies,
                           const Encoding* encoding) {
  // Only what the platform copied unwatched comes to the thread: large files, each worth
  // a wake-up of its own.
  digests_ = std::make_unique<DigestQueue>(1);
  encoding_ = encoding;
  made_folders_.clear();
  writer_ = writer;
  keep_old_copies_ = keep_old_copies;
  pending_.clear();
  run_entries_.clear();
  written_.clear();
  record_status_ = Status::Ok();
}

Status RecordingLayer::Stop(bool digests) {
  if (writer_ != nullptr && digests) CollectDigests(true);
  CommandCompleted();
  digests_.reset();  // what is left is dropped
  writer_ = nullptr;
  return record_status_;
}

void RecordingLayer::CollectDigests(bool wait) {
  if (!digests_) return;
  std::vector<DigestQueue::Result> results;
  digests_->Take(&results, wait);
  for (DigestQueue::Result& result : results) {
    NoteDigest(std::move(result.path), result.read, result.size, result.digest);
  }
}

void RecordingLayer::NoteDigest(std::string path, bool read, std::uint64_t size,
                                const FileDigest::Digest& digest) {
  RecordEntry entry = MakeEntry(RecordKind::kFileDigest, std::move(path));
  entry.no_digest = !read;  // a file that could not be read back: an uninstall keeps it
  entry.size = read ? size : 0;
  entry.digest = read ? digest : FileDigest::Digest{};
  Note(std::move(entry));
}

void RecordingLayer::Note(RecordEntry entry) {
  if (entry.kind == RecordKind::kDirectoryCreated) made_folders_.insert(entry.path);
  run_entries_.push_back(entry);
  pending_.push_back(std::move(entry));
}

Status RecordingLayer::AppendNow(const std::vector<RecordEntry>& entries, bool sync) {
  if (!record_status_.ok()) return record_status_;
  record_status_ = writer_->Append(entries, sync);
  return record_status_;
}

void RecordingLayer::CommandCompleted() {
  if (writer_ == nullptr) return;
  CollectDigests(false);
  if (pending_.empty()) return;
  AppendNow(pending_, false);
  pending_.clear();
}

Status RecordingLayer::BeforeWrite(const std::string& path, bool* existed, std::string* aside) {
  if (Broken()) return Refused(path);
  // A file written again: the digest of its earlier write comes first in the record.
  if (digests_ && digests_->Holds(path)) CollectDigests(true);
  auto known = written_.find(path);
  if (known != written_.end()) {
    *existed = known->second;  // the run's own file: its first write kept what was there
    return Status::Ok();
  }
  std::uint64_t size = 0;
  // Nothing was in a folder before the run made it.
  *existed = !InFolderMadeByRun(path) && target().GetFileSize(path, &size).ok();
  if (!*existed || !keep_old_copies_) return Status::Ok();
  *aside = AsidePath(path);
  target().RemoveFile(*aside);  // a leftover of an earlier run that was rolled back
  RecordEntry kept = MakeEntry(RecordKind::kMovedAside, path, *aside);
  run_entries_.push_back(kept);
  if (!AppendNow({kept}, true).ok()) return Refused(path);
  Status linked = target().LinkFile(path, *aside);
  if (linked.Is(StatusKind::kUnsupported)) linked = target().CopyFileBytes(path, *aside);
  return linked;
}

bool RecordingLayer::InFolderMadeByRun(const std::string& path) const {
  if (encoding_ == nullptr || made_folders_.empty()) return false;
  std::size_t length = DirectoryLength(LeadByteOf(*encoding_), path);
  return length > 1 && made_folders_.count(path.substr(0, length - 1)) > 0;
}

void RecordingLayer::AfterWrite(const std::string& path, bool existed, const std::string& aside,
                                std::uint64_t size, const FileDigest::Digest& digest,
                                bool digest_follows) {
  written_.emplace(path, existed);
  RecordEntry entry = MakeEntry(RecordKind::kFileWritten, path, aside);
  entry.existed_before = existed;
  entry.no_digest = digest_follows;
  entry.size = size;
  entry.digest = digest;
  Note(std::move(entry));
}

Status RecordingLayer::CreateReplacement(const std::string& path,
                                         std::unique_ptr<OutputFile>* file) {
  if (writer_ == nullptr) return target().CreateReplacement(path, file);
  if (Broken()) return Refused(path);
  std::unique_ptr<OutputFile> output;
  Status status = target().CreateReplacement(path, &output);
  if (status.ok()) *file = std::make_unique<RecordedOutput>(this, std::move(output), path);
  return status;
}

Status RecordingLayer::CopyFileBytes(const std::string& source, const std::string& destination) {
  if (writer_ == nullptr) return target().CopyFileBytes(source, destination);
  bool existed = false;
  std::string aside;
  Status status = BeforeWrite(destination, &existed, &aside);
  if (!status.ok()) {
    return status.AsCopyOf(source, destination);
  }
  bool watched = false;
  status = target().CopyFileBytesWatched(source, destination, &copy_digest_, &watched);
  if (!status.ok()) return status;
  if (watched) {
    AfterWrite(destination, existed, aside, copy_digest_.size, copy_digest_.hash.Finish());
    return status;
  }
  // What now stands at the destination is what the copy wrote: it is read back for its
  // digest while the run goes on. Opened here, as System is used from this thread only.
  std::unique_ptr<InputFile> written;
  AfterWrite(destination, existed, aside, 0, {}, true);
  if (target().OpenForReading(destination, &written).ok()) {
    digests_->Add(destination, std::move(written));
  } else {
    NoteDigest(destination, false, 0, {});
  }
  return status;
}

Status RecordingLayer::MakeDirectory(const std::string& path) {
  if (Broken()) return Refused(path);
  Status status = target().MakeDirectory(path);
  if (writer_ != nullptr && status.ok()) Note(MakeEntry(RecordKind::kDirectoryCreated, path));
  return status;
}

Status RecordingLayer::CallDllRegisterServer(const std::string& path, std::int32_t* hresult) {
  if (Broken()) return Refused(path);
  CollectDigests(true);  // the library may change files: what the run wrote is read first
  Status status = target().CallDllRegisterServer(path, hresult);
  if (writer_ != nullptr && status.ok()) Note(MakeEntry(RecordKind::kRegistered, path));
  return status;
}

Status RecordingLayer::StartProcess(const std::string& program, const std::string& arguments,
                                    const std::string& working_dir,
                                    std::unique_ptr<Process>* process) {
  if (Broken()) return Refused(program);
  CollectDigests(true);  // the program may change files: what the run wrote is read first
  Status status = target().StartProcess(program, arguments, working_dir, process);
  // A program started for its registration is the only process a run starts.
  if (writer_ != nullptr && status.ok() && arguments == "/regserver") {
    RecordEntry entry = MakeEntry(RecordKind::kRegistered, program);
    entry.program = true;
    Note(std::move(entry));
  }
  return status;
}

}  // namespace setup
