// ChangeRecord: what the interpreter tells a record of a run's changes. Each command's
// changes are kept together and made durable when the command has completed, so that a
// run killed at any moment leaves a record of every command it completed.
#ifndef SETUP_RECORD_CHANGE_RECORD_H_
#define SETUP_RECORD_CHANGE_RECORD_H_

namespace setup {

class ChangeRecord {
 public:
  virtual ~ChangeRecord() = default;
  // A command has completed, whether it succeeded or failed.
  virtual void CommandCompleted() = 0;
};

}  // namespace setup

#endif  // SETUP_RECORD_CHANGE_RECORD_H_
