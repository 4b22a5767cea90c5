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
  bool Write(const void* data, std::size_t size) override {
    if (system_->disk_space >= 0) {
      if (static_cast<long>(size) > system_->disk_space) {
        system_->disk_space = 0;
        return false;
      }
      system_->disk_space -= static_cast<long>(size);
    }
    data_.append(static_cast<const char*>(data), size);
    return true;
  }
  bool SetModificationTime(std::int64_t ns_since_1970) override {
    mtime_ = static_cast<std::uint32_t>(ns_since_1970 / 1000000000);
    mtime_set_ = true;
    return true;
  }
  bool Commit() override {
    if (system_->fail_commit) return false;
    system_->files[path_].data = data_;
    if (mtime_set_) system_->files[path_].mtime = mtime_;
    return true;
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

bool FakeSystem::WindowsDirectory(std::string* dir) {
  if (no_windows) return false;
  *dir = windows_dir;
  return true;
}
bool FakeSystem::SystemDirectory(std::string* dir) {
  if (no_system) return false;
  *dir = system_dir;
  return true;
}

std::unique_ptr<InputFile> FakeSystem::OpenForReading(const std::string& path) {
  std::string p = Normalize(path);
  auto it = files.find(p);
  if (it == files.end() || unreadable.count(p)) return nullptr;
  return std::make_unique<FakeInputFile>(it->second.data,
                                         p == Normalize(fail_read_path) ? fail_read_after : -1);
}

std::unique_ptr<OutputFile> FakeSystem::CreateReplacement(const std::string& path) {
  std::string p = Normalize(path);
  if (p.empty() || unreadable.count(p) || directories.count(p)) return nullptr;
  std::string::size_type slash = p.rfind('\\');
  if (slash != std::string::npos && slash > 0 && !directories.empty() &&
      !directories.count(p.substr(0, slash))) {
    return nullptr;  // the destination's directory is missing
  }
  return std::make_unique<FakeOutputFile>(this, p);
}

bool FakeSystem::CopyFileBytes(const std::string& source, const std::string& destination) {
  log.push_back("copy " + source + " " + destination);
  std::string s = Normalize(source), d = Normalize(destination);
  auto it = files.find(s);
  if (it == files.end() || unreadable.count(s) || s == d || d.empty()) return false;
  if (disk_space >= 0) {
    if (static_cast<long>(it->second.data.size()) > disk_space) return false;
    disk_space -= static_cast<long>(it->second.data.size());
  }
  files[d] = it->second;
  return true;
}

MakeDirResult FakeSystem::MakeDirectory(const std::string& path) {
  log.push_back("mkdir " + path);
  std::string p = Normalize(path);
  if (directories.count(p)) return MakeDirResult::kAlreadyExists;
  if (refuse_directory.count(p)) return MakeDirResult::kFailed;
  std::string::size_type slash = p.rfind('\\');
  if (slash != std::string::npos && slash > 2 && !directories.count(p.substr(0, slash))) {
    return MakeDirResult::kFailed;  // the parent is missing
  }
  directories.insert(p);
  return MakeDirResult::kCreated;
}

bool FakeSystem::GetFileStatus(const std::string& path, std::uint32_t* mtime) {
  auto it = files.find(Normalize(path));
  if (it == files.end()) return false;
  *mtime = it->second.mtime;
  return true;
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

RegKey FakeSystem::OpenRegistryKey(RegKey parent, const std::string& subkey) {
  Key* k = FindKey(parent);
  if (!k) return 0;
  Key* found = k;  // an empty name opens the parent again
  if (!subkey.empty()) {
    auto it = k->subkeys.find(Lower(subkey));
    if (it == k->subkeys.end()) return 0;
    found = it->second.get();
  }
  RegKey h = next_handle_++;
  handles_[h] = found;
  ++open_keys;
  return h;
}

bool FakeSystem::QueryRegistryValue(RegKey key, const std::string& name, std::string* data) {
  Key* k = FindKey(key);
  if (!k) return false;
  auto it = k->values.find(Lower(name));
  if (it == k->values.end()) return false;
  *data = it->second;
  return true;
}

void FakeSystem::CloseRegistryKey(RegKey key) {
  if (handles_.erase(key)) --open_keys;
}

void FakeSystem::SetVersionValues(const std::string& path,
                                  std::map<std::string, std::string> values) {
  version_values_[Normalize(path)] = std::move(values);
}

bool FakeSystem::ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) {
  auto it = version_values_.find(Normalize(path));
  if (it == version_values_.end()) return false;
  // The fake's block is the file's path; QueryVersionValue looks the values up by it.
  block->assign(it->first.begin(), it->first.end());
  return true;
}

bool FakeSystem::QueryVersionValue(const std::vector<std::uint8_t>& block,
                                   const std::string& sub_block, std::string* value) {
  auto it = version_values_.find(std::string(block.begin(), block.end()));
  if (it == version_values_.end()) return false;
  auto v = it->second.find(sub_block);
  if (v == it->second.end()) return false;
  *value = v->second;
  return true;
}

DllRegisterResult FakeSystem::CallDllRegisterServer(const std::string& path,
                                                    std::int32_t* hresult) {
  log.push_back("dll " + path);
  if (libraries_without_entry.count(path)) return DllRegisterResult::kNoEntryPoint;
  auto it = libraries.find(path);
  if (it == libraries.end()) return DllRegisterResult::kNotLoaded;
  *hresult = it->second;
  return DllRegisterResult::kCalled;
}

std::unique_ptr<Process> FakeSystem::StartProcess(const std::string& program,
                                                  const std::string& arguments,
                                                  const std::string& working_dir) {
  log.push_back("spawn " + program);
  if (!programs.count(program)) return nullptr;
  spawned.push_back({program, arguments, working_dir});
  return std::make_unique<FakeProcess>(process_polls);
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

}  // namespace setup
