// BinCopy throughput: PosixSystem::CopyFileBytes against cp(1) copying the same files,
// from 4 KiB to 1 GiB. The goal is a 1 GiB copy in no more time than cp (checked by run.sh).
// Files go to $SETUP_BENCH_DIR (default: the current directory). The source is in the
// page cache; before each timed copy the destination is removed and the file system
// synced, so that neither side pays for the other's write-back.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/posix/posix_system.h"

namespace {

using bench::BenchDir;
using bench::Spawn;

// The source file of `size` bytes of pseudo-random data, written on first use.
const std::string& Source(std::int64_t size) {
  static std::map<std::int64_t, std::string> sources;
  auto it = sources.find(size);
  if (it != sources.end()) return it->second;
  std::string path = BenchDir() + "/source-" + std::to_string(size) + ".bin";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::mt19937_64 random(static_cast<std::uint64_t>(size));
  std::vector<std::uint64_t> block(1 << 17);
  for (std::int64_t left = size; f != nullptr && left > 0;) {
    for (auto& word : block) word = random();
    std::size_t n = static_cast<std::size_t>(
        std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size() * 8)));
    if (std::fwrite(block.data(), 1, n, f) != n) break;
    left -= static_cast<std::int64_t>(n);
  }
  if (f != nullptr) std::fclose(f);
  sync();
  return sources.emplace(size, path).first->second;
}

std::string Destination(std::int64_t size, const char* who) {
  return BenchDir() + "/" + who + "-" + std::to_string(size) + ".bin";
}

template <typename Copy>
void CopyLoop(benchmark::State& state, const char* who, Copy copy) {
  const std::string& source = Source(state.range(0));
  std::string destination = Destination(state.range(0), who);
  bool settle = state.range(0) >= (1 << 30);  // pausing costs too much for small files
  for (auto _ : state) {
    if (settle) {
      state.PauseTiming();
      unlink(destination.c_str());
      sync();
      state.ResumeTiming();
    }
    if (!copy(source, destination)) state.SkipWithError("the copy failed");
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
  unlink(destination.c_str());
}

void BM_CopyFileBytes(benchmark::State& state) {
  setup::PosixSystem system("");
  CopyLoop(state, "copy", [&](const std::string& from, const std::string& to) {
    return system.CopyFileBytes(from, to).ok();
  });
}

void BM_Cp(benchmark::State& state) {
  CopyLoop(state, "cp", [](const std::string& from, const std::string& to) {
    return Spawn({"cp", from, to});
  });
}

void Sizes(benchmark::internal::Benchmark* bench) {
  bench->UseRealTime()->Unit(benchmark::kMillisecond);
  bench->Arg(4 << 10)->Arg(20 << 20);
}

void Large(benchmark::internal::Benchmark* bench) {
  bench->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Arg(std::int64_t{1} << 30);
}

BENCHMARK(BM_CopyFileBytes)->Apply(Sizes);
BENCHMARK(BM_Cp)->Apply(Sizes);
BENCHMARK(BM_CopyFileBytes)->Apply(Large);
BENCHMARK(BM_Cp)->Apply(Large);

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> sources;
  for (std::int64_t size : {std::int64_t{4} << 10, std::int64_t{20} << 20, std::int64_t{1} << 30}) {
    sources.push_back(BenchDir() + "/source-" + std::to_string(size) + ".bin");
  }
  return bench::RunBenchmarks(argc, argv, sources);
}
