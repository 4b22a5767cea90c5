#include "platform/posix/pe_version.h"
#include "platform/posix/version_block.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace setup {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

// --- Building version blocks and PE images in memory.

void Put16(Bytes* b, std::size_t at, std::uint32_t v) {
  (*b)[at] = static_cast<std::uint8_t>(v);
  (*b)[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Bytes* b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

void PadTo4(Bytes* b) {
  while (b->size() % 4 != 0) b->push_back(0);
}

void AppendUtf16(Bytes* b, const std::u16string& text) {
  for (char16_t u : text) {
    b->push_back(static_cast<std::uint8_t>(u));
    b->push_back(static_cast<std::uint8_t>(u >> 8));
  }
}

// One VS_VERSIONINFO node. `value_length` < 0 means the natural length (characters with
// the NUL for text, bytes for binary).
Bytes Node(const std::u16string& key, const Bytes& value, int type, const Bytes& children,
           int value_length = -1) {
  Bytes b(6, 0);
  AppendUtf16(&b, key + u'\0');
  PadTo4(&b);
  b.insert(b.end(), value.begin(), value.end());
  PadTo4(&b);
  b.insert(b.end(), children.begin(), children.end());
  if (value_length < 0) {
    value_length = static_cast<int>(type == 1 ? value.size() / 2 : value.size());
  }
  Put16(&b, 0, static_cast<std::uint32_t>(b.size()));
  Put16(&b, 2, static_cast<std::uint32_t>(value_length));
  Put16(&b, 4, static_cast<std::uint32_t>(type));
  PadTo4(&b);
  return b;
}

Bytes Text(const std::u16string& text) {
  Bytes b;
  AppendUtf16(&b, text + u'\0');
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

Bytes Translation(std::initializer_list<std::uint16_t> words) {
  Bytes b;
  for (std::uint16_t w : words) {
    b.push_back(static_cast<std::uint8_t>(w));
    b.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  return b;
}

Bytes StandardBlock() {
  Bytes fixed(52, 0);
  Put32(&fixed, 0, 0xFEEF04BD);
  Bytes table = Node(u"040904B0", {}, 1,
                     Cat({Node(u"FileVersion", Text(u"5.0.3.1"), 1, {}),
                          Node(u"ProductVersion", Text(u"7.2.0.0"), 1, {})}));
  return Node(
      u"VS_VERSION_INFO", fixed, 0,
      Cat({Node(u"StringFileInfo", {}, 1, table),
           Node(u"VarFileInfo", {}, 1, Node(u"Translation", Translation({0x409, 0x4B0}), 0, {}))}));
}

struct ResourceEntry {
  std::uint32_t type = 16;
  std::uint32_t name = 1;
  std::vector<std::pair<std::uint16_t, Bytes>> languages;  // language -> data
};

// A PE32 or PE32+ image with one section, .rsrc, holding `entry`.
Bytes Image(bool plus, const ResourceEntry& entry) {
  constexpr std::uint32_t kRva = 0x1000;
  auto directory = [](std::vector<std::pair<std::uint32_t, std::uint32_t>> entries) {
    Bytes d(16, 0);
    Put16(&d, 14, static_cast<std::uint32_t>(entries.size()));
    for (auto [id, offset] : entries) {
      d.resize(d.size() + 8);
      Put32(&d, d.size() - 8, id);
      Put32(&d, d.size() - 4, offset);
    }
    return d;
  };
  std::size_t n = entry.languages.size();
  std::uint32_t level2 = 24, level3 = 48, entries = level3 + 16 + 8 * static_cast<std::uint32_t>(n);
  std::uint32_t data = entries + 16 * static_cast<std::uint32_t>(n);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> langs;
  Bytes payload;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> data_entries;  // rva, size
  for (std::size_t i = 0; i < n; ++i) {
    langs.push_back({entry.languages[i].first, entries + 16 * static_cast<std::uint32_t>(i)});
    data_entries.push_back({kRva + data + static_cast<std::uint32_t>(payload.size()),
                            static_cast<std::uint32_t>(entry.languages[i].second.size())});
    payload.insert(payload.end(), entry.languages[i].second.begin(),
                   entry.languages[i].second.end());
    PadTo4(&payload);
  }
  Bytes rsrc = Cat({directory({{entry.type, 0x80000000u | level2}}),
                    directory({{entry.name, 0x80000000u | level3}}), directory(langs)});
  for (auto [rva, size] : data_entries) {
    rsrc.resize(rsrc.size() + 16);
    Put32(&rsrc, rsrc.size() - 16, rva);
    Put32(&rsrc, rsrc.size() - 12, size);
  }
  rsrc.insert(rsrc.end(), payload.begin(), payload.end());
  std::size_t raw = (rsrc.size() + 0x1FF) & ~std::size_t{0x1FF};
  rsrc.resize(raw);

  std::uint32_t optional_size = plus ? 0xF0 : 0xE0;
  Bytes image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(&image, 0x3C, 0x40);
  Put32(&image, 0x40, 0x00004550);
  std::size_t coff = 0x44, optional = coff + 20;
  Put16(&image, coff, plus ? 0x8664 : 0x14C);
  Put16(&image, coff + 2, 1);
  Put16(&image, coff + 16, optional_size);
  Put16(&image, optional, plus ? 0x20B : 0x10B);
  std::size_t directories = optional + (plus ? 112 : 96);
  Put32(&image, optional + (plus ? 108 : 92), 16);
  Put32(&image, directories + 16, kRva);
  Put32(&image, directories + 20, static_cast<std::uint32_t>(rsrc.size()));
  std::size_t section = optional + optional_size;
  std::memcpy(&image[section], ".rsrc", 5);
  Put32(&image, section + 8, static_cast<std::uint32_t>(raw));
  Put32(&image, section + 12, kRva);
  Put32(&image, section + 16, static_cast<std::uint32_t>(raw));
  Put32(&image, section + 20, 0x400);
  image.insert(image.end(), rsrc.begin(), rsrc.end());
  return image;
}

Bytes Image(bool plus, const Bytes& block, std::uint16_t language = 0x409) {
  ResourceEntry entry;
  entry.languages = {{language, block}};
  return Image(plus, entry);
}

std::string Query(const Bytes& block, const std::string& path) {
  std::string value;
  if (!QueryVersionBlock(block, path, &value)) return "<none>";
  return value;
}

// --- The block walk.

TEST(QueryVersionBlockTest, StandardPaths) {
  Bytes block = StandardBlock();
  struct Case {
    const char* path;
    std::string expected;
  } cases[] = {
      {"\\StringFileInfo\\040904B0\\FileVersion", "5.0.3.1"},
      {"\\StringFileInfo\\040904B0\\ProductVersion", "7.2.0.0"},
      {"\\stringfileinfo\\040904b0\\fileversion", "5.0.3.1"},
      {"StringFileInfo\\\\040904B0\\FileVersion\\", "5.0.3.1"},  // empty parts skipped
      {"\\VarFileInfo\\Translation", "\x09\x04\xb0\x04"},
      {"\\StringFileInfo\\041104B0\\FileVersion", "<none>"},
      {"\\StringFileInfo\\040904B0\\CompanyName", "<none>"},
      {"\\StringFileInfo\\040904B0\\FileVersio", "<none>"},
      {"\\StringFileInfo\\040904B0\\FileVersionX", "<none>"},
      {"\\StringFileInfo\\040904B0", ""},  // a table has no value
  };
  for (const Case& c : cases) EXPECT_EQ(Query(block, c.path), c.expected) << c.path;
  std::string root = Query(block, "\\");
  ASSERT_EQ(root.size(), 52u);
  EXPECT_EQ(root.substr(0, 4), "\xbd\x04\xef\xfe");
}

TEST(QueryVersionBlockTest, StringLengthForms) {
  auto block_with = [](const Bytes& value, int value_length) {
    return Node(
        u"VS_VERSION_INFO", {}, 0,
        Node(
            u"StringFileInfo", {}, 1,
            Node(u"040904B0", {}, 1,
                 Cat({Node(u"A", value, 1, {}, value_length), Node(u"B", Text(u"next"), 1, {})}))));
  };
  Bytes with_nul = Text(u"1.0");
  Bytes without_nul(with_nul.begin(), with_nul.end() - 2);
  struct Case {
    Bytes value;
    int value_length;
    std::string expected;
  } cases[] = {
      {with_nul, 4, "1.0"},     // characters with the NUL
      {with_nul, 8, "1.0"},     // bytes instead of characters: up to the NUL
      {with_nul, 3, "1.0"},     // characters without the NUL
      {without_nul, 3, "1.0"},  // no NUL stored at all
      {with_nul, 2, "1."},      // only what wValueLength says
      {with_nul, 0, ""},
      {with_nul, 500, "1.0"},  // longer than its node: cut at the node
      {Text(u"\u65e5\u672c\u00e9"), 4, "\x93\xfa\x96\x7b?"},  // code page 932; é has none
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Query(block_with(c.value, c.value_length), "\\StringFileInfo\\040904B0\\A"),
              c.expected)
        << c.value_length;
    EXPECT_EQ(Query(block_with(c.value, c.value_length), "\\StringFileInfo\\040904B0\\B"), "next");
  }
}

TEST(QueryVersionBlockTest, MalformedBlocks) {
  Bytes good = StandardBlock();
  const std::string path = "\\StringFileInfo\\040904B0\\FileVersion";
  ASSERT_EQ(Query(good, path), "5.0.3.1");
  // Every truncation: the root's wLength no longer fits, so nothing is found.
  for (std::size_t size = 0; size < good.size(); ++size) {
    Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(Query(cut, path), "<none>") << size;
  }
  // Every single-byte change: no crash, no read outside the block (ASan checks).
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (std::uint8_t v : {0x00, 0x01, 0x05, 0x7F, 0xFF}) {
      Bytes changed = good;
      changed[at] = v;
      std::string value;
      QueryVersionBlock(changed, path, &value);
      QueryVersionBlock(changed, "\\VarFileInfo\\Translation", &value);
    }
  }
  // A child whose wLength runs past its parent is not a child.
  Bytes child_too_long = good;
  std::size_t string_file_info = 0;
  for (std::size_t i = 0; i + 2 <= child_too_long.size(); i += 2) {
    if (child_too_long[i] == 'S' && child_too_long[i + 2] == 't') {
      string_file_info = i - 6;
      break;
    }
  }
  ASSERT_GT(string_file_info, 0u);
  Put16(&child_too_long, string_file_info, 0xFFF0);
  EXPECT_EQ(Query(child_too_long, path), "<none>");
  EXPECT_EQ(Query(child_too_long, "\\VarFileInfo\\Translation"), "<none>");
  // A key without its NUL inside the node.
  Bytes no_nul = Node(u"VS_VERSION_INFO", {}, 0, {});
  Put16(&no_nul, 0, 8);
  EXPECT_EQ(Query(no_nul, "\\"), "<none>");
  // wLength below the header size.
  Bytes tiny = good;
  Put16(&tiny, 0, 4);
  EXPECT_EQ(Query(tiny, "\\"), "<none>");
  EXPECT_EQ(Query({}, "\\"), "<none>");
}

// --- The PE reader.

TEST(ParseVersionResourceTest, Pe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    Bytes image = Image(plus, StandardBlock());
    Bytes block;
    ASSERT_TRUE(ParseVersionResource(image.data(), image.size(), &block)) << plus;
    EXPECT_EQ(block, StandardBlock());
  }
}

TEST(ParseVersionResourceTest, LanguageChoice) {
  auto block_named = [](const std::u16string& version) {
    return Node(u"VS_VERSION_INFO", {}, 0,
                Node(u"StringFileInfo", {}, 1,
                     Node(u"040904B0", {}, 1, Node(u"FileVersion", Text(version), 1, {}))));
  };
  struct Case {
    std::vector<std::uint16_t> languages;
    std::string expected;  // FileVersion is the language's number
  } cases[] = {
      {{0x0407, 0x0409, 0x0411, 0x0000}, "0"},
      {{0x0407, 0x0409, 0x0411}, "1041"},
      {{0x0407, 0x0409, 0x0011, 0x0411}, "1041"},
      {{0x0407, 0x0409, 0x0011}, "17"},  // Japanese, neutral sublanguage
      {{0x0407, 0x0409}, "1033"},
      {{0x0407, 0x040C}, "1031"},
  };
  for (const Case& c : cases) {
    ResourceEntry entry;
    for (std::uint16_t language : c.languages) {
      std::string number = std::to_string(language);
      std::u16string text(number.begin(), number.end());
      entry.languages.push_back({language, block_named(text)});
    }
    Bytes image = Image(false, entry);
    Bytes block;
    ASSERT_TRUE(ParseVersionResource(image.data(), image.size(), &block));
    EXPECT_EQ(Query(block, "\\StringFileInfo\\040904B0\\FileVersion"), c.expected);
  }
}

TEST(ParseVersionResourceTest, OnlyTheVersionResourceNamedOne) {
  ResourceEntry entry;
  entry.name = 2;
  entry.languages = {{0x409, StandardBlock()}};
  Bytes image = Image(false, entry);
  Bytes block;
  EXPECT_FALSE(ParseVersionResource(image.data(), image.size(), &block));
  entry.name = 1;
  entry.type = 6;  // RT_STRING
  image = Image(false, entry);
  EXPECT_FALSE(ParseVersionResource(image.data(), image.size(), &block));
}

TEST(ParseVersionResourceTest, DamagedImages) {
  for (bool plus : {false, true}) {
    Bytes good = Image(plus, StandardBlock());
    Bytes block;
    // Every truncation: no crash; once the version data is cut, no block.
    for (std::size_t size = 0; size < good.size(); ++size) {
      bool ok = ParseVersionResource(good.data(), size, &block);
      if (size < 0x400 + 0x80) {
        EXPECT_FALSE(ok) << size;
      }
    }
    // Single-byte changes throughout the headers and the resource directory.
    for (std::size_t at = 0; at < 0x400 + 0x80; ++at) {
      for (std::uint8_t v : {0x00, 0x01, 0x80, 0xFF}) {
        Bytes changed = good;
        changed[at] = v;
        ParseVersionResource(changed.data(), changed.size(), &block);
      }
    }
    // Specific damage that must fail.
    auto fails = [&](std::size_t at, std::uint32_t value, int width) {
      Bytes changed = good;
      if (width == 2) {
        Put16(&changed, at, value);
      } else {
        Put32(&changed, at, value);
      }
      return !ParseVersionResource(changed.data(), changed.size(), &block);
    };
    std::size_t optional = 0x58;
    std::size_t directories = optional + (plus ? 112 : 96);
    EXPECT_TRUE(fails(0, 0x5A4E, 2));                        // not MZ
    EXPECT_TRUE(fails(0x3C, 0xFFFFFFF0u, 4));                // e_lfanew out of the file
    EXPECT_TRUE(fails(0x40, 0x00004551, 4));                 // not PE\0\0
    EXPECT_TRUE(fails(optional, 0x10C, 2));                  // unknown magic
    EXPECT_TRUE(fails(optional + (plus ? 108 : 92), 2, 4));  // no resource directory
    EXPECT_TRUE(fails(directories + 16, 0, 4));              // resource RVA 0
    EXPECT_TRUE(fails(directories + 16, 0x5000, 4));         // RVA in no section
    EXPECT_TRUE(fails(0x44 + 16, 0x40, 2));                  // optional header too small
    {  // 65535 entries claimed, none of them RT_VERSION: the search stops at the end
      Bytes changed = good;
      Put16(&changed, 0x400 + 14, 0xFFFF);
      Put32(&changed, 0x400 + 16, 17);
      EXPECT_FALSE(ParseVersionResource(changed.data(), changed.size(), &block));
    }
    EXPECT_TRUE(fails(0x400 + 20, 0x18, 4));             // type entry not a directory
    EXPECT_TRUE(fails(0x400 + 20, 0x80000000u | 0, 4));  // a directory loop: root again
    EXPECT_TRUE(fails(0x400 + 20, 0xFFFFFFFFu, 4));      // subdirectory out of range
    std::size_t data_entry = 0x400 + 0x48;
    EXPECT_TRUE(fails(data_entry + 4, 0x7FFFFFFF, 4));  // data size past the section
    EXPECT_TRUE(fails(data_entry, 0xFFFFFFFFu, 4));     // data RVA wraps
    EXPECT_TRUE(fails(data_entry + 4, 0, 4));           // empty data
  }
  Bytes block;
  EXPECT_FALSE(ParseVersionResource(nullptr, 0, &block));
}

// --- The fixtures built by the mingw builds, PE32 and PE32+.

// The build passes each mingw build's fixture folder as an absolute path: a path made
// from __FILE__ would be relative under the compiler cache.
std::string FixtureDir(const char* arch) {
  return std::string(arch == std::string("win32") ? SETUP_PE_FIXTURES32 : SETUP_PE_FIXTURES64) +
         "/version/";
}

class VersionFixtureTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    dir_ = FixtureDir(GetParam());
    struct stat status;
    // Missing fixtures are a broken build, not a reason to skip: `make unit` and
    // `make test` both build them first.
    ASSERT_EQ(stat((dir_ + "ver_503.dll").c_str(), &status), 0)
        << "the version fixtures are not built in " << dir_;
  }

  // FileVersion or ProductVersion the way the version condition reads it: the first
  // translation only.
  std::string ReadString(const std::string& file, const std::string& name) {
    Bytes block;
    if (!ReadFileVersionBlock(dir_ + file, &block)) return "<no block>";
    std::string translation;
    if (!QueryVersionBlock(block, "\\VarFileInfo\\Translation", &translation) ||
        translation.size() < 4) {
      return "<no translation>";
    }
    auto word = [&translation](int i) {
      return static_cast<unsigned char>(translation[i]) |
             (static_cast<unsigned char>(translation[i + 1]) << 8);
    };
    char path[80];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\%s", word(0), word(2),
                  name.c_str());
    std::string value;
    if (!QueryVersionBlock(block, path, &value)) return "<no string>";
    return value;
  }

  std::string dir_;
};

TEST_P(VersionFixtureTest, Strings) {
  struct Case {
    const char* file;
    const char* name;
    std::string expected;
  } cases[] = {
      {"ver_503.dll", "FileVersion", "5.0.3.1"},
      {"ver_503.dll", "ProductVersion", "7.2.0.0"},
      {"ver_503.exe", "FileVersion", "5.0.3.1"},
      {"ver_503.exe", "ProductVersion", "7.2.0.0"},
      {"ver_520.dll", "FileVersion", "5.2.0.0"},
      {"ver_520c.dll", "FileVersion", "5, 2, 0, 0"},
      {"ver_600c.dll", "FileVersion", "6, 0, 0, 0"},
      {"ver_2ndlang.dll", "FileVersion", "<no string>"},  // later pairs are never tried
      {"ver_japanese.dll", "ProductName",
       "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x90\xbb\x95\x69"},  // 日本語の製品
      {"ver_japanese.dll", "FileVersion", "1.2.3.4"},
      {"ver_503.dll", "CompanyName", "Setup test fixtures"},
      {"ver_503.dll", "NoSuchString", "<no string>"},
      {"no_version.dll", "FileVersion", "<no block>"},
      {"missing.dll", "FileVersion", "<no block>"},
      {"", "FileVersion", "<no block>"},  // the directory itself
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadString(c.file, c.name), c.expected) << c.file << " " << c.name;
  }
}

TEST_P(VersionFixtureTest, SecondTranslationIsThere) {
  Bytes block;
  ASSERT_TRUE(ReadFileVersionBlock(dir_ + "ver_2ndlang.dll", &block));
  EXPECT_EQ(Query(block, "\\VarFileInfo\\Translation"), "\x11\x04\xb0\x04\x09\x04\xb0\x04");
  EXPECT_EQ(Query(block, "\\StringFileInfo\\040904B0\\FileVersion"), "4.0.0.0");
}

INSTANTIATE_TEST_SUITE_P(Builds, VersionFixtureTest, ::testing::Values("win32", "win64"));

}  // namespace
}  // namespace setup
