// The checker against real runs of generated program directories, from fixed seeds: no
// false alarm on a line a run ran, no run stopped by its script without a finding there.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/unit/check_property.h"

namespace setup {
namespace {

TEST(CheckerPropertyTest, AgreesWithTheRunOnGeneratedProgramDirectories) {
  int disagreements = 0;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 random(seed);
    std::string bytes(200, '\0');
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    GeneratedProgram program = GenerateProgram(bytes);
    std::string wrong = CheckAgainstRun(program);
    if (!wrong.empty() && ++disagreements <= 10) {
      ADD_FAILURE() << "seed " << seed << ": " << wrong << "\n" << program.script;
    }
  }
  EXPECT_EQ(disagreements, 0);
}

}  // namespace
}  // namespace setup
