// TextCopy throughput: the text copy filter (through PosixSystem, as the native program
// runs it) against unix2dos(1), sed(1) adding a CR to each line, and cp(1), on the same
// 100 MiB code page 932 sources, in one run. Goals (checked by run.sh): TextCopy of the
// project's text in at most 0.30 times the time of unix2dos, of the dense text in at most
// 0.40 times.
//
// Two sources, both with LF line ends:
// - the project's text: macros in about one line in three, and every comment kind:
//   bilingual, English-only, unwrapped, plain with and without double-byte text, on one
//   line and spanning lines;
// - the dense text: every line eight words drawn at random from plain words,
//   $$SETUPDIR$$, a bilingual comment, an English-only comment, a plain comment and
//   double-byte words, so that the filter meets a macro or a comment every few bytes.
// Files go to $SETUP_BENCH_DIR (default: the current directory); the sources are in the
// page cache. Each copy writes a new file: the destination is removed, untimed, before it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/posix/code_page.h"
#include "platform/posix/posix_system.h"
#include "script/command_context.h"
#include "textcopy/text_filter.h"

namespace {

using bench::BenchDir;
using bench::Spawn;

// 100 MiB; $SETUP_BENCH_TEXT_MIB asks for another size, for profiling under a tool
// (callgrind) that runs the filter many times slower.
std::int64_t SourceSize() {
  static const std::int64_t size = [] {
    const char* mib = std::getenv("SETUP_BENCH_TEXT_MIB");
    long n = mib != nullptr ? std::strtol(mib, nullptr, 10) : 0;
    return std::int64_t{n > 0 ? n : 100} << 20;
  }();
  return size;
}

// A Ui that answers nothing and shows nothing; a failing copy is reported by the
// benchmark instead.
class SilentUi : public setup::Ui {
 public:
  int ShowSetupDialog(const std::string&, const std::string&,
                      const setup::DestinationAccepted&) override {
    return setup::kIdCancel;
  }
  void ShowMessageBox(const std::string& text, std::uint32_t) override { last_message = text; }
  int ShowFinishDialog(const std::string&) override { return setup::kIdOk; }
  int ShowDiskDialog(const std::string&, const std::string&) override { return setup::kIdCancel; }
  int ShowMessageDialog(const std::string&) override { return setup::kIdOk; }
  void SetProgressRange(int) override {}
  void SetProgressPos(int) override {}
  void PumpMessages() override {}
  std::string last_message;
};

enum SourceKind { kProjectText = 0, kDenseText = 1 };
const char* const kSourceNames[] = {"textcopy-source.txt", "textcopy-dense.txt"};

// "設定値の説明", "日本語だけの注釈", "行", "日本語", "説明" in code page 932.
const std::string kSetting = "\x90\xdd\x92\xe8\x92\x6c\x82\xcc\x90\xe0\x96\xbe";
const std::string kJapaneseOnly =
    "\x93\xfa\x96\x7b\x8c\xea\x82\xbe\x82\xaf\x82\xcc\x92\x8d\x8e\xdf";
const std::string kLineWord = "\x8d\x73";
const std::string kJapanese = "\x93\xfa\x96\x7b\x8c\xea";
const std::string kExplanation = "\x90\xe0\x96\xbe";

// 512 lines of the project's text, repeated.
std::string ProjectBlock() {
  std::string block;
  for (int i = 0; i < 64; ++i) {
    std::string n = std::to_string(i);
    block += "InstallPath" + n + "=$$SETUPDIR$$\\bin\\tool" + n + ".exe\n";
    block += "/* " + kSetting + " " + n + " $# description of setting " + n + " */\n";
    block += "value" + n + " = " + n + "; /* " + kJapaneseOnly + " */\n";
    block += "    /*$# English-only remark about item " + n + " */\n";
    block += "Data" + n + "=$$FD$$\\data\\file" + n + ".dat  /*$$ unwrapped " + n + " */\n";
    block += "/* plain comment spanning\n   two lines, " + kLineWord + " " + n + " */\n";
    block += "text line with no comment at all, just some words and numbers " + n + "\n";
    block += "\tkey" + n + " = \"" + kLineWord + kLineWord + "\" / 2 * 3 $ 4\n";
  }
  return block;
}

// 4,096 dense lines, repeated: eight words a line, each of the six kinds equally likely.
std::string DenseBlock() {
  const std::string plain[] = {"install", "value", "path=", "tool.exe",
                               "42",      "data",  "key",   "file"};
  const std::string double_byte[] = {kJapanese, kExplanation, kLineWord};
  std::mt19937 random(23);
  std::string block;
  for (int line = 0; line < 4096; ++line) {
    for (int word = 0; word < 8; ++word) {
      if (word > 0) block += ' ';
      switch (random() % 6) {
        case 0: block += plain[random() % 8]; break;
        case 1: block += "$$SETUPDIR$$"; break;
        case 2: block += "/* " + kSetting + " $# setting */"; break;
        case 3: block += "/*$# English only */"; break;
        case 4: block += "/* plain note */"; break;
        default: block += double_byte[random() % 3]; break;
      }
    }
    block += '\n';
  }
  return block;
}

// The source of `kind`, written on first use.
const std::string& Source(int kind) {
  static std::string paths[2];
  std::string& path = paths[kind];
  if (!path.empty()) return path;
  path = BenchDir() + "/" + kSourceNames[kind];
  const std::string block = kind == kDenseText ? DenseBlock() : ProjectBlock();
  FILE* f = std::fopen(path.c_str(), "wb");
  // Whole blocks, so that no comment is cut at the end: a little over 100 MiB.
  for (std::int64_t left = SourceSize(); f != nullptr && left > 0;) {
    if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) break;
    left -= static_cast<std::int64_t>(block.size());
  }
  if (f != nullptr) std::fclose(f);
  return path;
}

template <typename Copy>
void CopyLoop(benchmark::State& state, int kind, const char* who, Copy copy) {
  const std::string& source = Source(kind);
  std::string destination = BenchDir() + "/textcopy-" + who + ".txt";
  for (auto _ : state) {
    state.PauseTiming();
    unlink(destination.c_str());
    state.ResumeTiming();
    if (!copy(source, destination)) state.SkipWithError("the copy failed");
  }
  state.SetBytesProcessed(state.iterations() * SourceSize());
  unlink(destination.c_str());
}

void BM_TextCopy(benchmark::State& state) {
  setup::PosixSystem system("");
  SilentUi ui;
  setup::Cp932Encoding encoding;
  setup::SetupRun app(system, ui, encoding);
  app.context.DefineMacro("$$SETUPDIR$$", "C:\\Program Files\\Application");
  app.context.DefineMacro("$$FD$$", "D:\\Dist");
  app.context.DefineMacro("$$WINDOWS$$", "C:\\windows");
  app.context.DefineMacro("$$SYSTEM$$", "C:\\windows\\system32");
  CopyLoop(state, static_cast<int>(state.range(1)), "filter",
           [&](const std::string& from, const std::string& to) {
             return app.context.text_filter()
                 .CopyTextFile(from.c_str(), to.c_str(),
                               static_cast<setup::LanguageMode>(state.range(0)))
                 .ok();
           });
}

void BM_Cp(benchmark::State& state) {
  CopyLoop(state, static_cast<int>(state.range(0)), "cp",
           [](const std::string& from, const std::string& to) {
             return Spawn({"cp", from, to});
           });
}

void BM_Unix2dos(benchmark::State& state) {
  CopyLoop(state, static_cast<int>(state.range(0)), "unix2dos",
           [](const std::string& from, const std::string& to) {
             return Spawn({"unix2dos", "-q", "-n", from, to});
           });
}

void BM_Sed(benchmark::State& state) {
  CopyLoop(state, static_cast<int>(state.range(0)), "sed",
           [](const std::string& from, const std::string& to) {
             return Spawn({"sed", "s/$/\r/", from}, to);
           });
}

void Setup(benchmark::internal::Benchmark* bench) {
  bench->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
}

// Arguments: the language mode, then the source (TextCopy); the source (the peers).
BENCHMARK(BM_TextCopy)
    ->Apply(Setup)
    ->ArgsProduct({{static_cast<int>(setup::LanguageMode::kJapanese),
                    static_cast<int>(setup::LanguageMode::kEnglish)},
                   {kProjectText, kDenseText}});
BENCHMARK(BM_Cp)->Apply(Setup)->Arg(kProjectText)->Arg(kDenseText);
BENCHMARK(BM_Unix2dos)->Apply(Setup)->Arg(kProjectText)->Arg(kDenseText);
BENCHMARK(BM_Sed)->Apply(Setup)->Arg(kProjectText)->Arg(kDenseText);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunBenchmarks(
      argc, argv,
      {BenchDir() + "/" + kSourceNames[kProjectText], BenchDir() + "/" + kSourceNames[kDenseText]});
}
