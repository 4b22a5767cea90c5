// A SetupRun over the fakes, started as D:\Dist\SETUP.EXE with a script held in memory.
#ifndef SETUP_TESTS_UNIT_APP_FIXTURE_H_
#define SETUP_TESTS_UNIT_APP_FIXTURE_H_

#include <memory>
#include <string>

#include "script/command_context.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"
#include "text/status_text.h"
#include "textcopy/text_filter.h"

namespace setup {

struct AppFixture {
  static constexpr const char* kProgram = "D:\\Dist\\SETUP.EXE";
  static constexpr const char* kScriptPath = "D:\\Dist\\Setup.Inf";

  AppFixture() : app(std::make_unique<SetupRun>(system, ui, system.encoding)) {}

  // Code page 932 bytes of a UTF-8 text, as a script holds them.
  std::string Sjis(const std::string& utf8) { return system.encoding.FromUtf8(utf8); }

  // Writes the script (UTF-8 here, stored as code page 932) and runs start-up.
  int Start(const std::string& script_utf8, const char* program = kProgram) {
    system.AddFile(kScriptPath, Sjis(script_utf8));
    return StartSetup(*app, Sjis(program));
  }

  // A text copy through the run's filter, its failure shown as the text commands show it.
  bool CopyTextFile(const char* source, const char* destination, LanguageMode mode) {
    return Shown(app->context.text_filter().CopyTextFile(source, destination, mode));
  }
  bool FilterStream(InputFile& in, OutputFile& out, const char* source, const char* destination,
                    LanguageMode mode) {
    return Shown(app->context.text_filter().FilterStream(in, out, source, destination, mode));
  }
  bool Shown(const Status& status) {
    if (!status.ok()) ShowStatus(app->context.reporter, FailedStep::kTextCopy, status);
    return status.ok();
  }

  // The texts of the message boxes, in order.
  const std::vector<std::string>& messages() const { return ui.messages; }

  FakeSystem system;
  FakeUi ui;
  std::unique_ptr<SetupRun> app;
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_APP_FIXTURE_H_
