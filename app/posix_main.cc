// The native POSIX program: the core over a Wine prefix. The command line picks the
// program directory, the prefix, the front end (terminal at a terminal, else batch), the
// answers, the transcript and a preset destination; --check runs the script checker
// instead.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "app/batch/batch_ui.h"
#include "app/check_command.h"
#include "app/pack_command.h"
#include "app/package_start.h"
#include "app/posix_package.h"
#include "app/product_run.h"
#include "app/terminal/terminal_ui.h"
#include "app/transcript.h"
#include "app/ui_stack.h"
#include "base/scoped_file.h"
#include "cmdline/options.h"
#include "pack/package_system.h"
#include "platform/posix/code_page.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/temp_files.h"
#include "script/startup.h"

namespace setup {
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

// An option, else the environment variable when it is set and not empty, else "".
std::string OptionOrEnvironment(const std::optional<std::string>& option, const char* name) {
  if (option) return *option;
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool UseTerminal(const Options& options) {
  if (options.ui != FrontEndChoice::kUnset) return options.ui == FrontEndChoice::kTerminal;
  const char* mode = std::getenv("SETUP_UI");
  if (mode && std::strcmp(mode, "batch") == 0) return false;
  if (mode && std::strcmp(mode, "terminal") == 0) return true;
  return TerminalUi::StandardStreamsAreTerminals();
}

// Says where the Windows directory was looked for and how to name another prefix.
void ExplainMissingWindows(const std::string& program, const PosixSystem& system,
                           const Options& options) {
  const char* variable = std::getenv("WINEPREFIX");
  const char* source = "~/.wine";
  if (options.prefix) {
    source = "--prefix";
  } else if (variable != nullptr && *variable != '\0') {
    source = "WINEPREFIX";
  }
  if (system.prefix().empty()) {
    std::fprintf(stderr,
                 "%s: no Wine prefix (WINEPREFIX and HOME are unset); name one with --prefix=DIR "
                 "or WINEPREFIX=DIR\n",
                 program.c_str());
  } else {
    std::fprintf(stderr,
                 "%s: no Windows directory %s/drive_c/windows in the Wine prefix (from %s); name a "
                 "prefix with --prefix=DIR or WINEPREFIX=DIR\n",
                 program.c_str(), system.prefix().c_str(), source);
  }
}

// Says that the transcript `log` cannot be written, and why when `error` (an errno value)
// is known; answers `status`.
int TranscriptFailed(const std::string& program, const std::string& log, int error, int status) {
  if (error != 0) {
    std::fprintf(stderr, "%s: cannot write the transcript %s: %s\n", program.c_str(), log.c_str(),
                 std::strerror(error));
  } else {
    std::fprintf(stderr, "%s: cannot write the transcript %s\n", program.c_str(), log.c_str());
  }
  return status;
}

// The path whose directory part StartSetup takes as the program directory: DIR from the
// command line; else `argv0` when it holds a slash (a link placed in a program directory
// names that directory, so it is not resolved); else, found through PATH, the current
// directory when Setup.Inf is there, found as the loader finds it. Empty when there is
// none.
std::string ProgramPath(const Options& options, const std::string& argv0, PosixSystem& system) {
  if (options.program_dir) {
    std::string dir = options.program_dir->empty() ? "." : *options.program_dir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir == "/" ? dir : dir + "/";
  }
  if (argv0.find('/') != std::string::npos) return argv0;
  std::unique_ptr<InputFile> script;
  return system.OpenForReading(".\\Setup.Inf", &script).ok() ? "./" : "";
}

// Says, before the program's own message, that the directory it was started from holds
// no Setup.Inf, and how to name the program directory.
void HintAtProgramDirectory(const std::string& program, const std::string& program_path,
                            const Options& options, PosixSystem& system, Encoding& encoding) {
  if (options.program_dir) return;  // named: "Can't Open DIR\Setup.Inf" says it all
  std::string dir = ProgramDirectory(encoding, encoding.FromUtf8(program_path), true);
  std::unique_ptr<InputFile> script;
  if (system.OpenForReading(dir + "\\Setup.Inf", &script).ok()) return;
  std::fprintf(stderr,
               "%s: no Setup.Inf beside the program in %s; name the program directory: %s "
               "[OPTION]... DIR\n",
               program.c_str(), dir.empty() ? "/" : encoding.ToUtf8(dir).c_str(), program.c_str());
}

// The terminal front end, or batch with its answers; null, with the reason on standard
// error, when the answers file is not a regular file that can be read whole within
// BatchUi::kAnswersLimit.
std::unique_ptr<Ui> MakeFrontEnd(bool terminal, const Options& options,
                                 const std::string& program) {
  if (terminal) return std::make_unique<TerminalUi>(stdin, stdout);
  std::string answers = OptionOrEnvironment(options.answers, "SETUP_ANSWERS");
  std::deque<std::string> lines;
  std::string reason;
  if (!BatchUi::ReadAnswers(answers, &lines, &reason)) {
    std::fprintf(stderr, "%s: cannot read the answers file %s: %s\n", program.c_str(),
                 answers.c_str(), reason.c_str());
    return nullptr;
  }
  return std::make_unique<BatchUi>(std::move(lines), stderr);
}

// The run from `program_path`, recorded when the program directory holds a product file.
// `run_system` is the prefix, or a package's layer over it.
int RunInstall(PosixSystem& system, System& run_system, Encoding& encoding, UiStack& ui,
               const Options& options, const std::string& program,
               const std::string& program_path) {
  // The hints come before the program's own message, which may wait for a key.
  if (!system.has_windows()) {
    ExplainMissingWindows(program, system, options);
  } else {
    HintAtProgramDirectory(program, program_path, options, system, encoding);
  }
  RunStart start;
  start.program_path = encoding.FromUtf8(program_path);
  start.program_dir = ProgramDirectory(encoding, start.program_path, true);
  start.read_product = system.has_windows();
  start.options.strip_trailing_slash = true;
  // The Windows uninstaller beside the application: the program directory's Setup.exe.
  start.uninstaller_source = [&run_system, &start] {
    std::uint64_t size = 0;
    std::string setup_exe = start.program_dir + "\\Setup.exe";
    return run_system.GetFileSize(setup_exe, &size).ok() ? setup_exe : std::string();
  };
  return StartRun(run_system, encoding, ui, start);
}

// The install or the uninstall: the front end, the transcript and the run from
// `program_path`, over `run_system` (the prefix, or a package's layer over it).
int Install(PosixSystem& system, System& run_system, Encoding& encoding, const Options& options,
            const std::string& program, const std::string& program_path) {
  bool terminal = UseTerminal(options);
  std::unique_ptr<Ui> front_end = MakeFrontEnd(terminal, options, program);
  if (!front_end) return kExitStartupFailed;

  // The transcript: --log, else SETUP_TRANSCRIPT, else standard output in batch mode.
  // Only a log asked for by name (a file, or "-" for standard output) is the install
  // log whose failure the exit status tells.
  std::string log = OptionOrEnvironment(options.log, "SETUP_TRANSCRIPT");
  ScopedFile log_file;
  std::FILE* transcript = log == "-" || (log.empty() && !terminal) ? stdout : nullptr;
  if (!transcript && !log.empty()) {
    log_file.reset(std::fopen(log.c_str(), "w"));
    if (!log_file) return TranscriptFailed(program, log, errno, kExitStartupFailed);
    transcript = log_file.get();
  }

  UiStack ui(*front_end, options.dest, transcript, program);

  int status = options.uninstall
                   ? RunUninstall(system, encoding, ui, encoding.FromUtf8(*options.uninstall))
                   : RunInstall(system, run_system, encoding, ui, options, program, program_path);
  if (log.empty()) return status;
  int error = ui.transcript_error();
  bool recorded_whole = !ui.transcript_failed();
  bool log_whole = CloseTranscript(log_file.release(), recorded_whole);
  if (log_whole) return status;
  if (recorded_whole) error = errno;  // the close failed
  return TranscriptFailed(program, log, error, StatusAfterTranscript(status, false));
}

// The installer a command line names in place of a program directory or a script: a
// file that begins as a PE file does. Empty when there is none.
std::string PackagePath(const Options& options) {
  const std::string* path = options.check ? &options.check_path : nullptr;
  if (!options.check && options.program_dir) path = &*options.program_dir;
  if (path == nullptr || path->empty()) return std::string();
  std::unique_ptr<PosixFileSource> source = PosixFileSource::Open(*path);
  char magic[2];
  if (!source || source->Size() < 2 || !source->ReadAt(0, magic, 2)) return std::string();
  return magic[0] == 'M' && magic[1] == 'Z' ? *path : std::string();
}

// The package named by `path`, checked whole, and the layer that serves it as the
// program directory; the failure said on standard error, and null, otherwise.
struct OpenedPackage {
  std::unique_ptr<PosixFileSource> source;
  std::unique_ptr<pack::Package> package;
  PosixPrivateFolder folder;
  std::unique_ptr<pack::PackageSystem> system;
  std::string program_path;  // as StartSetup takes it: the file itself
};
std::unique_ptr<OpenedPackage> OpenPackage(const std::string& path, PosixSystem& system,
                                           Encoding& encoding, const std::string& program) {
  auto opened = std::make_unique<OpenedPackage>();
  opened->source = PosixFileSource::Open(path);
  Status status = opened->source ? OpenCheckedPackage(*opened->source, &opened->package)
                                 : Status(StatusKind::kReadError);
  if (!status.ok()) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), PackageFailureText(path, status).c_str());
    return nullptr;
  }
  if (!opened->package) {
    std::fprintf(stderr, "%s: %s is a program, not an installer made by --pack\n", program.c_str(),
                 path.c_str());
    return nullptr;
  }
  opened->program_path = path.find('/') == std::string::npos ? "./" + path : path;
  std::string dir = ProgramDirectory(encoding, encoding.FromUtf8(opened->program_path), true);
  opened->system = std::make_unique<pack::PackageSystem>(system, *opened->package, encoding, dir,
                                                         &opened->folder);
  return opened;
}

int Pack(const Options& options, const std::string& program) {
  PosixSystem system(options.prefix ? *options.prefix : DefaultWinePrefix());
  Cp932Encoding encoding;
  PackRequest request{
      *options.pack_dir, *options.output,
      options.loader ? *options.loader : FindLoader("/proc/self/exe", options.win64)};
  return RunPackCommand(system, encoding, request, program);
}

int Main(int argc, char** argv) {
  const char* argv0 = argc > 0 && argv[0] ? argv[0] : "setup";
  std::string program = Caption(argv0);
  std::string first_argument = argv0;  // kept: getopt_long reorders argv

  Options options;
  std::string error;
  if (!ParseNativeOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                 error.c_str(), program.c_str());
    return kExitStartupFailed;
  }
  if (options.help) {
    std::fputs(NativeUsage(), stdout);
    return kExitFinished;
  }
  if (options.version) {
    std::fputs(VersionText(program).c_str(), stdout);
    return kExitFinished;
  }

  if (options.pack_dir) return Pack(options, program);

  // From here on a signal that ends the program first removes its temporary files.
  InstallTempFileCleanup();
  PosixSystem system(options.prefix ? *options.prefix : DefaultWinePrefix());
  // The script's code page: 932, as the text filter always reads it.
  Cp932Encoding encoding;
  std::unique_ptr<OpenedPackage> package;
  if (std::string path = PackagePath(options); !path.empty()) {
    package = OpenPackage(path, system, encoding, program);
    if (!package) return kExitStartupFailed;
  }
  System& run_system = package ? static_cast<System&>(*package->system) : system;
  std::string program_path =
      package ? package->program_path : ProgramPath(options, first_argument, system);
  if (program_path.empty() && !(options.check && !options.check_path.empty()) &&
      !options.uninstall) {
    std::fprintf(stderr,
                 "%s: no Setup.Inf in the current directory; name the program directory: %s "
                 "[OPTION]... DIR\n",
                 program.c_str(), program.c_str());
    return kExitStartupFailed;
  }
  if (options.check) {
    std::string program_dir = ProgramDirectory(encoding, encoding.FromUtf8(program_path), true);
    std::string check_path = package ? std::string() : encoding.FromUtf8(options.check_path);
    return RunCheckCommand(run_system, encoding, check_path, program_dir, stdout);
  }
  return Install(system, run_system, encoding, options, program, program_path);
}

}  // namespace
}  // namespace setup

int main(int argc, char** argv) { return setup::Main(argc, argv); }
