// 16-bit version resources: NE files read by ParseVersionResource, ANSI blocks by
// QueryVersionBlock.
#include "platform/posix/ne_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/pe_version.h"
#include "platform/posix/version_block.h"

namespace setup {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::string_literals;

void Put16(Bytes* b, std::size_t at, std::uint32_t v) {
  (*b)[at] = static_cast<std::uint8_t>(v);
  (*b)[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// One 16-bit node: wLength, wValueLength, the ANSI key, the value, the children.
Bytes Node(const std::string& key, const std::string& value, const Bytes& children = {},
           int value_length = -1) {
  Bytes b(4, 0);
  auto pad = [&b] { b.resize((b.size() + 3) & ~std::size_t{3}); };
  b.insert(b.end(), key.c_str(), key.c_str() + key.size() + 1);
  pad();
  b.insert(b.end(), value.begin(), value.end());
  pad();
  b.insert(b.end(), children.begin(), children.end());
  Put16(&b, 0, static_cast<std::uint32_t>(b.size()));
  Put16(&b, 2, static_cast<std::uint32_t>(value_length < 0 ? value.size() : value_length));
  pad();
  return b;
}

Bytes Cat(const Bytes& a, const Bytes& b) {
  Bytes c = a;
  c.insert(c.end(), b.begin(), b.end());
  return c;
}

Bytes Block16(const Bytes& strings = {}) {
  const std::string fixed = "\xbd\x04\xef\xfe" + std::string(48, '\0');
  Bytes table = strings.empty()
                    ? Cat(Node("FileVersion", "3.10\0"s), Node("ProductVersion", "3.10.0.103\0"s))
                    : strings;
  return Node("VS_VERSION_INFO", fixed,
              Cat(Node("StringFileInfo", "", Node("040904E4", "", table)),
                  Node("VarFileInfo", "", Node("Translation", "\x09\x04\xe4\x04"s))));
}

// MZ stub, NE header at 0x40, resource table at 0x80 (shift, RT_STRING and RT_VERSION with
// one entry id 0x8001 each, end), data from 0x100.
constexpr std::size_t kTable = 0x80;
constexpr std::size_t kStringType = kTable + 2;
constexpr std::size_t kVersionType = kStringType + 20;
constexpr std::size_t kVersionName = kVersionType + 8;
constexpr std::size_t kTableEnd = kVersionName + 12 + 2;
constexpr std::size_t kData = 0x100;

Bytes NeImage(const Bytes& block) {
  Bytes image(kData, 0);
  image.resize(kData + 16, 'S');  // the RT_STRING data
  // clang-format off
  const std::size_t words[] = {  // pairs of offset and value
      0, 'M' | 'Z' << 8, 0x3C, 0x40, 0x40, 'N' | 'E' << 8, 0x40 + 0x24, kTable - 0x40,
      0x40 + 0x26, kTableEnd - 0x40, kTable, 4, kStringType, 0x8006, kStringType + 2, 1,
      kStringType + 8, kData >> 4, kStringType + 10, 1, kStringType + 14, 0x8001,
      kVersionType, 0x8010, kVersionType + 2, 1, kVersionName, (kData + 16) >> 4,
      kVersionName + 2, (block.size() + 15) >> 4, kVersionName + 6, 0x8001};
  // clang-format on
  for (std::size_t i = 0; i < std::size(words); i += 2) {
    Put16(&image, words[i], static_cast<std::uint32_t>(words[i + 1]));
  }
  image.insert(image.end(), block.begin(), block.end());
  image.resize(kData + 16 + ((block.size() + 15) & ~std::size_t{15}), 0);
  return image;
}

std::string Query(const Bytes& block, const std::string& path) {
  std::string value;
  return QueryVersionBlock(block, path, &value) ? value : "<none>";
}

TEST(NeVersionResourceTest, TableEdges) {
  const Bytes block = Block16();
  const Bytes good = NeImage(block);
  const std::size_t whole = (block.size() + 15) & ~std::size_t{15};
  struct Case {
    const char* what;
    std::vector<std::pair<std::size_t, std::uint32_t>> puts;
    std::size_t expected_size;  // 0: no block
  } cases[] = {
      {"intact", {}, whole},
      {"e_lfanew past the end", {{0x3C, 0xFFF0}}, 0},
      {"not NE", {{0x40, 'N' | 'X' << 8}}, 0},
      {"table ends before it starts", {{0x40 + 0x26, 0x10}}, 0},
      {"table past the end", {{0x40 + 0x26, 0xFFFF}}, 0},
      {"shift 17", {{kTable, 17}, {kVersionName, 0}}, 0},
      {"no RT_VERSION", {{kVersionType, 0x8006}}, 0},
      {"no id 1", {{kVersionName + 6, 0x8002}}, 0},
      {"name id as a string", {{kVersionName + 6, 0x0001}}, 0},
      {"type count runs off the table", {{kStringType + 2, 0x7FFF}}, 0},
      {"no end of types", {{kVersionType, 0x8006}, {kTableEnd - 2, 0x8006}}, 0},
      {"data past the end", {{kVersionName, 0xFFFF}}, 0},
      {"length 52: Windows reports no block",
       {{kTable, 2}, {kVersionName, (kData + 16) >> 2}, {kVersionName + 2, 13}},
       0},
      {"length 64: Windows reads (64 - 52) * 4 bytes", {{kVersionName + 2, 4}}, 48},
      {"length past the end: what the file holds", {{kVersionName + 2, 0x100}}, whole},
  };
  Bytes found;
  for (const Case& c : cases) {
    Bytes image = good;
    for (auto [at, v] : c.puts) Put16(&image, at, v);
    bool ok = ParseVersionResource(image.data(), image.size(), &found);
    EXPECT_EQ(ok ? found.size() : 0, c.expected_size) << c.what;
    EXPECT_TRUE(!ok || std::equal(found.begin(), found.end(), image.begin() + kData + 16));
  }
  for (std::size_t size = 0; size <= good.size(); ++size) {  // every truncation
    EXPECT_EQ(ParseVersionResource(good.data(), size, &found), size > kData + 16) << size;
  }
}

TEST(QueryVersionBlock16Test, Values) {
  const std::string a = "\\StringFileInfo\\040904E4\\A";
  Bytes last = Node("VS_VERSION_INFO", "",  // a string without NUL at the end of the block
                    Node("StringFileInfo", "", Node("040904E4", "", Node("A", "1.00"))));
  Bytes key_outside = Node("VS_VERSION_INFO", "");
  Put16(&key_outside, 0, 8);  // the key runs past the node
  Bytes value_outside = Node("VS_VERSION_INFO", "");
  value_outside.resize(19);  // the value would begin at 20, past the block
  Put16(&value_outside, 0, 19);
  struct Case {
    Bytes block;
    std::string path, expected;
  } cases[] = {
      {Block16(), "\\StringFileInfo\\040904E4\\FileVersion", "3.10"},
      {Block16(), "\\stringfileinfo\\040904e4\\PRODUCTVERSION", "3.10.0.103"},
      {Block16(), "\\VarFileInfo\\Translation", "\x09\x04\xe4\x04"s},
      {Block16(Node("A", "\x83\x5c\x83\x74\0"s)), a, "\x83\x5c\x83\x74"},
      {Block16(Node("A", "1.0\0"s, {}, 0)), a, "1.0"},
      // No NUL and nothing to pad: the text runs on into the next node, to its NUL.
      {Block16(Cat(Node("A", "1.00"), Node("B", "x\0"s))), a, "1.00\x0c"},
      {last, a, "1.00"},
      {key_outside, "\\", "<none>"},
      {value_outside, "\\", "<none>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Query(c.block, c.path), c.expected) << c.path;
  const Bytes good = Block16();
  for (std::size_t size = 0; size < good.size(); ++size) {  // every truncation
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(Query(cut, "\\StringFileInfo\\040904E4\\FileVersion"), "<none>") << size;
  }
}

}  // namespace
}  // namespace setup
