// Bytes read as an install record: refused as damaged or read whole. A record that is
// read is written again block by block and must read back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "record/install_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  setup::InstallRecord record;
  setup::Status status = setup::ParseInstallRecord(bytes, "fuzz.rec", &record);
  if (!status.ok()) {
    if (!status.Is(setup::StatusKind::kCorrupt) || !record.entries.empty()) __builtin_trap();
    return 0;
  }
  std::string block = record.entries.empty() ? std::string() : setup::EncodeBlock(record.entries);
  std::string again =
      setup::EncodeHeader(record.id, record.state, block.size(), block.empty() ? 0 : 1) + block;
  setup::InstallRecord reread;
  if (!setup::ParseInstallRecord(again, "again.rec", &reread).ok() ||
      reread.entries != record.entries || reread.id != record.id) {
    __builtin_trap();
  }
  return 0;
}
