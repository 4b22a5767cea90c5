#include "platform/posix/hive_file.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/posix/posix_file.h"
#include "platform/posix/posix_status.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/scoped_fd.h"
#include "platform/posix/utf16_text.h"

extern char** environ;

namespace setup {
namespace {

constexpr std::size_t kMaxHiveBytes = 256u << 20;  // as the registry reader takes

std::string Hex(unsigned long long n) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%llx", n);
  return buffer;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<char>(kLead[extra] | (c >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k) {
      out.push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
    }
  }
  return out;
}

// A failure to read or write a hive file or a file for Wine's tool: the kind
// StatusFromErrno gives `error`, else `fallback` (kReadError, kWriteError).
Status HiveFailure(int error, StatusKind fallback, const std::string& path) {
  Status status = StatusFromErrno(error, path);
  return status.Is(StatusKind::kFailed) ? Status(fallback, path, status.os_error()) : status;
}

Status ReadHive(const std::string& path, std::string* text, struct stat* st) {
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return HiveFailure(errno, StatusKind::kReadError, path);
  if (fstat(fd.get(), st) != 0) return HiveFailure(errno, StatusKind::kReadError, path);
  if (!S_ISREG(st->st_mode) || static_cast<std::size_t>(st->st_size) > kMaxHiveBytes) {
    return Status(StatusKind::kCorrupt, path);
  }
  text->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HiveFailure(errno, StatusKind::kReadError, path);
    if (n == 0) return Status::Ok();
    if (text->size() + static_cast<std::size_t>(n) > kMaxHiveBytes) {
      return Status(StatusKind::kCorrupt, path);
    }
    text->append(buffer, static_cast<std::size_t>(n));
  }
}

// Writes `text` over `path` through a temporary file beside it, renamed over it when
// complete, as the Wine server saves a hive: a failure or a kill leaves the old file.
// Like the server, it does not wait for the disk: a run makes a dozen changes in a row,
// and a flush of a hive of megabytes for each would cost more than the rest of an install.
Status ReplaceHive(const std::string& path, const std::string& text, mode_t mode) {
  std::unique_ptr<TempFile> temp = TempFile::Create(path);
  if (!temp) return HiveFailure(errno, StatusKind::kWriteError, path);
  for (std::size_t done = 0; done < text.size();) {
    ssize_t n = write(temp->fd(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return HiveFailure(errno, StatusKind::kWriteError, path);
    done += static_cast<std::size_t>(n);
  }
  if (!temp->Commit(mode & 07777)) return HiveFailure(errno, StatusKind::kWriteError, path);
  return Status::Ok();
}

// Runs `wine ARGS...` in the prefix, its output nowhere; its exit status as kFailed.
Status RunWine(const std::string& prefix, std::vector<std::string> words, const std::string& what) {
  words.insert(words.begin(), "wine");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> settings = {"WINEPREFIX=" + prefix, "WINEDEBUG=-all"};
  for (char** e = environ; *e != nullptr; ++e) {
    std::string_view entry(*e);
    if (!entry.starts_with("WINEPREFIX=") && !entry.starts_with("WINEDEBUG=")) {
      settings.emplace_back(entry);
    }
  }
  std::vector<char*> envp;
  for (std::string& setting : settings) envp.push_back(setting.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int error = posix_spawnp(&pid, "wine", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return Status(StatusKind::kUnsupported, what, static_cast<std::uint32_t>(error));
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0) {
    if (errno != EINTR) return Status(StatusKind::kFailed, what, static_cast<std::uint32_t>(errno));
  }
  if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) return Status::Ok();
  int code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  return Status(StatusKind::kFailed, what, static_cast<std::uint32_t>(code));
}

// The key `names` under `root` ("HKLM", "HKCU") as Wine's tool takes it on its command line.
std::string ToolKeyPath(const std::string& root, const std::vector<std::u16string>& names) {
  std::string key = root;
  for (const std::u16string& name : names) key += "\\" + Utf16ToUtf8(name);
  return key;
}

// The C:\ folder that files for Wine's tool are written to, as a POSIX path and as
// Windows sees it.
void ToolFolder(const std::string& prefix, std::string* dir, std::string* windows_dir) {
  struct stat st;
  bool in_temp = stat((prefix + "/drive_c/windows/temp").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  *dir = prefix + (in_temp ? "/drive_c/windows/temp/" : "/drive_c/");
  *windows_dir = in_temp ? "C:\\windows\\temp\\" : "C:\\";
}

// Hands `edits` (no key deletion among them) to the running server through `wine reg
// import`, from a file in the prefix's C:\windows\temp (or C:\) removed afterwards.
Status ImportThroughWine(const std::string& prefix, const std::string& root,
                         const std::vector<HiveEdit>& edits) {
  if (edits.empty()) return Status::Ok();
  std::string dir, windows_dir;
  ToolFolder(prefix, &dir, &windows_dir);
  std::string path = dir + "setup-reg-XXXXXX.reg";
  ScopedFd fd(mkstemps(path.data(), 4));
  if (!fd.valid()) return HiveFailure(errno, StatusKind::kWriteError, dir);
  // UTF-16LE after a byte-order mark, as regedit writes files of version 5.
  std::string bytes = Utf16ToLittleEndian(u"\uFEFF" + RegImportText(root, edits));
  bool written = write(fd.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  bool closed = fd.Close();
  Status status =
      written && closed ? Status::Ok() : HiveFailure(errno, StatusKind::kWriteError, path);
  std::string name = path.substr(dir.size());
  if (status.ok()) {
    status = RunWine(prefix, {"reg", "import", windows_dir + name, "/reg:64"}, root);
  }
  unlink(path.c_str());
  return status;
}

// Whether `failed`, what Wine's tool came to for `key`, is its answer for a key that is not
// there. The tool answers 1 for that, but also for other refusals (a file it cannot write):
// only when `wine reg query` answers 1 as well. Wine that cannot be started, or that ends
// otherwise, is never taken for a missing key.
bool KeyMissing(const std::string& prefix, const std::string& key, const Status& failed) {
  auto refused = [](const Status& status) {
    return status.Is(StatusKind::kFailed) && status.os_error() == 1;
  };
  return refused(failed) && refused(RunWine(prefix, {"reg", "query", key, "/reg:64"}, key));
}

// `wine reg import` does not delete keys ("[-KEY]" is taken and ignored): each goes
// through `wine reg delete`, which fails for a key that is not there: gone either way.
Status DeleteThroughWine(const std::string& prefix, const std::string& root, const HiveEdit& edit) {
  std::string key = ToolKeyPath(root, edit.key);
  Status status = RunWine(prefix, {"reg", "delete", key, "/f", "/reg:64"}, key);
  return status.ok() || KeyMissing(prefix, key, status) ? Status::Ok() : status;
}

// The bytes `wine reg export KEY FILE /y /reg:64` writes, through a file in the prefix's
// C:\windows\temp (or C:\) removed afterwards. kNotFound only for a key that is not there
// (KeyMissing); the file unreadable is kReadError, Wine's failure kFailed with its exit
// status, Wine that cannot be started kUnsupported.
Status ExportThroughWine(const std::string& prefix, const std::string& key, std::string* bytes) {
  std::string dir, windows_dir;
  ToolFolder(prefix, &dir, &windows_dir);
  std::string path = dir + "setup-reg-XXXXXX.reg";
  ScopedFd fd(mkstemps(path.data(), 4));
  if (!fd.valid()) return HiveFailure(errno, StatusKind::kWriteError, dir);
  fd.Close();
  Status status = RunWine(
      prefix, {"reg", "export", key, windows_dir + path.substr(dir.size()), "/y", "/reg:64"}, key);
  if (status.ok()) {
    struct stat st;
    status = ReadHive(path, bytes, &st);
    // The file was made above: one that has gone is no missing key.
    if (status.Is(StatusKind::kNotFound))
      status = Status(StatusKind::kReadError, path, status.os_error());
  } else if (KeyMissing(prefix, key, status)) {
    status = Status(StatusKind::kNotFound, key, status.os_error());
  }
  unlink(path.c_str());
  return status;
}

Status ChangeThroughWine(const std::string& prefix, const std::string& root,
                         const std::vector<HiveEdit>& edits) {
  std::vector<HiveEdit> batch;
  for (const HiveEdit& edit : edits) {
    if (edit.kind != HiveEdit::Kind::kDeleteKey) {
      batch.push_back(edit);
      continue;
    }
    Status status = ImportThroughWine(prefix, root, batch);
    if (status.ok()) status = DeleteThroughWine(prefix, root, edit);
    if (!status.ok()) return status;
    batch.clear();
  }
  return ImportThroughWine(prefix, root, batch);
}

}  // namespace

std::vector<std::string> WineServerDirectories(const std::string& prefix) {
  std::vector<std::string> dirs;
  struct stat st;
  if (stat(prefix.c_str(), &st) != 0) return dirs;
  std::string leaf = "/server-" + Hex(st.st_dev) + "-" + Hex(st.st_ino);
  dirs.push_back("/tmp/.wine-" + std::to_string(getuid()) + leaf);
  // Debian's Wine names a folder of its own making in the prefix's file "wineserver".
  std::string name;
  struct stat ignored;
  if (ReadHive(prefix + "/wineserver", &name, &ignored).ok()) {
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (!name.empty() && name.find('\n') == std::string::npos && name.find("..") == name.npos) {
      dirs.push_back((name[0] == '/' ? name : "/tmp/" + name) + leaf);
    }
  }
  return dirs;
}

WineServerLock::WineServerLock(const std::string& prefix) {
  for (const std::string& dir : WineServerDirectories(prefix)) {
    std::string lock = dir + "/lock";
    int fd = open(lock.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
      // No lock file: no server has run there. One that cannot be opened may be held.
      if (errno != ENOENT) server_running_ = true;
      continue;
    }
    fds_.push_back(fd);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &fl) != 0) server_running_ = true;
  }
}

WineServerLock::~WineServerLock() {
  for (int fd : fds_) close(fd);  // closing lets the lock go
}

std::uint64_t FileTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kTicksFrom1601To1970 + static_cast<std::uint64_t>(now.tv_sec) * kTicksPerSecond +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

namespace {

void AppendAscii(std::string_view text, std::u16string* out) {
  for (char c : text) out->push_back(static_cast<unsigned char>(c));
}

void AppendKey(const std::string& root, const std::vector<std::u16string>& key, bool remove,
               std::u16string* out) {
  AppendAscii(remove ? "\r\n[-" : "\r\n[", out);
  AppendAscii(root == "HKLM" ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER", out);
  for (const std::u16string& name : key) *out += u'\\' + name;
  AppendAscii("]\r\n", out);
}

void AppendName(const std::u16string& name, std::u16string* out) {
  if (name.empty()) {
    out->push_back(u'@');
    return;
  }
  out->push_back(u'"');
  for (char16_t c : name) {
    if (c == u'"' || c == u'\\') out->push_back(u'\\');
    out->push_back(c);
  }
  out->push_back(u'"');
}

}  // namespace

std::u16string RegImportText(const std::string& root, const std::vector<HiveEdit>& edits) {
  std::u16string out;
  AppendAscii("Windows Registry Editor Version 5.00\r\n", &out);
  for (const HiveEdit& edit : edits) {
    AppendKey(root, edit.key, edit.kind == HiveEdit::Kind::kDeleteKey, &out);
    if (edit.kind == HiveEdit::Kind::kCreateKey || edit.kind == HiveEdit::Kind::kDeleteKey)
      continue;
    AppendName(edit.value_name, &out);
    char buffer[16];
    if (edit.kind == HiveEdit::Kind::kDeleteValue) {
      AppendAscii("=-", &out);
    } else if (edit.type == kRegDword) {
      std::snprintf(buffer, sizeof buffer, "=dword:%08x", static_cast<unsigned>(edit.number));
      AppendAscii(buffer, &out);
    } else {
      // Strings as their UTF-16 bytes with the NUL: no escaping to get wrong.
      AppendAscii(edit.type == kRegExpandSz ? "=hex(2):" : "=hex(1):", &out);
      std::u16string text = edit.text + u'\0';
      for (std::size_t i = 0; i < text.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%02x,%02x", i == 0 ? "" : ",", text[i] & 0xFF,
                      text[i] >> 8);
        AppendAscii(buffer, &out);
      }
    }
    AppendAscii("\r\n", &out);
  }
  return out;
}

std::string RegExportToHiveText(std::string_view exported) {
  std::string out;
  bool header = false;
  for (std::size_t pos = 0; pos < exported.size();) {
    std::size_t stop = exported.find('\n', pos);
    if (stop == std::string_view::npos) stop = exported.size();
    std::string_view line = exported.substr(pos, stop - pos);
    pos = stop + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!header) {
      if (line.empty()) continue;
      if (line != "Windows Registry Editor Version 5.00") return std::string();
      out = std::string(kRegHiveHeader) + "\n";
      header = true;
      continue;
    }
    std::size_t close = line.rfind(']');
    std::size_t first = line.find('\\');
    if (!line.starts_with("[") || close == std::string_view::npos || first > close) {
      out.append(line).push_back('\n');
      continue;
    }
    out += '[';
    for (char c : line.substr(first + 1, close - first - 1)) {
      if (c == '\\' || c == '[' || c == ']') out += '\\';
      out += c;
    }
    out += "]\n";
  }
  return out;
}

Status ExportFromServer(const std::string& prefix, const std::string& root,
                        const std::vector<std::u16string>& names, std::string* hive_text) {
  hive_text->clear();
  if (!WineServerLock(prefix).server_running()) return Status::Ok();
  std::string key = ToolKeyPath(root, names);
  std::string bytes;
  Status status = ExportThroughWine(prefix, key, &bytes);
  if (!status.ok()) return status;
  std::size_t skip = bytes.starts_with("\xff\xfe") ? 2 : 0;
  std::u16string wide = Utf16FromLittleEndian(
      reinterpret_cast<const std::uint8_t*>(bytes.data()) + skip, (bytes.size() - skip) / 2);
  *hive_text = RegExportToHiveText(Utf16ToUtf8(wide));
  return hive_text->empty() ? Status(StatusKind::kCorrupt, key) : Status::Ok();
}

Status WriteHiveChanges(const std::string& prefix, const std::string& file, const std::string& root,
                        const std::vector<HiveEdit>& edits) {
  if (edits.empty()) return Status::Ok();
  std::string path = prefix + "/" + file;
  {
    WineServerLock lock(prefix);
    if (lock.server_running()) return ChangeThroughWine(prefix, root, edits);
    std::string text, changed;
    struct stat st;
    Status status = ReadHive(path, &text, &st);
    if (status.ok()) status = ApplyHiveEdits(text, edits, FileTimeNow(), &changed);
    if (!status.ok()) return Status(status.kind(), path, status.os_error());
    if (changed != text) status = ReplaceHive(path, changed, st.st_mode);
    if (!status.ok()) return status;
  }
  // A server that started where no lock file was yet has read the old file and would
  // write it back: the changes, which come out the same when made twice, go to it too.
  WineServerLock after(prefix);
  return after.server_running() ? ChangeThroughWine(prefix, root, edits) : Status::Ok();
}

}  // namespace setup
