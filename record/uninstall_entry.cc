#include "record/uninstall_entry.h"

#include <utility>

namespace setup {
namespace {

// A key opened for writing, closed when this goes away.
class OpenKey {
 public:
  explicit OpenKey(System& system) : system_(system) {}
  ~OpenKey() {
    if (key_ != 0) system_.CloseRegistryKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  RegKey* out() { return &key_; }
  RegKey get() const { return key_; }

 private:
  System& system_;
  RegKey key_ = 0;
};

std::string EntryPath(const std::string& id) { return std::string(kUninstallKeyPath) + "\\" + id; }

// The string values in the order they are written; empty optional ones are skipped.
struct StringValue {
  const char* name;
  std::string UninstallEntryValues::*field;
  bool required;
};
constexpr StringValue kStringValues[] = {
    {"DisplayName", &UninstallEntryValues::display_name, true},
    {"DisplayVersion", &UninstallEntryValues::display_version, false},
    {"Publisher", &UninstallEntryValues::publisher, false},
    {"URLInfoAbout", &UninstallEntryValues::url_info_about, false},
    {"InstallLocation", &UninstallEntryValues::install_location, false},
    {"InstallDate", &UninstallEntryValues::install_date, false},
    {"UninstallString", &UninstallEntryValues::uninstall_string, false},
    {"QuietUninstallString", &UninstallEntryValues::quiet_uninstall_string, false},
    {"DisplayIcon", &UninstallEntryValues::display_icon, false},
};

Status WriteValues(System& system, RegKey key, const UninstallEntryValues& values) {
  for (const StringValue& value : kStringValues) {
    const std::string& text = values.*value.field;
    if (text.empty() && !value.required) continue;
    Status status = system.SetRegistryString(key, value.name, text, false);
    if (!status.ok()) return status;
  }
  const std::pair<const char*, std::uint32_t> numbers[] = {
      {"EstimatedSize", values.estimated_size}, {"NoModify", 1}, {"NoRepair", 1}};
  for (const auto& [name, number] : numbers) {
    Status status = system.SetRegistryDword(key, name, number);
    if (!status.ok()) return status;
  }
  return Status::Ok();
}

// A string value as QueryRegistryValue hands it, without its terminating NULs.
std::string ReadString(System& system, RegKey key, const char* name) {
  std::string data;
  if (!system.QueryRegistryValue(key, name, &data).ok()) return std::string();
  while (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

}  // namespace

bool IsValidUninstallId(std::string_view id) {
  if (id.empty() || id.size() > 255) return false;
  for (char c : id) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_' || c == '{' || c == '}';
    if (!ok) return false;
  }
  return true;
}

Status WriteUninstallEntry(System& system, const UninstallEntryValues& values) {
  if (!IsValidUninstallId(values.id)) return Status(StatusKind::kInvalidName, values.id);
  if (values.display_name.empty()) return Status(StatusKind::kInvalidName, values.id);
  std::string path = EntryPath(values.id);
  Status status = system.DeleteRegistryKey(kHkeyLocalMachine, path);
  if (!status.ok() && !status.Is(StatusKind::kNotFound)) return status;
  {
    OpenKey key(system);
    status = system.OpenRegistryKeyForWriting(kHkeyLocalMachine, path,
                                              System::KeyDisposition::kCreateIfMissing, key.out());
    if (status.ok()) status = WriteValues(system, key.get(), values);
    if (status.ok()) status = system.FlushRegistryKey(key.get());
  }
  // A half-written entry would show a product without its uninstaller: it goes again,
  // and what is left to write is settled now, not when the program ends.
  if (!status.ok()) {
    system.DeleteRegistryKey(kHkeyLocalMachine, path);
    system.FlushRegistryKey(kHkeyLocalMachine);
  }
  return status;
}

Status RemoveUninstallEntry(System& system, const std::string& id) {
  if (!IsValidUninstallId(id)) return Status(StatusKind::kInvalidName, id);
  Status status = system.DeleteRegistryKey(kHkeyLocalMachine, EntryPath(id));
  if (!status.ok() && !status.Is(StatusKind::kNotFound)) return status;
  // Flushed even when the key seemed missing: natively a running Wine server may hold an
  // entry its hive file does not show yet, and the deletion still goes to it. A registry
  // with no hive at all holds no entry either.
  Status flushed = system.FlushRegistryKey(kHkeyLocalMachine);
  return flushed.Is(StatusKind::kNotFound) ? Status::Ok() : flushed;
}

Status ReadUninstallEntry(System& system, const std::string& id, UninstallEntryValues* values) {
  if (!IsValidUninstallId(id)) return Status(StatusKind::kInvalidName, id);
  // Opened as the writes open it, so that it is read in the same view.
  OpenKey key(system);
  Status status = system.OpenRegistryKeyForWriting(kHkeyLocalMachine, EntryPath(id),
                                                   System::KeyDisposition::kMustExist, key.out());
  if (!status.ok()) return status;
  UninstallEntryValues read;
  read.id = id;
  for (const StringValue& value : kStringValues)
    read.*value.field = ReadString(system, key.get(), value.name);
  std::string size;
  if (system.QueryRegistryValue(key.get(), "EstimatedSize", &size).ok() && size.size() == 4) {
    for (int i = 3; i >= 0; --i) {
      read.estimated_size = (read.estimated_size << 8) | static_cast<unsigned char>(size[i]);
    }
  }
  *values = std::move(read);
  return Status::Ok();
}

}  // namespace setup
