#include "platform/posix/ne_version.h"

#include <algorithm>

namespace setup {
namespace {

constexpr std::uint64_t kNeHeaderSize = 64;
constexpr std::uint64_t kResourceTableField = 0x24;  // ne_rsrctab, then ne_restab
constexpr std::uint16_t kRtVersion = 0x8010;         // RT_VERSION, an id (high bit)
constexpr std::uint16_t kVersionInfoId = 0x8001;
constexpr std::uint64_t kTypeInfoSize = 8;   // type id, count, loader
constexpr std::uint64_t kNameInfoSize = 12;  // offset, length, flags, id, handle, usage
// Offsets and lengths are 16-bit counts of 2^shift bytes that Windows keeps in 32 bits.
constexpr std::uint16_t kMaxAlignShift = 16;
constexpr std::uint32_t kFixedFileInfoSize = 52;

struct NeResource {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// The name entries of RT_VERSION: their first offset and count in `table`.
bool FindVersionType(const ByteView& table, std::uint64_t* names, std::uint16_t* count) {
  std::uint64_t at = 2;  // after the alignment shift
  for (;;) {
    std::uint16_t type = 0;
    if (!table.U16(at, &type) || type == 0 || !table.U16(at + 2, count)) return false;
    if (type == kRtVersion) {
      *names = at + kTypeInfoSize;
      return true;
    }
    at += kTypeInfoSize + std::uint64_t{*count} * kNameInfoSize;
  }
}

bool FindVersionResource(const ByteView& table, NeResource* resource) {
  std::uint16_t shift = 0, count = 0;
  std::uint64_t names = 0;
  if (!table.U16(0, &shift) || shift > kMaxAlignShift || !FindVersionType(table, &names, &count)) {
    return false;
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t entry = names + i * kNameInfoSize;
    std::uint16_t offset = 0, length = 0, id = 0;
    if (!table.U16(entry, &offset) || !table.U16(entry + 2, &length) ||
        !table.U16(entry + 6, &id)) {
      return false;
    }
    if (id == kVersionInfoId) {
      resource->offset = std::uint64_t{offset} << shift;
      resource->length = std::uint64_t{length} << shift;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseNeVersionResource(const ByteView& file, std::uint64_t ne_header,
                            std::vector<std::uint8_t>* block) {
  block->clear();
  std::uint16_t table_start = 0, table_end = 0;
  if (!file.Has(ne_header, kNeHeaderSize) ||
      !file.U16(ne_header + kResourceTableField, &table_start) ||
      !file.U16(ne_header + kResourceTableField + 2, &table_end) || table_end <= table_start ||
      !file.Has(ne_header + table_start, table_end - table_start)) {
    return false;
  }
  ByteView table(file.At(ne_header + table_start), table_end - table_start);
  NeResource resource;
  if (!FindVersionResource(table, &resource) || resource.length <= kFixedFileInfoSize) {
    return false;
  }
  // Windows reports (length - 52) * 4 bytes, in 32 bits, and reads no more than that.
  auto reported = static_cast<std::uint32_t>((resource.length - kFixedFileInfoSize) * 4);
  if (resource.offset >= file.size()) return false;
  std::uint64_t count =
      std::min<std::uint64_t>({resource.length, reported, file.size() - resource.offset});
  if (count == 0) return false;
  block->assign(file.At(resource.offset), file.At(resource.offset) + count);
  return true;
}

}  // namespace setup
