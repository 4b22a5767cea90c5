#include "pack/package_system.h"

#include <limits>
#include <utility>

#include "base/code_page_text.h"

namespace setup::pack {
namespace {

// The copy buffer, made once: a buffer this large made for each file would be fresh
// pages, zeroed by the system, every time.
constexpr std::size_t kCopyChunk = 1 << 20;

std::uint32_t Seconds(std::int64_t ns) {
  std::int64_t s = ns / 1000000000;
  if (s < 0) return 0;
  if (s > std::numeric_limits<std::uint32_t>::max())
    return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(s);
}

// A failure on an extracted copy, told of the packed file's own path.
Status OfPackedPath(const Status& status, const std::string& path) {
  return status.ok() ? status : Status(status.kind(), path, status.os_error());
}

// A started component that was extracted: its private folder goes when it is done with.
class ExtractedProcess : public Process {
 public:
  ExtractedProcess(std::unique_ptr<Process> process, PrivateFolder& folder, std::string path)
      : process_(std::move(process)), folder_(folder), path_(std::move(path)) {}
  ~ExtractedProcess() override {
    process_.reset();
    folder_.Remove(path_);
  }
  bool HasEnded() override { return process_->HasEnded(); }

 private:
  std::unique_ptr<Process> process_;
  PrivateFolder& folder_;
  std::string path_;
};

}  // namespace

PackageSystem::PackageSystem(System& target, Package& package, const Encoding& encoding,
                             const std::string& program_dir, PrivateFolder* folder)
    : SystemWrapper(target), package_(package), encoding_(encoding), private_folder_(folder) {
  LeadByteOf lead(encoding_);
  folded_dir_ = FoldPath(lead, program_dir) + "\\";
  const std::vector<FileEntry>& files = package_.table().files;
  for (std::size_t i = 0; i < files.size(); ++i) {
    index_.emplace(FoldPath(lead, files[i].name), i);  // a repeated name: the first wins
  }
}

std::optional<std::size_t> PackageSystem::Find(const std::string& path) const {
  std::string folded = FoldPath(LeadByteOf(encoding_), path);
  if (folded.compare(0, folded_dir_.size(), folded_dir_) != 0) return std::nullopt;
  std::size_t start = folded_dir_.size();
  while (start < folded.size() && folded[start] == '\\') ++start;
  auto found = index_.find(folded.substr(start));
  if (found == index_.end()) return std::nullopt;
  return found->second;
}

Status PackageSystem::OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) {
  std::optional<std::size_t> i = Find(path);
  if (!i) return target().OpenForReading(path, file);
  *file = package_.OpenFile(*i);
  return *file ? Status::Ok() : Status(StatusKind::kReadError, path);
}

Status PackageSystem::GetFileStatus(const std::string& path, std::uint32_t* mtime) {
  if (std::optional<std::size_t> i = Find(path)) {
    *mtime = Seconds(package_.table().files[*i].mtime_ns);
    return Status::Ok();
  }
  return target().GetFileStatus(path, mtime);
}

Status PackageSystem::CopyFileBytes(const std::string& source, const std::string& destination) {
  std::optional<std::size_t> i = Find(source);
  if (!i) return target().CopyFileBytes(source, destination);
  Status status = WriteOut(*i, destination);
  if (status.ok()) return status;
  return status.AsCopyOf(source, destination);
}

Status PackageSystem::CopyFileBytesWatched(const std::string& source,
                                           const std::string& destination, CopyWatcher* watcher,
                                           bool* watched) {
  *watched = false;
  std::optional<std::size_t> i = Find(source);
  if (!i) return target().CopyFileBytesWatched(source, destination, watcher, watched);
  bool watch = watcher != nullptr && package_.table().files[*i].size <= watcher->limit();
  Status status = WriteOut(*i, destination, watch ? watcher : nullptr);
  if (!status.ok()) return status.AsCopyOf(source, destination);
  *watched = watch;
  return status;
}

Status PackageSystem::ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) {
  std::optional<std::size_t> i = Find(path);
  if (!i) return target().ReadVersionBlock(path, block);
  std::string folder, extracted;
  if (!Extract(*i, &folder, &extracted)) return Status(StatusKind::kReadError, path);
  Status read = target().ReadVersionBlock(extracted, block);
  private_folder_->Remove(folder);
  return OfPackedPath(read, path);
}

Status PackageSystem::CallDllRegisterServer(const std::string& path, std::int32_t* hresult) {
  std::optional<std::size_t> i = Find(path);
  if (!i) return target().CallDllRegisterServer(path, hresult);
  std::string folder, extracted;
  if (!Extract(*i, &folder, &extracted)) return Status(StatusKind::kFailed, path);
  Status result = target().CallDllRegisterServer(extracted, hresult);
  private_folder_->Remove(folder);
  return OfPackedPath(result, path);
}

Status PackageSystem::StartProcess(const std::string& program, const std::string& arguments,
                                   const std::string& working_dir,
                                   std::unique_ptr<Process>* process) {
  std::optional<std::size_t> i = Find(program);
  if (!i) return target().StartProcess(program, arguments, working_dir, process);
  std::string folder, extracted;
  if (!Extract(*i, &folder, &extracted)) return Status(StatusKind::kFailed, program);
  std::unique_ptr<Process> started;
  Status status = target().StartProcess(extracted, arguments, folder, &started);
  if (!status.ok()) {
    private_folder_->Remove(folder);
    return OfPackedPath(status, program);
  }
  *process = std::make_unique<ExtractedProcess>(std::move(started), *private_folder_, folder);
  return status;
}

Status PackageSystem::WriteOut(std::size_t index, const std::string& destination,
                               CopyWatcher* watcher) {
  std::unique_ptr<OutputFile> output;
  Status status = target().CreateReplacement(destination, &output);
  if (!status.ok()) return status;
  std::unique_ptr<InputFile> input = package_.OpenFile(index);
  if (!input) return Status(StatusKind::kReadError, destination);
  std::string& buffer = copy_buffer_;
  if (buffer.size() != kCopyChunk) buffer.assign(kCopyChunk, '\0');
  if (watcher != nullptr) watcher->Begin();
  while (true) {
    std::ptrdiff_t n = input->Read(buffer.data(), buffer.size());
    if (n < 0) return Status(StatusKind::kReadError, destination);
    if (n == 0) break;
    status = output->Write(buffer.data(), static_cast<std::size_t>(n));
    if (!status.ok()) return status;
    if (watcher != nullptr) watcher->Written(buffer.data(), static_cast<std::size_t>(n));
  }
  // A time that cannot be set is no failure of the copy: the bytes are what count.
  output->SetModificationTime(package_.table().files[index].mtime_ns);
  return output->Commit();
}

bool PackageSystem::Extract(std::size_t index, std::string* folder, std::string* path) {
  if (private_folder_ == nullptr || !private_folder_->Create(folder)) return false;
  const std::string& name = package_.table().files[index].name;
  std::size_t dir = DirectoryLength(LeadByteOf(encoding_), name);
  std::string leaf = name.substr(dir);
  *path = *folder + "\\" + leaf;
  if (WriteOut(index, *path).ok()) return true;
  private_folder_->Remove(*folder);
  return false;
}

}  // namespace setup::pack
