// 16-bit version resources: NE files built in memory, read by ParseVersionResource, and
// their ANSI VS_VERSIONINFO walked by QueryVersionBlock.
#include "platform/posix/ne_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/pe_version.h"
#include "platform/posix/version_block.h"

namespace setup {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes* b, std::size_t at, std::uint32_t v) {
  (*b)[at] = static_cast<std::uint8_t>(v);
  (*b)[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PadTo4(Bytes* b) {
  while (b->size() % 4 != 0) b->push_back(0);
}

// One 16-bit node: wLength, wValueLength, the ANSI key, the value, the children.
Bytes Node(const std::string& key, const std::string& value, const Bytes& children = {},
           int value_length = -1) {
  Bytes b(4, 0);
  b.insert(b.end(), key.begin(), key.end());
  b.push_back(0);
  PadTo4(&b);
  b.insert(b.end(), value.begin(), value.end());
  PadTo4(&b);
  b.insert(b.end(), children.begin(), children.end());
  Put16(&b, 0, static_cast<std::uint32_t>(b.size()));
  Put16(&b, 2, static_cast<std::uint32_t>(value_length < 0 ? value.size() : value_length));
  PadTo4(&b);
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

std::string WithNul(const std::string& text) { return text + std::string(1, '\0'); }

Bytes Block16(const Bytes& strings = {}) {
  std::string fixed(52, '\0');
  fixed.replace(0, 4, "\xbd\x04\xef\xfe");
  Bytes table = strings.empty() ? Cat({Node("FileVersion", WithNul("3.10")),
                                       Node("ProductVersion", WithNul("3.10.0.103"))})
                                : strings;
  return Node("VS_VERSION_INFO", fixed,
              Cat({Node("StringFileInfo", "", Node("040904E4", "", table)),
                   Node("VarFileInfo", "",
                        Node("Translation", std::string("\x09\x04\xe4\x04", 4)))}));
}

// An NE file: MZ stub, NE header at 0x40, resource table at 0x80 (shift, one RT_STRING
// type with one entry, RT_VERSION with one entry id 0x8001, end), data from 0x100.
constexpr std::size_t kTable = 0x80;
constexpr std::size_t kStringType = kTable + 2;
constexpr std::size_t kVersionType = kStringType + 20;
constexpr std::size_t kVersionName = kVersionType + 8;
constexpr std::size_t kTableEnd = kVersionName + 12 + 2;
constexpr std::size_t kData = 0x100;

Bytes NeImage(const Bytes& block) {
  Bytes image(kData, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put16(&image, 0x3C, 0x40);
  image[0x40] = 'N';
  image[0x41] = 'E';
  Put16(&image, 0x40 + 0x24, kTable - 0x40);     // ne_rsrctab
  Put16(&image, 0x40 + 0x26, kTableEnd - 0x40);  // ne_restab
  Put16(&image, kTable, 4);                      // 16-byte units
  Put16(&image, kStringType, 0x8006);
  Put16(&image, kStringType + 2, 1);
  Put16(&image, kStringType + 8, kData >> 4);
  Put16(&image, kStringType + 10, 1);
  Put16(&image, kStringType + 14, 0x8001);
  Put16(&image, kVersionType, 0x8010);
  Put16(&image, kVersionType + 2, 1);
  Put16(&image, kVersionName, (kData + 16) >> 4);
  Put16(&image, kVersionName + 2, static_cast<std::uint32_t>((block.size() + 15) >> 4));
  Put16(&image, kVersionName + 6, 0x8001);
  image.resize(kData + 16, 'S');
  image.insert(image.end(), block.begin(), block.end());
  image.resize(kData + 16 + ((block.size() + 15) & ~std::size_t{15}), 0);
  return image;
}

std::string Query(const Bytes& block, const std::string& path) {
  std::string value;
  if (!QueryVersionBlock(block, path, &value)) return "<none>";
  return value;
}

TEST(NeVersionResourceTest, TableEdges) {
  const Bytes block = Block16();
  const Bytes good = NeImage(block);
  struct Case {
    const char* what;
    std::function<void(Bytes*)> change;
    std::size_t expected_size;  // 0: no block
  } cases[] = {
      {"intact", [](Bytes*) {}, (block.size() + 15) & ~std::size_t{15}},
      {"NE header cut", [](Bytes* b) { b->resize(0x40 + 63); }, 0},
      {"e_lfanew past the end", [](Bytes* b) { Put16(b, 0x3C, 0xFFF0); }, 0},
      {"not NE", [](Bytes* b) { (*b)[0x41] = 'X'; }, 0},
      {"empty table", [](Bytes* b) { Put16(b, 0x40 + 0x26, kTable - 0x40); }, 0},
      {"table ends before it starts", [](Bytes* b) { Put16(b, 0x40 + 0x26, 0x10); }, 0},
      {"table past the end", [](Bytes* b) { Put16(b, 0x40 + 0x26, 0xFFFF); }, 0},
      {"shift 17", [](Bytes* b) {
         Put16(b, kTable, 17);
         Put16(b, kVersionName, 0);  // would be the whole file from its start
       }, 0},
      {"shift 16: offset past the end", [](Bytes* b) { Put16(b, kTable, 16); }, 0},
      {"no RT_VERSION", [](Bytes* b) { Put16(b, kVersionType, 0x8006); }, 0},
      {"no id 1", [](Bytes* b) { Put16(b, kVersionName + 6, 0x8002); }, 0},
      {"name id as a string", [](Bytes* b) { Put16(b, kVersionName + 6, 0x0001); }, 0},
      {"type count runs off the table", [](Bytes* b) { Put16(b, kStringType + 2, 0x7FFF); }, 0},
      {"names run off the table", [](Bytes* b) {
         Put16(b, kVersionName + 6, 0x8002);
         Put16(b, kVersionType + 2, 2);
       }, 0},
      {"no end of types", [](Bytes* b) {
         Put16(b, kVersionType, 0x8006);
         Put16(b, kTableEnd - 2, 0x8006);
       }, 0},
      {"data past the end", [](Bytes* b) { Put16(b, kVersionName, 0xFFFF); }, 0},
      {"length 52: Windows reports no block", [](Bytes* b) {
         Put16(b, kTable, 2);
         Put16(b, kVersionName, (kData + 16) >> 2);
         Put16(b, kVersionName + 2, 13);
       }, 0},
      {"length 64: Windows reads (64 - 52) * 4 bytes", [](Bytes* b) {
         Put16(b, kVersionName + 2, 4);
       }, 48},
      {"length past the end: what the file holds", [](Bytes* b) {
         Put16(b, kVersionName + 2, 0x100);
       }, (block.size() + 15) & ~std::size_t{15}},
  };
  for (const Case& c : cases) {
    Bytes image = good;
    c.change(&image);
    Bytes found;
    bool ok = ParseVersionResource(image.data(), image.size(), &found);
    EXPECT_EQ(ok ? found.size() : 0, c.expected_size) << c.what;
    if (ok) {
      EXPECT_TRUE(std::equal(found.begin(), found.end(), image.begin() + kData + 16)) << c.what;
    }
  }
}

TEST(NeVersionResourceTest, EveryTruncationAndByteChange) {
  const Bytes good = NeImage(Block16());
  Bytes found;
  for (std::size_t size = 0; size <= good.size(); ++size) {
    bool ok = ParseVersionResource(good.data(), size, &found);
    EXPECT_EQ(ok, size > kData + 16) << size;
  }
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (std::uint8_t v : {0x00, 0x01, 0x20, 0x80, 0xFF}) {
      Bytes changed = good;
      changed[at] = v;
      if (ParseVersionResource(changed.data(), changed.size(), &found)) {
        Query(found, "\\StringFileInfo\\040904E4\\FileVersion");
        Query(found, "\\VarFileInfo\\Translation");
      }
    }
  }
}

TEST(QueryVersionBlock16Test, Paths) {
  Bytes block = Block16();
  struct Case {
    const char* path;
    std::string expected;
  } cases[] = {
      {"\\StringFileInfo\\040904E4\\FileVersion", "3.10"},
      {"\\StringFileInfo\\040904E4\\ProductVersion", "3.10.0.103"},
      {"\\stringfileinfo\\040904e4\\PRODUCTVERSION", "3.10.0.103"},
      {"StringFileInfo\\\\040904E4\\FileVersion\\", "3.10"},
      {"\\VarFileInfo\\Translation", std::string("\x09\x04\xe4\x04", 4)},
      {"\\StringFileInfo\\040904B0\\FileVersion", "<none>"},
      {"\\StringFileInfo\\040904E4\\FileVersio", "<none>"},
      {"\\StringFileInfo\\040904E4\\FileVersionX", "<none>"},
      {"\\StringFileInfo\\040904E4\\CompanyName", "<none>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Query(block, c.path), c.expected) << c.path;
  std::string root = Query(block, "\\");
  ASSERT_EQ(root.size(), 52u);
  EXPECT_EQ(root.substr(0, 4), "\xbd\x04\xef\xfe");
}

TEST(QueryVersionBlock16Test, StringsAsStored) {
  const std::string path = "\\StringFileInfo\\040904E4\\A";
  struct Case {
    const char* what;
    Bytes strings;
    std::string expected;
  } cases[] = {
      {"code page 932 bytes", Node("A", WithNul("\x83\x5c\x83\x74\x83\x67")),
       "\x83\x5c\x83\x74\x83\x67"},
      {"wValueLength without the NUL", Node("A", WithNul("1.0"), {}, 3), "1.0"},
      {"wValueLength 0", Node("A", WithNul("1.0"), {}, 0), "1.0"},
      // No NUL and nothing to pad: the text runs on into the next node, to its NUL.
      {"no NUL", Cat({Node("A", "1.00"), Node("B", WithNul("x"))}), "1.00\x0c"},
      {"empty", Node("A", WithNul("")), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Query(Block16(c.strings), path), c.expected) << c.what;
  // A string without NUL at the very end of the block ends there.
  Bytes last = Node("VS_VERSION_INFO", "",
                    Node("StringFileInfo", "", Node("040904E4", "", Node("A", "1.00"))));
  ASSERT_EQ(std::string(last.end() - 4, last.end()), "1.00");
  EXPECT_EQ(Query(last, path), "1.00");
}

TEST(QueryVersionBlock16Test, MalformedBlocks) {
  const Bytes good = Block16();
  const std::string path = "\\StringFileInfo\\040904E4\\FileVersion";
  for (std::size_t size = 0; size < good.size(); ++size) {
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(Query(cut, path), "<none>") << size;
  }
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (std::uint8_t v : {0x00, 0x01, 0x03, 0x7F, 0xFF}) {
      Bytes changed = good;
      changed[at] = v;
      Query(changed, path);
      Query(changed, "\\VarFileInfo\\Translation");
      Query(changed, "\\");
    }
  }
  Bytes no_nul = Node("VS_VERSION_INFO", "");
  Put16(&no_nul, 0, 8);  // the key runs past the node
  EXPECT_EQ(Query(no_nul, "\\"), "<none>");
  Bytes value_outside = Node("VS_VERSION_INFO", "");
  value_outside.resize(19);  // the value would begin at 20, past the block
  Put16(&value_outside, 0, 19);
  EXPECT_EQ(Query(value_outside, "\\"), "<none>");
}

}  // namespace
}  // namespace setup
