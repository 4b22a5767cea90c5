#include "platform/posix/posix_process.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_status.h"
#include "platform/posix/scoped_fd.h"

extern char** environ;

namespace setup {
namespace {

// Children whose Process was destroyed before they ended; reaped when next seen ended.
std::vector<pid_t>& Orphans() {
  static std::vector<pid_t> orphans;
  return orphans;
}

void ReapOrphans() {
  std::vector<pid_t>& orphans = Orphans();
  for (auto it = orphans.begin(); it != orphans.end();) {
    pid_t r = waitpid(*it, nullptr, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) {
      ++it;
    } else {
      it = orphans.erase(it);  // reaped, or no longer a child of ours
    }
  }
}

class ChildProcess : public Process {
 public:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  ~ChildProcess() override {
    if (!HasEnded()) Orphans().push_back(pid_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool HasEnded() override {
    ReapOrphans();
    while (!ended_) {
      pid_t r = waitpid(pid_, nullptr, WNOHANG);
      if (r == 0) return false;
      if (r < 0 && errno == EINTR) continue;
      ended_ = true;  // reaped, or (ECHILD) reaped by someone else
    }
    return true;
  }

 private:
  pid_t pid_;
  bool ended_ = false;
};

struct DlCloser {
  void operator()(void* handle) const { dlclose(handle); }
};

// posix_spawn_file_actions_addchdir_np needs glibc 2.29 or later.
class SpawnActions {
 public:
  SpawnActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_;
};

// The child in a process group of its own (POSIX_SPAWN_SETPGROUP, group 0): a terminal's
// Ctrl-C, which goes to the foreground group, reaches this program, which ignores it
// during a run, and not the child.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    initialized_ = posix_spawnattr_init(&attributes_) == 0;
    ok_ = initialized_ && posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP) == 0 &&
          posix_spawnattr_setpgroup(&attributes_, 0) == 0;
  }
  ~SpawnAttributes() {
    if (initialized_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  bool ok() const { return ok_; }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  bool initialized_;
  bool ok_;
};

pid_t Spawn(char* const argv[], const std::string& working_dir) {
  SpawnActions actions;
  SpawnAttributes attributes;
  if (!actions.ok() || !attributes.ok()) return -1;
  if (!working_dir.empty() &&
      posix_spawn_file_actions_addchdir_np(actions.get(), working_dir.c_str()) != 0) {
    return -1;
  }
  pid_t pid;
  // posix_spawn answers its error rather than setting errno.
  int error = posix_spawn(&pid, argv[0], actions.get(), attributes.get(), argv, environ);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return pid;
}

// Reads exactly `size` bytes at `offset`.
bool ReadAt(int fd, void* buffer, std::size_t size, off_t offset) {
  return pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

template <typename Ehdr, typename Phdr>
bool HasInterpreter(int fd, const unsigned char* ident) {
  Ehdr header;
  std::memcpy(&header, ident, sizeof header);
  if (header.e_type != ET_DYN) return true;  // an executable, or not ours to judge
  if (header.e_phentsize != sizeof(Phdr)) return false;
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Phdr ph;
    if (!ReadAt(fd, &ph, sizeof ph, static_cast<off_t>(header.e_phoff + i * sizeof ph)))
      return false;
    if (ph.p_type == PT_INTERP) return true;
  }
  return false;
}

// A shared library has no program interpreter; executed, it would crash at once. Like
// Windows, which refuses to start a DLL as a program, we refuse to start it.
bool IsSharedLibrary(const std::string& path) {
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return false;
  unsigned char ident[sizeof(Elf64_Ehdr)] = {};
  if (!ReadAt(fd.get(), ident, sizeof(Elf32_Ehdr), 0) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
    return false;
  }
  if (ident[EI_CLASS] == ELFCLASS64) {
    if (!ReadAt(fd.get(), ident, sizeof(Elf64_Ehdr), 0)) return false;
    return !HasInterpreter<Elf64_Ehdr, Elf64_Phdr>(fd.get(), ident);
  }
  return !HasInterpreter<Elf32_Ehdr, Elf32_Phdr>(fd.get(), ident);
}

}  // namespace

Status CallRegisterServer(const std::string& library, std::int32_t* hresult) {
  return CallServerEntry(library, "DllRegisterServer", hresult);
}

Status CallServerEntry(const std::string& library, const char* entry, std::int32_t* hresult) {
  // A name without a slash would be searched for on the library path, and the empty
  // name would give this program itself.
  if (library.empty()) return StatusFromErrno(ENOENT, library);
  std::string path = library.find('/') == std::string::npos ? "./" + library : library;
  std::unique_ptr<void, DlCloser> handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    // dlopen keeps no errno: a file that is there but does not load is no library.
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return StatusFromErrno(errno, library);
    if (S_ISDIR(st.st_mode)) return StatusFromErrno(EISDIR, library);
    return Status(StatusKind::kFailed, library);  // there, but no library that loads
  }
  void* symbol = dlsym(handle.get(), entry);
  if (symbol == nullptr) return Status(StatusKind::kUnsupported, library);
  using Entry = std::int32_t (*)();
  *hresult = reinterpret_cast<Entry>(symbol)();
  return Status::Ok();
}

std::unique_ptr<Process> StartChildProcess(const std::string& program,
                                           const std::vector<std::string>& arguments,
                                           const std::string& working_dir) {
  ReapOrphans();
  if (program.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  if (IsSharedLibrary(program)) {
    errno = ENOEXEC;
    return nullptr;
  }
  std::vector<std::string> words;
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = Spawn(argv.data(), working_dir);
  if (pid < 0) return nullptr;
  return std::make_unique<ChildProcess>(pid);
}

std::vector<std::string> SplitArguments(const std::string& arguments) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < arguments.size()) {
    while (i < arguments.size() && (arguments[i] == ' ' || arguments[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < arguments.size() && arguments[i] != ' ' && arguments[i] != '\t') ++i;
    if (i > start) words.push_back(arguments.substr(start, i - start));
  }
  return words;
}

}  // namespace setup
