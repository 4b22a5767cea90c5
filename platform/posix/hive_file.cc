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
#include "platform/posix/reg_hive.h"
#include "platform/posix/scoped_fd.h"

extern char** environ;

namespace setup {
namespace {

constexpr std::size_t kMaxHiveBytes = 256u << 20;  // as the registry reader takes

std::string Hex(unsigned long long n) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%llx", n);
  return buffer;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

Status ErrnoStatus(StatusKind fallback, const std::string& path) {
  int error = errno;
  StatusKind kind = error == ENOENT                     ? StatusKind::kNotFound
                    : error == EACCES || error == EPERM ? StatusKind::kAccessDenied
                    : error == ENOSPC                   ? StatusKind::kDiskFull
                                                        : fallback;
  return Status(kind, path, static_cast<std::uint32_t>(error));
}

Status ReadHive(const std::string& path, std::string* text, struct stat* st) {
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return ErrnoStatus(StatusKind::kReadError, path);
  if (fstat(fd.get(), st) != 0) return ErrnoStatus(StatusKind::kReadError, path);
  if (!S_ISREG(st->st_mode) || static_cast<std::size_t>(st->st_size) > kMaxHiveBytes) {
    return Status(StatusKind::kCorrupt, path);
  }
  text->clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrnoStatus(StatusKind::kReadError, path);
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
  if (!temp) return ErrnoStatus(StatusKind::kWriteError, path);
  for (std::size_t done = 0; done < text.size();) {
    ssize_t n = write(temp->fd(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ErrnoStatus(StatusKind::kWriteError, path);
    done += static_cast<std::size_t>(n);
  }
  if (!temp->Commit(mode & 07777)) return ErrnoStatus(StatusKind::kWriteError, path);
  return Status::Ok();
}

Status RunRegTool(const std::string& prefix, const std::string& root, const HiveEdit& edit) {
  std::vector<std::string> words = {"wine"};
  for (std::string& word : RegToolArguments(root, edit)) words.push_back(std::move(word));
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
  std::string key = root + "\\" + Utf8(edit.key.empty() ? u"" : edit.key.back());
  if (error != 0) return Status(StatusKind::kUnsupported, key, static_cast<std::uint32_t>(error));
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0) {
    if (errno != EINTR) return Status(StatusKind::kFailed, key, static_cast<std::uint32_t>(errno));
  }
  if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) return Status::Ok();
  int code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  return Status(StatusKind::kFailed, key, static_cast<std::uint32_t>(code));
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
  return 116444736000000000ull + static_cast<std::uint64_t>(now.tv_sec) * 10000000ull +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

std::vector<std::string> RegToolArguments(const std::string& root, const HiveEdit& edit) {
  std::string key = root;
  for (const std::u16string& name : edit.key) key += "\\" + Utf8(name);
  bool add = edit.kind == HiveEdit::Kind::kCreateKey || edit.kind == HiveEdit::Kind::kSetValue;
  std::vector<std::string> args = {"reg", add ? "add" : "delete", key};
  bool names_value =
      edit.kind == HiveEdit::Kind::kSetValue || edit.kind == HiveEdit::Kind::kDeleteValue;
  if (names_value && edit.value_name.empty()) args.push_back("/ve");
  if (names_value && !edit.value_name.empty()) {
    args.push_back("/v");
    args.push_back(Utf8(edit.value_name));
  }
  if (edit.kind == HiveEdit::Kind::kSetValue) {
    args.push_back("/t");
    args.push_back(edit.type == kRegDword      ? "REG_DWORD"
                   : edit.type == kRegExpandSz ? "REG_EXPAND_SZ"
                                               : "REG_SZ");
    args.push_back("/d");
    args.push_back(edit.type == kRegDword ? std::to_string(edit.number) : Utf8(edit.text));
  }
  args.push_back("/f");
  args.push_back("/reg:64");
  return args;
}

Status WriteHiveChange(const std::string& prefix, const std::string& file, const std::string& root,
                       const HiveEdit& edit) {
  std::string path = prefix + "/" + file;
  {
    WineServerLock lock(prefix);
    if (lock.server_running()) return RunRegTool(prefix, root, edit);
    std::string text, changed;
    struct stat st;
    Status status = ReadHive(path, &text, &st);
    if (status.ok()) status = EditHiveText(text, edit, FileTimeNow(), &changed);
    if (!status.ok()) return Status(status.kind(), path, status.os_error());
    if (changed != text) status = ReplaceHive(path, changed, st.st_mode);
    if (!status.ok()) return status;
  }
  // A server that started where no lock file was yet has read the old file and would
  // write it back: the change, which is the same when made twice, goes to it as well.
  // A deletion the server already saw done fails there; it is done all the same.
  WineServerLock after(prefix);
  if (!after.server_running()) return Status::Ok();
  Status again = RunRegTool(prefix, root, edit);
  bool deletes =
      edit.kind == HiveEdit::Kind::kDeleteKey || edit.kind == HiveEdit::Kind::kDeleteValue;
  return deletes ? Status::Ok() : again;
}

}  // namespace setup
