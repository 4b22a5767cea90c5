// InstallSession: a run with a product file. It keeps the install record beside the
// application, `<destination>\Uninstall.rec`, and a locator that finds it by the
// product's Id: `<Windows>\SetupRecords\<Id>.loc`, a text file holding one line,
// "Record=<path of the record>". Both programs look there, so either finishes or
// removes what the other installed.
//
//   Recover   before SetupDialog: a run of this Id that was killed half-way (its record
//             still says a run is changing the machine) is rolled back.
//   Begin     once the destination is accepted: the destination's missing folders made,
//             the record started (or continued, when the Id was installed before, in that
//             install's record, so the record of both installs is one), the locator
//             written, the layer recording.
//   Finish    after the run: a run that finished writes the uninstall entry and drops the
//             old copies it kept; one that failed is rolled back when the product file
//             asks for it (Rollback=yes), else left as it is, recorded.
//
// UninstallProduct removes what the record of an Id holds.
#ifndef SETUP_RECORD_INSTALL_SESSION_H_
#define SETUP_RECORD_INSTALL_SESSION_H_

#include <memory>
#include <string>

#include "record/entry_calls.h"
#include "record/install_record.h"
#include "record/product_file.h"
#include "record/recording_layer.h"
#include "record/undo.h"

namespace setup {

class Encoding;

inline constexpr const char* kRecordsFolder = "SetupRecords";

// `<Windows>\SetupRecords\<id>.loc`; empty when there is no Windows directory.
std::string LocatorPath(System& system, const std::string& id);
// The record path a locator names: kNotFound when there is no locator, kCorrupt when it
// does not hold one well-formed line.
Status ReadLocator(System& system, const std::string& id, std::string* record_path);
// `destination`\Uninstall.rec, without a doubled separator.
std::string RecordPathFor(const Encoding& encoding, const std::string& destination);

class InstallSession {
 public:
  // `layer` is the System the run is given; `product` has its Name filled in.
  InstallSession(RecordingLayer& layer, Encoding& encoding, ProductInfo product);
  ~InstallSession();

  const ProductInfo& product() const { return product_; }
  // True between a successful Begin and Finish: there is a run to finish or roll back.
  bool began() const { return writer_ != nullptr; }
  ProductInfo& product() { return product_; }

  // True in `*rolled_back` when an interrupted run was found and undone. kCorrupt when
  // its record is damaged (nothing is then touched).
  Status Recover(const UndoSink& sink, bool* rolled_back, UndoTally* tally);
  Status Begin(const std::string& destination);
  // `finished`: the script ran to its end. True in `*rolled_back` when the run was undone.
  Status Finish(bool finished, const EntryContext& entry, const UndoSink& sink, bool* rolled_back,
                UndoTally* tally);

 private:
  Status MakeDestination(const std::string& destination, std::vector<RecordEntry>* made);
  Status WriteLocator();
  // Undoes the run of `record` (or the entries made so far) that began at `mark`.
  UndoTally RollBackRun(const std::vector<RecordEntry>& run, bool earlier_runs, const RunMark& mark,
                        const UndoSink& sink);

  RecordingLayer& layer_;
  System& system_;  // beneath the layer: the session's own files are not the run's changes
  Encoding& encoding_;
  ProductInfo product_;
  std::string record_path_;
  std::unique_ptr<InstallRecordWriter> writer_;
  RunMark mark_{0, 0, 0};
  bool earlier_runs_ = false;
};

// Removes what the record of `id` holds (found through its locator), then the record and
// the locator. kNotFound when no install of `id` is recorded, kCorrupt when its record is
// damaged: nothing is removed then.
Status UninstallProduct(System& system, const Encoding& encoding, const std::string& id,
                        const UndoSink& sink, UndoTally* tally);

}  // namespace setup

#endif  // SETUP_RECORD_INSTALL_SESSION_H_
