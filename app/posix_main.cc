// The native POSIX program: the core over a Wine prefix, with the batch front end.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/batch/batch_ui.h"
#include "base/scoped_file.h"
#include "script/run_state.h"
#include "script/startup.h"
#include "app/transcript.h"
#include "platform/posix/posix_system.h"

namespace {

// The program file's name without its extension: the caption of message boxes.
std::string Caption(const char* argv0) {
  std::string name = argv0 ? argv0 : "setup";
  std::string::size_type slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  setup::PosixSystem system;
  const char* transcript_path = std::getenv("SETUP_TRANSCRIPT");
  setup::ScopedFile transcript_file;
  std::FILE* transcript = stdout;
  if (transcript_path && *transcript_path) {
    transcript_file.reset(std::fopen(transcript_path, "w"));
    if (!transcript_file) {
      std::fprintf(stderr, "setup: cannot write the transcript %s\n", transcript_path);
      return setup::kExitStartupFailed;
    }
    transcript = transcript_file.get();
  }
  // This program has no window front end yet: batch is its default.
  setup::BatchUi batch(setup::BatchUi::ReadAnswers(std::getenv("SETUP_ANSWERS")), stderr);
  setup::TranscriptUi ui(batch, transcript, Caption(argc > 0 ? argv[0] : nullptr));
  auto app = std::make_unique<setup::RunState>(system, ui);
  app->strip_trailing_slash = true;
  std::string first = argc > 0 && argv[0] ? argv[0] : "";
  return StartSetup(*app, system.FromUtf8(first));
}
