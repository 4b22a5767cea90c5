// Taking changes back from an install record: the rollback of one run, and the uninstall
// of everything a record holds. Both go last entry first and never remove a folder that
// is not empty; neither shows a message: each step is told to an UndoSink.
#ifndef SETUP_RECORD_UNDO_H_
#define SETUP_RECORD_UNDO_H_

#include <functional>
#include <string>
#include <vector>

#include "record/install_record.h"

namespace setup {

class Encoding;
class System;

struct UndoStep {
  enum class Action {
    kRemoved,           // a file the install wrote
    kRestored,          // a replaced file given its old bytes back
    kFolderRemoved,     // a folder the install made, empty again
    kUnregistered,      // a registration undone
    kEntryRemoved,      // the uninstall entry
    kRemovedAtRestart,  // a file in use, to be deleted at the next restart
    kKept,              // left where it is, for `reason`
  };
  Action action;
  std::string path;    // code-page bytes; the Id for the entry
  std::string reason;  // kKept: "changed", "existed before", "not empty", "failed"

  bool operator==(const UndoStep&) const = default;
};

using UndoSink = std::function<void(const UndoStep&)>;

struct UndoTally {
  int kept = 0;          // steps that left something behind
  bool restart = false;  // a file waits for the next restart
};

// What an undo works with. `between` runs after the files and registrations and before
// the folders: the place to remove the record itself, which lies in one of them.
struct Undo {
  System& system;
  const Encoding& encoding;
  const UndoSink& sink;
  std::function<void()> between;
};

// Undoes one run's `entries` (from its kRunBegan on): files it made removed, replaced
// files restored from their old copies by a rename, registrations undone, the entry
// removed, then the folders it made, when empty.
UndoTally RollBack(const Undo& undo, const std::vector<RecordEntry>& entries);

// Undoes every run of `entries`: a file is removed only when the install made it (its
// first record says it did not exist before) and it is unchanged (its digest, read back
// over two threads a few files ahead of the one decided on, never past a registration
// still to be undone); a file in use is removed at the next restart where the system
// can. Old copies are not restored.
UndoTally Uninstall(const Undo& undo, const std::vector<RecordEntry>& entries);

}  // namespace setup

#endif  // SETUP_RECORD_UNDO_H_
