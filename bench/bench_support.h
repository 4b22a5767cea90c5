// Pieces the benchmarks share: where their files go, and running a peer program.
#ifndef SETUP_BENCH_BENCH_SUPPORT_H_
#define SETUP_BENCH_BENCH_SUPPORT_H_

#include <string>
#include <vector>

namespace bench {

// $SETUP_BENCH_DIR, or the current directory.
std::string BenchDir();

// Runs a program found on PATH with its standard error discarded and waits for it;
// true when it exited with status 0. With `output` its standard output goes to that
// file, made anew.
bool Spawn(std::vector<std::string> args, const std::string& output = std::string());

// Runs the benchmarks named on the command line, then removes `work_files`. The main
// of every benchmark program.
int RunBenchmarks(int argc, char** argv, const std::vector<std::string>& work_files);

}  // namespace bench

#endif  // SETUP_BENCH_BENCH_SUPPORT_H_
