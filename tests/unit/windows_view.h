// WindowsView: the in-memory FakeSystem seen as Windows sees files, for comparing the
// checker with a run. A name is found whatever its letter case and however it is spelt
// (`.`, `..`, `/`, trailing dots and blanks), a folder exists for GetFileStatus (and a
// folder is there when a file lies in it), a name Windows refuses is never created, and
// a copy into a folder that is not there fails.
#ifndef SETUP_TESTS_UNIT_WINDOWS_VIEW_H_
#define SETUP_TESTS_UNIT_WINDOWS_VIEW_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_wrapper.h"
#include "script/check_text.h"
#include "tests/unit/fakes.h"

namespace setup {

class WindowsView : public SystemWrapper {
 public:
  explicit WindowsView(FakeSystem& fake) : SystemWrapper(fake), fake_(fake) {}

  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    return fake_.OpenForReading(FileNamed(path), file);
  }
  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    if (!MayCreate(path)) return Status(StatusKind::kNotFound, path);
    return fake_.CreateReplacement(Created(path), file);
  }
  Status CopyFileBytes(const std::string& source, const std::string& destination) override {
    if (!MayCreate(destination)) return Status(StatusKind::kNotFound, destination);
    if (IsFolder(destination)) return Status(StatusKind::kIsDirectory, destination);
    return fake_.CopyFileBytes(FileNamed(source), Created(destination));
  }
  Status MakeDirectory(const std::string& path) override {
    if (IsFolder(path)) return Status(StatusKind::kAlreadyExists, path);
    if (!MayCreate(path) || HasFile(path)) return Status(StatusKind::kFailed, path);
    fake_.directories.insert(Created(path));
    fake_.log.push_back("mkdir " + path);
    return Status::Ok();
  }
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override {
    Status status = fake_.GetFileStatus(FileNamed(path), mtime);
    if (status.ok() || !IsFolder(path)) return status;
    *mtime = 0;
    return Status::Ok();
  }
  Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override {
    return fake_.ReadVersionBlock(FileNamed(path), block);
  }

 private:
  std::string Key(const std::string& path) const { return NormalPath(fake_.encoding, path); }

  // The fake's name of the file `path` names; `path` itself when there is none.
  std::string FileNamed(const std::string& path) const {
    std::string key = Key(path);
    for (const auto& [name, file] : fake_.files) {
      if (Key(name) == key) return name;
    }
    return path;
  }

  bool HasFile(const std::string& path) const {
    std::string key = Key(path);
    for (const auto& [name, file] : fake_.files) {
      if (Key(name) == key) return true;
    }
    return false;
  }

  bool IsFolder(const std::string& path) const {
    std::string key = Key(path);
    if (key.empty()) return false;
    for (const std::string& dir : fake_.directories) {
      if (Key(dir) == key) return true;
    }
    for (const auto& [name, file] : fake_.files) {
      std::string file_key = Key(name);
      if (file_key.size() > key.size() && file_key.compare(0, key.size(), key) == 0 &&
          file_key[key.size()] == '\\') {
        return true;
      }
    }
    return false;
  }

  // The name a new file or folder gets: an existing one's, else the path resolved.
  std::string Created(const std::string& path) const {
    std::string existing = FileNamed(path);
    return existing != path ? existing : NormalPath(fake_.encoding, path, false);
  }

  bool MayCreate(const std::string& path) const {
    if (!RefusedNameChar(fake_.encoding, path).empty()) return false;
    std::string parent = ParentOf(fake_.encoding, Key(path));
    return parent.empty() || parent.size() == 2 || fake_.directories.empty() || IsFolder(parent);
  }

  FakeSystem& fake_;
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_WINDOWS_VIEW_H_
