// TextCopy throughput: the text copy filter (through PosixSystem, as the native program
// runs it) against unix2dos(1), sed(1) adding a CR to each line, and cp(1), on the same
// 100 MiB bilingual source, in one run. The goal is a TextCopy in at most 0.45 times the
// time of unix2dos (checked by run.sh).
//
// The source is code page 932 text with LF line ends, macros in about one line in
// three, and every comment kind: bilingual, English-only, unwrapped, plain with and
// without double-byte text, on one line and spanning lines. Files go to
// $SETUP_BENCH_DIR (default: the current directory); the source is in the page cache.
// Each copy writes a new file: the destination is removed, untimed, before it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "script/run_state.h"
#include "bench/bench_support.h"
#include "platform/posix/posix_system.h"
#include "textcopy/text_filter.h"

namespace {

using bench::BenchDir;
using bench::Spawn;

constexpr std::int64_t kSourceSize = std::int64_t{100} << 20;

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

// The bilingual source, written on first use. Japanese text is code page 932.
const std::string& Source() {
  static const std::string path = [] {
    std::string p = BenchDir() + "/textcopy-source.txt";
    // "設定値の説明", "日本語だけの注釈", "行" in code page 932.
    const std::string setting = "\x90\xdd\x92\xe8\x92\x6c\x82\xcc\x90\xe0\x96\xbe";
    const std::string japanese_only =
        "\x93\xfa\x96\x7b\x8c\xea\x82\xbe\x82\xaf\x82\xcc\x92\x8d\x8e\xdf";
    const std::string line_word = "\x8d\x73";
    std::string block;
    for (int i = 0; i < 64; ++i) {
      std::string n = std::to_string(i);
      block += "InstallPath" + n + "=$$SETUPDIR$$\\bin\\tool" + n + ".exe\n";
      block += "/* " + setting + " " + n + " $# description of setting " + n + " */\n";
      block += "value" + n + " = " + n + "; /* " + japanese_only + " */\n";
      block += "    /*$# English-only remark about item " + n + " */\n";
      block += "Data" + n + "=$$FD$$\\data\\file" + n + ".dat  /*$$ unwrapped " + n + " */\n";
      block += "/* plain comment spanning\n   two lines, " + line_word + " " + n + " */\n";
      block += "text line with no comment at all, just some words and numbers " + n + "\n";
      block += "\tkey" + n + " = \"" + line_word + line_word + "\" / 2 * 3 $ 4\n";
    }
    FILE* f = std::fopen(p.c_str(), "wb");
    for (std::int64_t left = kSourceSize; f != nullptr && left > 0;) {
      std::size_t n = block.size() < static_cast<std::size_t>(left) ? block.size()
                                                                     : static_cast<std::size_t>(left);
      if (std::fwrite(block.data(), 1, n, f) != n) break;
      left -= static_cast<std::int64_t>(n);
    }
    if (f != nullptr) std::fclose(f);
    return p;
  }();
  return path;
}

template <typename Copy>
void CopyLoop(benchmark::State& state, const char* who, Copy copy) {
  const std::string& source = Source();
  std::string destination = BenchDir() + "/textcopy-" + who + ".txt";
  for (auto _ : state) {
    state.PauseTiming();
    unlink(destination.c_str());
    state.ResumeTiming();
    if (!copy(source, destination)) state.SkipWithError("the copy failed");
  }
  state.SetBytesProcessed(state.iterations() * kSourceSize);
  unlink(destination.c_str());
}

void BM_TextCopy(benchmark::State& state) {
  setup::PosixSystem system("");
  SilentUi ui;
  setup::RunState app(system, ui);
  app.DefineMacro("$$SETUPDIR$$", "C:\\Program Files\\Application");
  app.DefineMacro("$$FD$$", "D:\\Dist");
  app.DefineMacro("$$WINDOWS$$", "C:\\windows");
  app.DefineMacro("$$SYSTEM$$", "C:\\windows\\system32");
  CopyLoop(state, "filter", [&](const std::string& from, const std::string& to) {
    return app.text_filter().CopyTextFile(from.c_str(), to.c_str(),
                                          static_cast<setup::LanguageMode>(state.range(0)));
  });
}

void BM_Cp(benchmark::State& state) {
  CopyLoop(state, "cp", [](const std::string& from, const std::string& to) {
    return Spawn({"cp", from, to});
  });
}

void BM_Unix2dos(benchmark::State& state) {
  CopyLoop(state, "unix2dos", [](const std::string& from, const std::string& to) {
    return Spawn({"unix2dos", "-q", "-n", from, to});
  });
}

void BM_Sed(benchmark::State& state) {
  CopyLoop(state, "sed", [](const std::string& from, const std::string& to) {
    return Spawn({"sed", "s/$/\r/", from}, to);
  });
}

void Setup(benchmark::internal::Benchmark* bench) {
  bench->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);
}

BENCHMARK(BM_TextCopy)
    ->Apply(Setup)
    ->Arg(static_cast<int>(setup::LanguageMode::kJapanese))
    ->Arg(static_cast<int>(setup::LanguageMode::kEnglish));
BENCHMARK(BM_Cp)->Apply(Setup);
BENCHMARK(BM_Unix2dos)->Apply(Setup);
BENCHMARK(BM_Sed)->Apply(Setup);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunBenchmarks(argc, argv, {BenchDir() + "/textcopy-source.txt"});
}
