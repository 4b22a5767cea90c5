#include "app/batch/batch_ui.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#include "base/scoped_file.h"

namespace setup {
namespace {

constexpr const char* kNotRegular = "not a regular file";
constexpr const char* kTooLarge = "larger than 1 MiB";

// Opens `path` for reading only when it names a regular file, judged on the open handle
// so that the name is never opened twice. A FIFO is opened without waiting for a writer.
// Null, with `*reason` set, otherwise.
ScopedFile OpenRegularFile(const std::string& path, std::string* reason) {
#ifdef _WIN32
  ScopedFile file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *reason = std::strerror(errno);
    return file;
  }
  struct _stat64 status;
  if (_fstat64(_fileno(file.get()), &status) != 0) {
    *reason = std::strerror(errno);
    file.reset();
  } else if ((status.st_mode & _S_IFMT) != _S_IFREG) {
    *reason = kNotRegular;
    file.reset();
  }
  return file;
#else
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return ScopedFile();
  }
  struct stat status;
  bool got_status = fstat(fd, &status) == 0;
  if (!got_status || !S_ISREG(status.st_mode)) {
    *reason = got_status ? kNotRegular : std::strerror(errno);
    close(fd);
    return ScopedFile();
  }
  ScopedFile file(fdopen(fd, "rb"));
  if (!file) {
    *reason = std::strerror(errno);
    close(fd);
  }
  return file;
#endif
}

// Splits `text` into lines ending in LF or CR LF; a last line without one counts too.
std::deque<std::string> SplitLines(const std::string& text) {
  std::deque<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

}  // namespace

bool BatchUi::ReadAnswers(const std::string& path, std::deque<std::string>* lines,
                          std::string* reason) {
  lines->clear();
  std::string ignored;
  if (reason == nullptr) reason = &ignored;
  if (path.empty()) return true;
  ScopedFile file = OpenRegularFile(path, reason);
  if (!file) return false;
  // One byte past the limit tells a longer file from one of exactly the limit.
  std::string text(kAnswersLimit + 1, '\0');
  std::size_t got = std::fread(text.data(), 1, text.size(), file.get());
  if (std::ferror(file.get())) {
    *reason = std::strerror(errno);
    return false;
  }
  if (got > kAnswersLimit) {
    *reason = kTooLarge;
    return false;
  }
  text.resize(got);
  *lines = SplitLines(text);
  return true;
}

int BatchUi::Next(int fallback, const char* dialog, std::string* value) {
  if (answers_.empty()) return fallback;
  std::string line = answers_.front();
  answers_.pop_front();
  if (line == "OK") return kIdOk;
  if (line == "CANCEL") return kIdCancel;
  if (value && line.compare(0, 3, "OK ") == 0) {
    *value = line.substr(3);
    return kIdOk;
  }
  std::fprintf(errors_, "setup: answer \"%s\" for %s is not understood; taken as CANCEL\n",
               line.c_str(), dialog);
  return kIdCancel;
}

int BatchUi::ShowSetupDialog(const std::string&, const std::string& destination,
                             const DestinationAccepted& on_ok) {
  std::string value = destination;
  int answer = Next(kIdOk, "SetupDialog", &value);
  // Nobody is there to correct a refused destination.
  if (answer == kIdOk && !on_ok(value)) return kIdFailed;
  return answer;
}

int BatchUi::ShowFinishDialog(const std::string&) { return Next(kIdOk, "FinishDialog"); }

int BatchUi::ShowDiskDialog(const std::string&, const std::string&) {
  return Next(kIdCancel, "DiskDialog");
}

int BatchUi::ShowMessageDialog(const std::string&) { return Next(kIdOk, "MessageDialog"); }

}  // namespace setup
