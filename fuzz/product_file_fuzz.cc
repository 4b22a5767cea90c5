// Any bytes as a product file: every fault is listed, never a crash; a file without
// faults has an Id made only of the characters an Id may hold.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "record/product_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  setup::ProductFile file;
  setup::ParseProductFile(text, &file);
  if (file.faults.empty()) {
    if (file.info.id.empty() || file.info.id.size() > setup::kProductIdLimit) __builtin_trap();
    for (char c : file.info.id) {
      bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '-' || c == '_' || c == '{' || c == '}';
      if (!allowed) __builtin_trap();
    }
  }
  setup::FormatProductFaults("Product.ini", file);
  return 0;
}
