// TextReader against a plain model of text-mode reading, on random texts full of CR, LF
// and 0x1A, with every buffer size and reads that end anywhere.
#include "text/text_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/system.h"
#include "tests/unit/stepped_input.h"

namespace setup {
namespace {

// The lines fgets would give for the text-mode reading of `raw` with a buffer of `size`.
std::vector<std::string> ModelLines(const std::string& raw, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < raw.size() && raw[i] != '\x1A'; ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    line += c;
    if (c == '\n' || line.size() == size - 1) {
      lines.push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

TEST(TextReaderTest, ReadLineIsTextModeReadingCutIntoLines) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\x1A', '\x81'};
  for (int round = 0; round < 300; ++round) {
    std::string raw(random() % 300, 'a');
    for (char& c : raw) c = alphabet[random() % (round % 50 == 0 ? 6 : 5)];  // 0x1A seldom
    for (std::size_t size : {std::size_t{2}, std::size_t{3}, std::size_t{8}, std::size_t{4096}}) {
      for (std::size_t step : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{1} << 20}) {
        SteppedInput input(raw, step);
        TextReader reader(&input);
        std::vector<std::string> lines;
        std::vector<char> buffer(size);
        while (std::size_t n = reader.ReadLine(buffer.data(), size)) {
          ASSERT_EQ(buffer[n], '\0');
          lines.emplace_back(buffer.data(), n);
        }
        EXPECT_EQ(lines, ModelLines(raw, size)) << "round " << round << " size " << size
                                                << " step " << step;
      }
    }
  }
}

}  // namespace
}  // namespace setup
