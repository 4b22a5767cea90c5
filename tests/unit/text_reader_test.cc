#include "text/text_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/unit/stepped_input.h"

namespace setup {
namespace {

// The lines fgets gives in text mode for `raw` with a buffer of `size`.
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

// Random texts of CR, LF and 0x1A, every buffer size, reads that end anywhere.
TEST(TextReaderTest, ReadLineIsTextModeReadingCutIntoLines) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', '\r', '\n', '\x81', '\x1A'};
  for (int round = 0; round < 300; ++round) {
    std::string raw(random() % 300, 'a');
    for (char& c : raw) c = alphabet[random() % (round % 50 == 0 ? 5 : 4)];  // 0x1A seldom
    for (std::size_t size : {2, 3, 8, 4096}) {
      for (std::size_t step : {1, 2, 5, 1 << 20}) {
        SteppedInput input(raw, step);
        TextReader reader(&input);
        std::vector<std::string> lines;
        std::vector<char> buffer(size);
        while (std::size_t n = reader.ReadLine(buffer.data(), size)) {
          ASSERT_EQ(buffer[n], '\0');
          lines.emplace_back(buffer.data(), n);
        }
        EXPECT_EQ(lines, ModelLines(raw, size))
            << "round " << round << " size " << size << " step " << step;
      }
    }
  }
}

// Lines of every length up to a few sixteen-byte steps, each copied whole.
TEST(TextReaderTest, LinesOfEveryShortLength) {
  std::string raw;
  std::vector<std::string> want;
  for (std::size_t n = 0; n < 70; ++n) {
    std::string line(n, static_cast<char>('a' + n % 26));
    want.push_back(line + "\n");
    raw += line + (n % 3 == 0 ? "\r\n" : "\n");
  }
  SteppedInput input(raw, 1 << 20);
  TextReader reader(&input);
  char buffer[128];
  for (const std::string& line : want) {
    ASSERT_EQ(reader.ReadLine(buffer, sizeof buffer), line.size());
    EXPECT_EQ(std::string(buffer), line);
  }
  EXPECT_EQ(reader.ReadLine(buffer, sizeof buffer), 0u);
}

}  // namespace
}  // namespace setup
