// The product file: Product.ini beside Setup.Inf, the opt-in to the install record, the
// uninstall entry and rollback. Without it a run is what it has always been.
//
//   [Product]
//   Id=Example.App          required: the uninstall entry's key; letters, digits, . - _ { }
//   Name=Example            default: the window title
//   Version=1.2.0
//   Publisher=Example Ltd
//   URL=https://example.org
//   Rollback=yes            yes (the default) or no
//
// UTF-8, a byte-order mark allowed, CR LF or LF line ends; a line beginning with ';' or
// '#' is a comment; keys compare without case; blanks around a key and its value are
// dropped. Sections other than [Product] are ignored. Every fault is found, not only the
// first, so that a checker can list them all.
#ifndef SETUP_RECORD_PRODUCT_FILE_H_
#define SETUP_RECORD_PRODUCT_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace setup {

class System;

// The values of [Product], UTF-8. `name` is empty when the file gives none: the run
// then takes its window title.
struct ProductInfo {
  std::string id;
  std::string name;
  std::string version;
  std::string publisher;
  std::string url;
  bool rollback = true;
};

struct ProductFault {
  int line;  // counted from 1; 0 for the file as a whole
  std::string text;

  bool operator==(const ProductFault&) const = default;
};

struct ProductFile {
  std::string path;  // code-page bytes, as System takes it
  ProductInfo info;
  std::vector<ProductFault> faults;  // in line order; the info counts only when empty
};

// The name of the product file in a program directory.
inline constexpr const char* kProductFileName = "Product.ini";
// Its size is bounded: a larger file is refused unread.
inline constexpr std::size_t kProductFileLimit = 64 * 1024;
// An Id or a value of more bytes than these is refused.
inline constexpr std::size_t kProductIdLimit = 128;
inline constexpr std::size_t kProductValueLimit = 255;

// Parses the text of a product file. Never fails on any input: a fault is listed.
void ParseProductFile(std::string_view text, ProductFile* file);

// `program_dir`\Product.ini.
inline std::string ProductFilePath(const std::string& program_dir) {
  return program_dir + "\\" + kProductFileName;
}

// Reads the product file at `path` through `system`. kNotFound when there is none (the
// run is then what it has always been), kReadError when it cannot be read whole within
// kProductFileLimit bytes; otherwise ok, with the faults (if any) listed in `file`.
Status ReadProductFile(System& system, const std::string& path, ProductFile* file);

// "PATH:LINE: error: TEXT\n" for each fault, PATH as given (UTF-8): the checker's form.
std::string FormatProductFaults(const std::string& path_utf8, const ProductFile& file);

}  // namespace setup

#endif  // SETUP_RECORD_PRODUCT_FILE_H_
