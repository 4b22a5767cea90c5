#include "record/undo.h"

#include <map>
#include <set>

#include "platform/system.h"
#include "record/digest_queue.h"
#include "record/entry_calls.h"
#include "sysquery/registration.h"

namespace setup {
namespace {

using Action = UndoStep::Action;

class Undoer {
 public:
  explicit Undoer(const Undo& undo) : undo_(undo) {}

  void Tell(Action action, const std::string& path, const char* reason = "") {
    if (action == Action::kKept) ++tally_.kept;
    if (action == Action::kRemovedAtRestart) tally_.restart = true;
    if (undo_.sink) undo_.sink({action, path, reason});
  }

  void RemoveFile(const std::string& path, bool at_restart) {
    Status removed = undo_.system.RemoveFile(path);
    if (removed.ok()) return Tell(Action::kRemoved, path);
    if (removed.Is(StatusKind::kNotFound)) return;
    if (at_restart && removed.Is(StatusKind::kAccessDenied) &&
        undo_.system.RemoveFileAtRestart(path).ok()) {
      return Tell(Action::kRemovedAtRestart, path);
    }
    Tell(Action::kKept, path, "failed");
  }

  void Restore(const RecordEntry& e) {
    Status renamed = undo_.system.RenameFile(e.aside, e.path, true);
    if (renamed.ok()) return Tell(Action::kRestored, e.path);
    if (!renamed.Is(StatusKind::kNotFound)) Tell(Action::kKept, e.aside, "failed");
  }

  void Unregister(const RecordEntry& e) {
    if (e.program) {
      bool ran = RunAndWait(
                     undo_.system, [] {}, e.path,
                     RegistrationWorkingDirectory(undo_.encoding, e.path), "/unregserver")
                     .ok();
      return ran ? Tell(Action::kUnregistered, e.path) : Tell(Action::kKept, e.path, "failed");
    }
    std::int32_t hresult = -1;
    Status called = undo_.system.CallDllUnregisterServer(e.path, &hresult);
    if (called.ok() && hresult == 0) return Tell(Action::kUnregistered, e.path);
    Tell(Action::kKept, e.path, "failed");
  }

  void RemoveEntry(const std::string& id) {
    if (RemoveProductEntry(undo_.system, id).ok()) return Tell(Action::kEntryRemoved, id);
    Tell(Action::kKept, id, "failed");
  }

  void RemoveFolders(const std::vector<RecordEntry>& entries) {
    if (undo_.between) undo_.between();
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
      if (e->kind != RecordKind::kDirectoryCreated) continue;
      Status removed = undo_.system.RemoveEmptyDirectory(e->path);
      if (removed.ok()) {
        Tell(Action::kFolderRemoved, e->path);
      } else if (!removed.Is(StatusKind::kNotFound)) {
        Tell(Action::kKept, e->path, "not empty");
      }
    }
  }

  const Undo& undo_;
  UndoTally tally_;
};

// What the last write of a file left there, as the record knows it.
struct Written {
  bool known = false;  // false: its digest was never computed
  std::uint64_t size = 0;
  FileDigest::Digest digest{};
};

// The last write of every file `entries` name, with the digests that followed it.
std::map<std::string, Written> LastWritten(const std::vector<RecordEntry>& entries) {
  std::map<std::string, Written> last;
  for (const RecordEntry& e : entries) {
    bool digest = e.kind == RecordKind::kFileDigest;
    if (e.kind != RecordKind::kFileWritten && !digest) continue;
    last[e.path] = Written{!e.no_digest, e.size, e.digest};
  }
  return last;
}

// What stands at each path of `order` now, read back on two threads a window ahead of
// the path asked for, so that deciding on and removing one file overlaps reading the
// next ones. The window ends where `stage_of` changes (at a registration, whose undoing
// may change files): those past it are read only once asked for, after that undoing.
// This thread opens the files (System is used from one thread only).
class ReadAhead {
 public:
  static constexpr std::size_t kWindow = 48;  // files open at most

  ReadAhead(System& system, std::vector<std::string> order, std::vector<std::size_t> stage_of)
      : system_(system),
        order_(std::move(order)),
        stage_of_(std::move(stage_of)),
        queue_of_(order_.size(), kNone) {}

  // The file of the next path of `order`, asked in order; false when it could not be
  // opened.
  bool Next(const std::string& path, DigestQueue::Result* result) {
    while (opened_ < order_.size() && opened_ < taken_ + kWindow &&
           stage_of_[opened_] == stage_of_[taken_]) {
      Open(opened_++);
    }
    if (taken_ >= order_.size() || order_[taken_] != path) return false;  // not in order
    std::size_t queue = queue_of_[taken_++];
    return queue != kNone && queues_[queue].Next(result);
  }

 private:
  static constexpr std::size_t kNone = 2;

  void Open(std::size_t i) {
    std::unique_ptr<InputFile> input;
    if (!system_.OpenForReading(order_[i], &input).ok()) return;
    queue_of_[i] = next_queue_;
    queues_[next_queue_].Add(order_[i], std::move(input));
    next_queue_ ^= 1;
  }

  System& system_;
  std::vector<std::string> order_;
  std::vector<std::size_t> stage_of_;  // registrations undone before each path is decided
  std::vector<std::size_t> queue_of_;  // which queue reads each path, kNone: not opened
  std::size_t opened_ = 0;
  std::size_t taken_ = 0;
  std::size_t next_queue_ = 0;
  DigestQueue queues_[2];
};

}  // namespace

UndoTally RollBack(const Undo& undo, const std::vector<RecordEntry>& entries) {
  Undoer undoer(undo);
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    switch (e->kind) {
      case RecordKind::kFileWritten:
        if (!e->existed_before) undoer.RemoveFile(e->path, false);
        break;
      case RecordKind::kMovedAside: undoer.Restore(*e); break;
      case RecordKind::kRegistered: undoer.Unregister(*e); break;
      case RecordKind::kEntryWritten: undoer.RemoveEntry(e->path); break;
      case RecordKind::kDirectoryCreated:
      case RecordKind::kFileDigest:
      case RecordKind::kRunBegan: break;
    }
  }
  undoer.RemoveFolders(entries);
  return undoer.tally_;
}

UndoTally Uninstall(const Undo& undo, const std::vector<RecordEntry>& entries) {
  Undoer undoer(undo);
  // A file's first record tells whether the install made it; its last what is there now.
  std::set<std::string> existed, made, decided;
  std::map<std::string, Written> last = LastWritten(entries);
  for (const RecordEntry& e : entries) {
    if (e.kind != RecordKind::kFileWritten || made.count(e.path) || existed.count(e.path)) continue;
    (e.existed_before ? existed : made).insert(e.path);
  }
  // The files to be read back, in the order they are decided: last change first.
  std::vector<std::string> order;
  std::vector<std::size_t> stage_of;
  std::size_t stage = 0;
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    if (e->kind == RecordKind::kRegistered) ++stage;
    if (e->kind == RecordKind::kFileWritten && made.count(e->path) &&
        decided.insert(e->path).second) {
      order.push_back(e->path);
      stage_of.push_back(stage);
    }
  }
  decided.clear();
  ReadAhead now(undo.system, std::move(order), std::move(stage_of));
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    if (e->kind == RecordKind::kRegistered) undoer.Unregister(*e);
    if (e->kind == RecordKind::kEntryWritten) undoer.RemoveEntry(e->path);
    if (e->kind != RecordKind::kFileWritten || !decided.insert(e->path).second) continue;
    if (existed.count(e->path)) {
      undoer.Tell(Action::kKept, e->path, "existed before");
      continue;
    }
    DigestQueue::Result read;
    if (!now.Next(e->path, &read) || !read.read) {
      std::uint64_t ignored = 0;
      if (!undo.system.GetFileSize(e->path, &ignored).Is(StatusKind::kNotFound)) {
        undoer.Tell(Action::kKept, e->path, "failed");
      }
      continue;
    }
    const Written& wrote = last[e->path];
    if (!wrote.known || read.digest != wrote.digest || read.size != wrote.size) {
      undoer.Tell(Action::kKept, e->path, "changed");
      continue;
    }
    undoer.RemoveFile(e->path, true);
  }
  undoer.RemoveFolders(entries);
  return undoer.tally_;
}

}  // namespace setup
