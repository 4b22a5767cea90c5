// Status: the outcome of a step that can fail, as a value: what kind of failure, on which
// path or paths, at which script line, with which operating-system error. A platform
// makes it once, from errno or GetLastError, at the call that failed; the callers decide
// on its kind, never on a message text. Turning a status into the words the user sees is
// the job of one place in text/.
//
// A default-constructed Status is success. Kinds are few on purpose: one is added when a
// caller has to decide differently on it, not for every error number; the number itself
// travels in os_error for a record or a transcript.
#ifndef SETUP_BASE_STATUS_H_
#define SETUP_BASE_STATUS_H_

#include <cstdint>
#include <string>
#include <utility>

namespace setup {

enum class StatusKind : std::uint8_t {
  kOk,
  kNotFound,       // no such file or folder, or a folder on its way is missing
  kAlreadyExists,  // the name is taken
  kIsDirectory,    // a folder stands where a file was wanted
  kAccessDenied,   // refused: permissions, read-only, in use, a link to a folder
  kDiskFull,       // no room left on the volume
  kInvalidName,    // a name the file system refuses (a stream colon, say)
  kSameFile,       // source and destination are one file
  kReadError,      // opened, but reading failed
  kWriteError,     // created, but writing, flushing or renaming failed
  kCorrupt,        // the data read is not what it must be (a damaged record or package)
  kTooLong,        // over a fixed limit: a script over its store, a text line after expansion
  kSyntaxError,    // a text the program reads is malformed (a text copy's unclosed comment)
  kUnsupported,    // the call cannot be done here (no Windows installation, say)
  kFailed,         // any other failure
};

class Status {
 public:
  Status() = default;
  explicit Status(StatusKind kind, std::string path = std::string(), std::uint32_t os_error = 0)
      : kind_(kind), path_(std::move(path)), os_error_(os_error) {}

  static Status Ok() { return Status(); }

  bool ok() const { return kind_ == StatusKind::kOk; }
  StatusKind kind() const { return kind_; }
  bool Is(StatusKind kind) const { return kind_ == kind; }

  // The path the step was working on (the destination of a copy), and the second one
  // where there is one (the copy's source).
  const std::string& path() const { return path_; }
  const std::string& other_path() const { return other_path_; }
  // The line the failure is at: the script line the step belongs to, or, for a failure
  // inside a file being read (a text copy's source), that file's line; 0 when none.
  int line() const { return line_; }
  // errno natively, GetLastError() in Setup.exe; 0 when the failure has no such number.
  std::uint32_t os_error() const { return os_error_; }

  Status& WithOtherPath(std::string path) {
    other_path_ = std::move(path);
    return *this;
  }
  // This failure, met on the way, named as a failed copy is named: the destination as its
  // path, the source as its other path (a layer's own refusal of a copy, say).
  Status AsCopyOf(std::string source, std::string destination) const {
    Status copy(kind_, std::move(destination), os_error_);
    copy.other_path_ = std::move(source);
    copy.line_ = line_;
    return copy;
  }
  Status& AtLine(int line) {
    line_ = line;
    return *this;
  }

 private:
  StatusKind kind_ = StatusKind::kOk;
  std::string path_;
  std::string other_path_;
  int line_ = 0;
  std::uint32_t os_error_ = 0;
};

}  // namespace setup

#endif  // SETUP_BASE_STATUS_H_
