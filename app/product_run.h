// A run with a product file (Product.ini), as both programs do it: the product file read
// and its faults refused, an interrupted run of the same Id rolled back first, the
// install record kept through the run, a failed run rolled back, and the uninstall of a
// product (--uninstall=ID). What was undone goes to the transcript, one record a step:
//
//   {"event":"Rollback","id":ID,"cause":"failed"|"interrupted"}
//   {"event":"Undo","action":A,"path":P}        A: removed, restored, folder removed,
//                                               unregistered, entry removed,
//                                               removed at restart
//   {"event":"Undo","action":"kept","path":P,"reason":R}
//                                               R: changed, existed before, not empty, failed
//   {"event":"RolledBack","id":ID,"kept":N}
//   {"event":"Uninstall","id":ID}  ...Undo records...
//   {"event":"Uninstalled","id":ID,"kept":N,"restart":false|true}
//
// Without a product file none of this happens and the transcript is as it always was.
#ifndef SETUP_APP_PRODUCT_RUN_H_
#define SETUP_APP_PRODUCT_RUN_H_

#include <functional>
#include <memory>
#include <string>

#include "app/ui_stack.h"
#include "base/encoding.h"
#include "record/install_session.h"
#include "script/startup.h"

namespace setup {

// Exit status of an uninstall that removed what it could, leaving a file in use to be
// deleted at the next restart, as Windows Installer answers it.
inline constexpr int kExitRestartNeeded = 3010;

// Reads the product file in `program_dir`. True with `*found` false when there is none;
// false, with every fault said to `ui` in the checker's form, when it is wrong.
bool ReadProduct(System& system, Encoding& encoding, Ui& ui, const std::string& program_dir,
                 ProductFile* file, bool* found);

class ProductRun : public RunHooks {
 public:
  // `layer` is the System the run is given; `stack` the Ui with the transcript.
  ProductRun(RecordingLayer& layer, Encoding& encoding, UiStack& stack, ProductInfo product);

  // Before SetupDialog: an interrupted run of this Id is rolled back. False when its
  // record is damaged: said, and start-up ends.
  bool Recover();
  bool BeforeRun(const LoadedScript& loaded, const std::string& destination) override;
  void AfterRun(bool finished) override;

  // The Setup.exe copied beside the application as its uninstaller, `Uninstall.exe`, when
  // a run finishes (code-page path; empty: none). The entry's uninstall commands start it.
  void set_uninstaller_source(std::string path) { uninstaller_source_ = std::move(path); }

 private:
  void Step(const UndoStep& step);
  void SayRecordFault(const Status& status);

  // Copies the uninstaller beside the application, through the layer so that the record
  // holds it, and names it in the entry.
  void PlaceUninstaller();

  RecordingLayer& layer_;
  Encoding& encoding_;
  UiStack& stack_;
  InstallSession session_;
  EntryContext entry_;
  std::string uninstaller_source_;
};

// How a program starts the run of its script (StartRun).
struct RunStart {
  std::string program_path;  // the path StartSetup takes (code page)
  std::string program_dir;   // its program directory, where the product file is looked for
  // False where the Windows directory is missing: no product file is read, and start-up
  // says what is wrong.
  bool read_product = true;
  StartOptions options;  // the program's own; a product run adds its hooks
  // The Setup.exe to copy beside the application as its uninstaller (empty: none), asked
  // for only when the program directory holds a product file.
  std::function<std::string()> uninstaller_source;
};

// The run of the script through StartSetup, over `system` and the top of `ui`; with a
// product file, recorded (a RecordingLayer over `system`, ProductRun's hooks) after an
// interrupted run of the same Id is rolled back. Answers the exit status: start-up's, or
// kExitStartupFailed for a wrong product file or a damaged record.
int StartRun(System& system, Encoding& encoding, UiStack& ui, const RunStart& start);

// The uninstaller's name beside the application.
inline constexpr const char* kUninstallerName = "Uninstall.exe";

// --uninstall=ID, /UNINSTALL=ID: asks first (a MessageDialog, answered OK in batch),
// removes what the record holds and answers the exit status: 0 done (kept files are
// listed in the transcript), 1 no record of ID, or a damaged one (nothing removed),
// 2 not confirmed, 3010 a file waits for the next restart.
int RunUninstall(System& system, Encoding& encoding, UiStack& stack, const std::string& id);

}  // namespace setup

#endif  // SETUP_APP_PRODUCT_RUN_H_
