// Executables and version blocks: the input is parsed as a PE or NE file, and the block found
// (or the input itself, as a bare block) is queried like the version condition does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/pe_version.h"
#include "platform/posix/version_block.h"

namespace {

void QueryLikeTheCondition(const std::vector<std::uint8_t>& block) {
  std::string value;
  setup::QueryVersionBlock(block, "\\", &value);
  if (!setup::QueryVersionBlock(block, "\\VarFileInfo\\Translation", &value) || value.size() < 4) {
    setup::QueryVersionBlock(block, "\\StringFileInfo\\040904B0\\FileVersion", &value);
    return;
  }
  auto byte = [&value](int i) {
    return static_cast<unsigned>(static_cast<unsigned char>(value[i]));
  };
  char path[64];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\ProductVersion",
                byte(0) | (byte(1) << 8), byte(2) | (byte(3) << 8));
  setup::QueryVersionBlock(block, path, &value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> block;
  if (setup::ParseVersionResource(data, size, &block)) QueryLikeTheCondition(block);
  QueryLikeTheCondition(std::vector<std::uint8_t>(data, data + size));
  return 0;
}
