#include "record/product_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

TEST(ProductFileTest, ValuesAreTakenWithTheirDefaults) {
  ProductFile file;
  ParseProductFile(
      "\xEF\xBB\xBF; a comment\r\n[Product]\r\n  id = Example.App_{1}-2 \r\nNAME=Ex\xC3\xA4mple\r\n"
      "Version=1.2.0\nPublisher=Example Ltd\nURL=https://example.org/\nRollback=No\n"
      "[Other]\nAnything=goes\n",
      &file);
  EXPECT_EQ(file.faults, std::vector<ProductFault>{});
  EXPECT_EQ(file.info.id, "Example.App_{1}-2");
  EXPECT_EQ(file.info.name, "Ex\xC3\xA4mple");
  EXPECT_EQ(file.info.version, "1.2.0");
  EXPECT_EQ(file.info.publisher, "Example Ltd");
  EXPECT_EQ(file.info.url, "https://example.org/");
  EXPECT_FALSE(file.info.rollback);

  ParseProductFile("[Product]\nId=A\n", &file);
  EXPECT_EQ(file.faults, std::vector<ProductFault>{});
  EXPECT_TRUE(file.info.rollback);
  EXPECT_EQ(file.info.name, "");
}

// Every fault is listed with its line, so that the checker can show them all.
TEST(ProductFileTest, EveryFaultIsListedWithItsLine) {
  struct Case {
    std::string text;
    std::vector<ProductFault> faults;
  };
  const Case cases[] = {
      {"", {{0, "no section [Product]"}}},
      {"Id=A\n[Product]\nId=A\n", {{1, "a key before the section [Product]"}}},
      {"[Product]\nName=X\n", {{0, "[Product] has no Id"}}},
      {"[Product]\nId=\n", {{2, "Id is empty"}}},
      {"[Product]\nId=a\\b\n",
       {{2, "Id 'a\\b' may hold only letters, digits, '.', '-', '_', '{' and '}'"}}},
      {"[Product]\nId=" + std::string(129, 'x') + "\n", {{2, "Id is longer than 128 bytes"}}},
      {"[Product]\nId=A\nName=" + std::string(256, 'n') + "\n",
       {{3, "Name is longer than 255 bytes"}}},
      {"[Product]\nId=A\nid=B\n", {{3, "Id is given twice"}}},
      {"[Product]\nId=A\nColour=red\n", {{3, "unknown key 'Colour' in [Product]"}}},
      {"[Product]\nId=A\nRollback=maybe\n", {{3, "Rollback must be yes or no, not 'maybe'"}}},
      {"[Product\nId=A\n",
       {{1, "a section name without its closing ']'"},
        {2, "a key before the section [Product]"},
        {0, "no section [Product]"}}},
      {"[Product]\nId=A\njust words\n=value\n",
       {{3, "a line without '=' and a value"}, {4, "a value without a key"}}},
      {"[Product]\nId=A\nName=\x93\xfa\n", {{3, "the line is not UTF-8"}}},
      {std::string("[Product]\nId=A\nName=a\0b\n", 24), {{3, "the line holds a NUL byte"}}},
  };
  for (const Case& c : cases) {
    ProductFile file;
    ParseProductFile(c.text, &file);
    EXPECT_EQ(file.faults, c.faults) << c.text;
  }
}

TEST(ProductFileTest, ReadBesideTheScriptAndFormattedAsTheCheckerDoes) {
  FakeSystem system;
  ProductFile file;
  EXPECT_TRUE(
      ReadProductFile(system, ProductFilePath("D:\\Dist"), &file).Is(StatusKind::kNotFound));
  EXPECT_EQ(file.path, "D:\\Dist\\Product.ini");

  system.AddFile("D:\\Dist\\Product.ini", "[Product]\nId=A\nRollback=on\n");
  ASSERT_TRUE(ReadProductFile(system, ProductFilePath("D:\\Dist"), &file).ok());
  EXPECT_EQ(FormatProductFaults("D:/Dist/Product.ini", file),
            "D:/Dist/Product.ini:3: error: Rollback must be yes or no, not 'on'\n");

  system.AddFile("D:\\Dist\\Product.ini", std::string(kProductFileLimit + 1, ';'));
  EXPECT_TRUE(
      ReadProductFile(system, ProductFilePath("D:\\Dist"), &file).Is(StatusKind::kReadError));
  system.AddFile("D:\\Dist\\Product.ini", "[Product]\nId=A\n");
  system.unreadable.insert("D:\\Dist\\Product.ini");
  EXPECT_TRUE(
      ReadProductFile(system, ProductFilePath("D:\\Dist"), &file).Is(StatusKind::kReadError));
}

}  // namespace
}  // namespace setup
