#include "tests/unit/fakes.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>

#include "base/code_page_text.h"

namespace setup {
namespace {

std::string Convert(const char* to, const char* from, std::string_view text) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* o = out.data();
  size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &o, &out_left) == static_cast<size_t>(-1)) {
      if (out_left == 0) break;
      *o++ = '?';
      --out_left;
      ++in;
      --in_left;
    }
  }
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

class FakeInputFile : public InputFile {
 public:
  FakeInputFile(std::string data, long fail_after)
      : data_(std::move(data)), fail_after_(fail_after) {}
  std::ptrdiff_t Read(void* buffer, std::size_t size) override {
    if (fail_after_ >= 0 && static_cast<long>(pos_) >= fail_after_) return -1;
    std::size_t n = std::min(size, data_.size() - pos_);
    if (fail_after_ >= 0)
      n = std::min<std::size_t>(n, static_cast<std::size_t>(fail_after_) - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string data_;
  std::size_t pos_ = 0;
  long fail_after_;
};

class FakeProcess : public Process {
 public:
  explicit FakeProcess(int polls) : polls_(polls) {}
  bool HasEnded() override { return --polls_ <= 0; }

 private:
  int polls_;
};

}  // namespace

class FakeOutputFile : public OutputFile {
 public:
  FakeOutputFile(FakeSystem* system, std::string path) : system_(system), path_(std::move(path)) {}
  Status Write(const void* data, std::size_t size) override {
    if (system_->disk_space >= 0) {
      if (static_cast<long>(size) > system_->disk_space) {
        system_->disk_space = 0;
        return Status(StatusKind::kDiskFull, path_);
      }
      system_->disk_space -= static_cast<long>(size);
    }
    data_.append(static_cast<const char*>(data), size);
    return Status::Ok();
  }
  Status SetModificationTime(std::int64_t ns_since_1970) override {
    mtime_ = static_cast<std::uint32_t>(ns_since_1970 / 1000000000);
    mtime_set_ = true;
    return Status::Ok();
  }
  Status Commit() override {
    if (system_->fail_commit) return Status(StatusKind::kWriteError, path_);
    system_->files[path_].data = data_;
    if (mtime_set_) system_->files[path_].mtime = mtime_;
    return Status::Ok();
  }

 private:
  FakeSystem* system_;
  std::string path_;
  std::string data_;
  std::uint32_t mtime_ = 0;
  bool mtime_set_ = false;
};

FakeSystem::FakeSystem() = default;

std::string FakeSystem::Normalize(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

void FakeSystem::AddFile(const std::string& path, const std::string& data, std::uint32_t mtime) {
  files[Normalize(path)] = File{data, mtime};
}
bool FakeSystem::HasFile(const std::string& path) const { return files.count(Normalize(path)) > 0; }
std::string FakeSystem::FileData(const std::string& path) const {
  auto it = files.find(Normalize(path));
  return it == files.end() ? std::string() : it->second.data;
}
void FakeSystem::AddDirectory(const std::string& path) { directories.insert(Normalize(path)); }
bool FakeSystem::HasDirectory(const std::string& path) const {
  return directories.count(Normalize(path)) > 0;
}

Status FakeSystem::WindowsDirectory(std::string* dir) {
  if (no_windows) return Status(StatusKind::kUnsupported);
  *dir = windows_dir;
  return Status::Ok();
}
Status FakeSystem::SystemDirectory(std::string* dir) {
  if (no_system) return Status(StatusKind::kUnsupported);
  *dir = system_dir;
  return Status::Ok();
}

Status FakeSystem::OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) {
  std::string p = Normalize(path);
  auto it = files.find(p);
  if (it == files.end()) return Status(StatusKind::kNotFound, path);
  if (unreadable.count(p)) return Status(StatusKind::kAccessDenied, path);
  *file = std::make_unique<FakeInputFile>(it->second.data,
                                          p == Normalize(fail_read_path) ? fail_read_after : -1);
  return Status::Ok();
}

Status FakeSystem::CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) {
  std::string p = Normalize(path);
  if (p.empty()) return Status(StatusKind::kNotFound, path);
  if (unreadable.count(p)) return Status(StatusKind::kAccessDenied, path);
  if (directories.count(p)) return Status(StatusKind::kIsDirectory, path);
  std::string::size_type slash = p.rfind('\\');
  if (slash != std::string::npos && slash > 0 && !directories.empty() &&
      !directories.count(p.substr(0, slash))) {
    return Status(StatusKind::kNotFound, path);  // the destination's directory is missing
  }
  *file = std::make_unique<FakeOutputFile>(this, p);
  return Status::Ok();
}

Status FakeSystem::CopyFileBytes(const std::string& source, const std::string& destination) {
  log.push_back("copy " + source + " " + destination);
  std::string s = Normalize(source), d = Normalize(destination);
  auto it = files.find(s);
  if (it == files.end() || d.empty())
    return Status(StatusKind::kNotFound, destination).WithOtherPath(source);
  if (unreadable.count(s) || s == d)
    return Status(StatusKind::kAccessDenied, destination).WithOtherPath(source);
  if (disk_space >= 0) {
    if (static_cast<long>(it->second.data.size()) > disk_space) {
      return Status(StatusKind::kDiskFull, destination).WithOtherPath(source);
    }
    disk_space -= static_cast<long>(it->second.data.size());
  }
  files[d] = it->second;
  return Status::Ok();
}

Status FakeSystem::MakeDirectory(const std::string& path) {
  log.push_back("mkdir " + path);
  std::string p = Normalize(path);
  if (directories.count(p)) return Status(StatusKind::kAlreadyExists, path);
  if (refuse_directory.count(p)) return Status(StatusKind::kAccessDenied, path);
  std::string::size_type slash = p.rfind('\\');
  if (slash != std::string::npos && slash > 2 && !directories.count(p.substr(0, slash))) {
    return Status(StatusKind::kNotFound, path);  // the parent is missing
  }
  directories.insert(p);
  return Status::Ok();
}

Status FakeSystem::GetFileStatus(const std::string& path, std::uint32_t* mtime) {
  auto it = files.find(Normalize(path));
  if (it == files.end()) return Status(StatusKind::kNotFound, path);
  *mtime = it->second.mtime;
  return Status::Ok();
}

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

FakeSystem::Key* FakeSystem::FindKey(RegKey key) {
  if (key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig) return &roots_[key - kHkeyClassesRoot];
  auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : it->second;
}

void FakeSystem::AddRegistryKey(RegKey root, const std::string& path) {
  Key* k = FindKey(root);
  std::string::size_type start = 0;
  while (k && start <= path.size() && !path.empty()) {
    std::string::size_type end = path.find('\\', start);
    std::string name =
        path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    auto& slot = k->subkeys[Lower(name)];
    if (!slot) slot = std::make_unique<Key>();
    k = slot.get();
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

void FakeSystem::SetRegistryValue(RegKey root, const std::string& path, const std::string& name,
                                  const std::string& data) {
  AddRegistryKey(root, path);
  Key* k = FindKey(root);
  std::string::size_type start = 0;
  while (k && !path.empty()) {
    std::string::size_type end = path.find('\\', start);
    k = k->subkeys[Lower(path.substr(start,
                                     end == std::string::npos ? std::string::npos : end - start))]
            .get();
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (k) k->values[Lower(name)] = data;
}

Status FakeSystem::OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) {
  Key* k = FindKey(parent);
  if (!k) return Status(StatusKind::kFailed, subkey);
  Key* found = k;  // an empty name opens the parent again
  if (!subkey.empty()) {
    auto it = k->subkeys.find(Lower(subkey));
    if (it == k->subkeys.end()) return Status(StatusKind::kNotFound, subkey);
    found = it->second.get();
  }
  RegKey h = next_handle_++;
  handles_[h] = found;
  ++open_keys;
  *key = h;
  return Status::Ok();
}

Status FakeSystem::QueryRegistryValue(RegKey key, const std::string& name, std::string* data) {
  Key* k = FindKey(key);
  if (!k) return Status(StatusKind::kFailed, name);
  auto it = k->values.find(Lower(name));
  if (it == k->values.end()) return Status(StatusKind::kNotFound, name);
  *data = it->second;
  return Status::Ok();
}

void FakeSystem::CloseRegistryKey(RegKey key) {
  handle_paths_.erase(key);
  if (handles_.erase(key)) --open_keys;
}

void FakeSystem::SetVersionValues(const std::string& path,
                                  std::map<std::string, std::string> values) {
  version_values_[Normalize(path)] = std::move(values);
}

Status FakeSystem::ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) {
  auto it = version_values_.find(Normalize(path));
  if (it == version_values_.end()) return Status(StatusKind::kNotFound, path);
  // The fake's block is the file's path; QueryVersionValue looks the values up by it.
  block->assign(it->first.begin(), it->first.end());
  return Status::Ok();
}

Status FakeSystem::QueryVersionValue(const std::vector<std::uint8_t>& block,
                                     const std::string& sub_block, std::string* value) {
  auto it = version_values_.find(std::string(block.begin(), block.end()));
  if (it == version_values_.end()) return Status(StatusKind::kCorrupt, sub_block);
  auto v = it->second.find(sub_block);
  if (v == it->second.end()) return Status(StatusKind::kNotFound, sub_block);
  *value = v->second;
  return Status::Ok();
}

Status FakeSystem::CallDllRegisterServer(const std::string& path, std::int32_t* hresult) {
  log.push_back("dll " + path);
  if (libraries_without_entry.count(path)) return Status(StatusKind::kUnsupported, path);
  auto it = libraries.find(path);
  if (it == libraries.end()) return Status(StatusKind::kNotFound, path);
  *hresult = it->second;
  return Status::Ok();
}

Status FakeSystem::StartProcess(const std::string& program, const std::string& arguments,
                                const std::string& working_dir, std::unique_ptr<Process>* process) {
  log.push_back("spawn " + program);
  if (!programs.count(program)) return Status(StatusKind::kNotFound, program);
  spawned.push_back({program, arguments, working_dir});
  *process = std::make_unique<FakeProcess>(process_polls);
  return Status::Ok();
}

// --- FakeEncoding

bool FakeEncoding::IsLeadByte(unsigned char b) const {
  return lead_bytes_932 && IsCp932LeadByte(b);
}
std::string FakeEncoding::ToUtf8(std::string_view text) { return Convert("UTF-8", "CP932", text); }
std::string FakeEncoding::FromUtf8(std::string_view text) {
  return Convert("CP932", "UTF-8", text);
}

// --- FakeUi

int FakeUi::Answer(int fallback) {
  if (answers.empty()) return fallback;
  int a = answers.front();
  answers.pop_front();
  return a;
}

int FakeUi::ShowSetupDialog(const std::string& title, const std::string& destination,
                            const DestinationAccepted& on_ok) {
  events.push_back("SetupDialog " + title + "|" + destination);
  int a = Answer(kIdOk);
  if (a != kIdOk) return a;
  if (on_ok(type_destination ? typed_destination : destination)) return a;
  // Refused: the person types each correction in turn, else nobody can.
  for (; !corrections.empty(); corrections.pop_front()) {
    if (on_ok(corrections.front())) {
      corrections.pop_front();
      return kIdOk;
    }
  }
  return kIdFailed;
}
void FakeUi::ShowMessageBox(const std::string& text, std::uint32_t style) {
  events.push_back("MessageBox " + std::to_string(style) + "|" + text);
  messages.push_back(text);
}
int FakeUi::ShowFinishDialog(const std::string& title) {
  events.push_back("FinishDialog " + title);
  return Answer(kIdOk);
}
int FakeUi::ShowDiskDialog(const std::string& title, const std::string& text) {
  events.push_back("DiskDialog " + title + "|" + text);
  return Answer(kIdCancel);
}
int FakeUi::ShowMessageDialog(const std::string& text) {
  events.push_back("MessageDialog " + text);
  return Answer(kIdOk);
}
void FakeUi::SetProgressRange(int max) { events.push_back("Range " + std::to_string(max)); }
void FakeUi::SetProgressPos(int pos) {
  events.push_back("Pos " + std::to_string(pos));
  positions.push_back(pos);
}

// --- The install record's calls.

namespace {

class FakeRecordFile : public RecordFile {
 public:
  FakeRecordFile(FakeSystem* system, std::string path) : system_(system), path_(std::move(path)) {}
  Status WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    if (system_->record_writes_left == 0) return Status(StatusKind::kWriteError, path_);
    if (system_->record_writes_left > 0) --system_->record_writes_left;
    std::string& file = system_->files[path_].data;
    if (file.size() < offset + size) file.resize(offset + size, '\0');
    file.replace(offset, size, static_cast<const char*>(data), size);
    return Status::Ok();
  }
  Status Sync() override { return Status::Ok(); }

 private:
  FakeSystem* system_;
  std::string path_;
};

}  // namespace

Status FakeSystem::GetFileSize(const std::string& path, std::uint64_t* size) {
  std::string p = Normalize(path);
  if (directories.count(p)) return Status(StatusKind::kIsDirectory, path);
  auto it = files.find(p);
  if (it == files.end()) return Status(StatusKind::kNotFound, path);
  *size = it->second.data.size();
  return Status::Ok();
}

Status FakeSystem::RemoveFile(const std::string& path) {
  std::string p = Normalize(path);
  log.push_back("remove " + path);
  if (refuse_removal.count(p)) return Status(StatusKind::kAccessDenied, path);
  if (in_use.count(p)) return Status(StatusKind::kAccessDenied, path, 32);
  if (files.erase(p) == 0) return Status(StatusKind::kNotFound, path);
  return Status::Ok();
}

Status FakeSystem::RemoveEmptyDirectory(const std::string& path) {
  std::string p = Normalize(path);
  log.push_back("rmdir " + path);
  if (!directories.count(p)) return Status(StatusKind::kNotFound, path);
  if (refuse_removal.count(p)) return Status(StatusKind::kAccessDenied, path);
  std::string inside = p + "\\";
  auto starts = [&](const std::string& name) {
    return name.compare(0, inside.size(), inside) == 0;
  };
  for (const auto& [name, file] : files) {
    if (starts(name)) return Status(StatusKind::kFailed, path);
  }
  for (const std::string& name : directories) {
    if (starts(name)) return Status(StatusKind::kFailed, path);
  }
  directories.erase(p);
  return Status::Ok();
}

Status FakeSystem::RenameFile(const std::string& from, const std::string& to, bool replace) {
  std::string f = Normalize(from), t = Normalize(to);
  log.push_back("rename " + from + " > " + to);
  auto it = files.find(f);
  if (it == files.end()) return Status(StatusKind::kNotFound, from);
  if (refuse_removal.count(f)) return Status(StatusKind::kAccessDenied, from);
  if (files.count(t) && !replace) return Status(StatusKind::kAlreadyExists, to);
  File moved = it->second;
  files.erase(it);
  files[t] = moved;
  return Status::Ok();
}

Status FakeSystem::LinkFile(const std::string& existing, const std::string& link) {
  std::string e = Normalize(existing), l = Normalize(link);
  log.push_back("link " + existing + " > " + link);
  auto it = files.find(e);
  if (it == files.end()) return Status(StatusKind::kNotFound, existing);
  if (no_links) return Status(StatusKind::kUnsupported, existing);
  if (files.count(l)) return Status(StatusKind::kAlreadyExists, link);
  files[l] = it->second;  // the fake's files are values: a replacement leaves this one be
  return Status::Ok();
}

Status FakeSystem::OpenRecordFile(const std::string& path, bool create,
                                  std::unique_ptr<RecordFile>* file) {
  std::string p = Normalize(path);
  if (!files.count(p)) {
    std::unique_ptr<OutputFile> probe;
    if (!create || !CreateReplacement(p, &probe).ok()) {
      return Status(create ? StatusKind::kAccessDenied : StatusKind::kNotFound, path);
    }
    files[p];
  }
  *file = std::make_unique<FakeRecordFile>(this, p);
  return Status::Ok();
}

Status FakeSystem::CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) {
  log.push_back("unregister " + path);
  if (libraries_without_entry.count(path)) return Status(StatusKind::kUnsupported, path);
  if (!libraries.count(path)) return Status(StatusKind::kNotFound, path);
  auto it = unregister_results.find(path);
  *hresult = it == unregister_results.end() ? 0 : it->second;
  return Status::Ok();
}

Status FakeSystem::RemoveFileAtRestart(const std::string& path) {
  removed_at_restart.push_back(Normalize(path));
  return Status::Ok();
}

}  // namespace setup
