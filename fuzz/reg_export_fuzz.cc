// What `wine reg export` wrote (untrusted: the server's file, in the prefix's temporary
// folder) turned into hive text and read by the hive parser; the text made must be a hive
// whenever it is not empty, and every key line it makes one the parser can read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/hive_file.h"
#include "platform/posix/reg_hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view exported(reinterpret_cast<const char*>(data), size);
  std::string hive = setup::RegExportToHiveText(exported);
  if (hive.empty()) return 0;
  if (!std::string_view(hive).starts_with("WINE REGISTRY Version 2\n")) __builtin_trap();
  setup::RegHiveKey root;
  std::vector<std::unique_ptr<setup::RegHiveKey>> keys;
  setup::ParseRegHive(hive, &root, &keys, nullptr);
  return 0;
}
