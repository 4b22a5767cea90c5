// SystemWrapper: a System that passes every call on to another System. A layer (a record
// of changes, a source of files other than the disk, an injected fault) derives from it
// and overrides only the calls it changes; every other call reaches the System beneath
// unchanged. Layers stack: a wrapper may wrap another wrapper.
#ifndef SETUP_PLATFORM_SYSTEM_WRAPPER_H_
#define SETUP_PLATFORM_SYSTEM_WRAPPER_H_

#include <type_traits>

#include "platform/system.h"

namespace setup {

class SystemWrapper : public System {
 public:
  // `target` is not owned and must outlive the wrapper.
  explicit SystemWrapper(System& target) : target_(target) {}
  SystemWrapper(const SystemWrapper&) = delete;
  SystemWrapper& operator=(const SystemWrapper&) = delete;

  // The System every call not overridden goes to.
  System& target() const { return target_; }

  Status WindowsDirectory(std::string* dir) override { return target_.WindowsDirectory(dir); }
  Status SystemDirectory(std::string* dir) override { return target_.SystemDirectory(dir); }

  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    return target_.OpenForReading(path, file);
  }
  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    return target_.CreateReplacement(path, file);
  }
  Status CopyFileBytes(const std::string& source, const std::string& destination) override {
    return target_.CopyFileBytes(source, destination);
  }
  // CopyFileBytesWatched is not passed on: a layer that serves its own copies (a package)
  // would be stepped over. It comes to this wrapper's CopyFileBytes, unwatched; a layer
  // whose copies are its target's passes it on itself.
  Status MakeDirectory(const std::string& path) override { return target_.MakeDirectory(path); }
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override {
    return target_.GetFileStatus(path, mtime);
  }

  Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) override {
    return target_.OpenRegistryKey(parent, subkey, key);
  }
  Status QueryRegistryValue(RegKey key, const std::string& name, std::string* data) override {
    return target_.QueryRegistryValue(key, name, data);
  }
  void CloseRegistryKey(RegKey key) override { target_.CloseRegistryKey(key); }

  Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override {
    return target_.ReadVersionBlock(path, block);
  }
  Status QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                           std::string* value) override {
    return target_.QueryVersionValue(block, sub_block, value);
  }

  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override {
    return target_.CallDllRegisterServer(path, hresult);
  }
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override {
    return target_.StartProcess(program, arguments, working_dir, process);
  }
  void SleepMilliseconds(int ms) override { target_.SleepMilliseconds(ms); }

  Status GetFileSize(const std::string& path, std::uint64_t* size) override {
    return target_.GetFileSize(path, size);
  }
  Status RemoveFile(const std::string& path) override { return target_.RemoveFile(path); }
  Status RemoveEmptyDirectory(const std::string& path) override {
    return target_.RemoveEmptyDirectory(path);
  }
  Status RenameFile(const std::string& from, const std::string& to, bool replace) override {
    return target_.RenameFile(from, to, replace);
  }
  Status LinkFile(const std::string& existing, const std::string& link) override {
    return target_.LinkFile(existing, link);
  }
  Status OpenRecordFile(const std::string& path, bool create,
                        std::unique_ptr<RecordFile>* file) override {
    return target_.OpenRecordFile(path, create, file);
  }
  Status CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) override {
    return target_.CallDllUnregisterServer(path, hresult);
  }
  Status RemoveFileAtRestart(const std::string& path) override {
    return target_.RemoveFileAtRestart(path);
  }

  Status OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                   KeyDisposition disposition, RegKey* key) override {
    return target_.OpenRegistryKeyForWriting(parent, subkey, disposition, key);
  }
  Status SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                           bool expandable) override {
    return target_.SetRegistryString(key, name, value, expandable);
  }
  Status SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) override {
    return target_.SetRegistryDword(key, name, value);
  }
  Status DeleteRegistryValue(RegKey key, const std::string& name) override {
    return target_.DeleteRegistryValue(key, name);
  }
  Status DeleteRegistryKey(RegKey parent, const std::string& subkey) override {
    return target_.DeleteRegistryKey(parent, subkey);
  }
  Status FlushRegistryKey(RegKey key) override { return target_.FlushRegistryKey(key); }
  // Not passed on: a layer that serves or records copies itself would see the system
  // beneath prepare copies that never reach it. A layer that passes its copies on
  // unchanged may pass the hint on too.
  void ExpectCopies(const std::vector<CopyPair>& copies) override { (void)copies; }
  bool PreparesCopies() const override { return false; }

 private:
  System& target_;
};

// A method added to System and not forwarded here leaves the wrapper abstract.
static_assert(!std::is_abstract_v<SystemWrapper>, "SystemWrapper must forward every method");

}  // namespace setup

#endif  // SETUP_PLATFORM_SYSTEM_WRAPPER_H_
