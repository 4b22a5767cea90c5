#include "platform/posix/pe_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/scoped_fd.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

constexpr std::uint64_t kMaxFileBytes = 256u << 20;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVersionInfoId = 1;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kNameIsStringBit = 0x80000000u;
// Languages in the order the Japanese Windows we imitate tries them.
constexpr std::uint32_t kLanguagePreference[] = {0x0000, 0x0411, 0x0409};

// Bounds-checked little-endian reads from a byte range. Offsets are 64-bit so that a sum
// of two 32-bit fields cannot wrap.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::uint64_t size) : data_(data), size_(size) {}

  std::uint64_t size() const { return size_; }
  bool Has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool U16(std::uint64_t offset, std::uint16_t* v) const {
    if (!Has(offset, 2)) return false;
    *v = static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t* v) const {
    if (!Has(offset, 4)) return false;
    *v = static_cast<std::uint32_t>(data_[offset]) |
         (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
    return true;
  }
  const std::uint8_t* At(std::uint64_t offset) const { return data_ + offset; }

 private:
  const std::uint8_t* data_;
  std::uint64_t size_;
};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t mapped_size;  // raw data present in the file
  std::uint32_t file_offset;
};

// The file offset of [rva, rva + length), which must lie in one section's raw data;
// `available` (if given) receives the bytes of that section from `rva` on.
bool MapRva(const std::vector<Section>& sections, std::uint64_t rva, std::uint64_t length,
            std::uint64_t* offset, std::uint64_t* available = nullptr) {
  for (const Section& s : sections) {
    if (rva >= s.virtual_address && rva - s.virtual_address <= s.mapped_size &&
        length <= s.mapped_size - (rva - s.virtual_address)) {
      *offset = s.file_offset + (rva - s.virtual_address);
      if (available != nullptr) *available = s.mapped_size - (rva - s.virtual_address);
      return true;
    }
  }
  return false;
}

// The entry of the resource directory at `dir` (an offset into `res`, the resource
// section from its directory on) whose numeric id is `id`; its OffsetToData goes to
// `target`.
bool FindEntryById(const Bytes& res, std::uint32_t dir, std::uint32_t id,
                   std::uint32_t* target) {
  std::uint16_t named = 0, ids = 0;
  if (!res.U16(std::uint64_t{dir} + 12, &named) || !res.U16(std::uint64_t{dir} + 14, &ids)) {
    return false;
  }
  std::uint64_t first = std::uint64_t{dir} + 16 + std::uint64_t{named} * 8;
  for (std::uint32_t i = 0; i < ids; ++i) {
    std::uint32_t name = 0, data = 0;
    if (!res.U32(first + i * 8, &name) || !res.U32(first + i * 8 + 4, &data)) return false;
    if ((name & kNameIsStringBit) == 0 && name == id) {
      *target = data;
      return true;
    }
  }
  return false;
}

bool FindFirstEntry(const Bytes& res, std::uint32_t dir, std::uint32_t* target) {
  std::uint16_t named = 0, ids = 0;
  if (!res.U16(std::uint64_t{dir} + 12, &named) || !res.U16(std::uint64_t{dir} + 14, &ids) ||
      named + ids == 0) {
    return false;
  }
  return res.U32(std::uint64_t{dir} + 20, target);
}

bool Subdirectory(std::uint32_t entry, std::uint32_t* dir) {
  if ((entry & kSubdirectoryBit) == 0) return false;
  *dir = entry & ~kSubdirectoryBit;
  return true;
}

}  // namespace

bool ParseVersionResource(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>* block) {
  block->clear();
  Bytes file(data, size);
  std::uint16_t mz = 0;
  std::uint32_t pe = 0, signature = 0;
  if (!file.U16(0, &mz) || mz != 0x5A4D || !file.U32(0x3C, &pe) ||
      !file.U32(pe, &signature) || signature != kPeSignature) {
    return false;
  }
  std::uint64_t coff = std::uint64_t{pe} + 4;
  std::uint16_t section_count = 0, optional_size = 0, magic = 0;
  if (!file.U16(coff + 2, &section_count) || !file.U16(coff + 16, &optional_size)) return false;
  std::uint64_t optional = coff + 20;
  if (!file.U16(optional, &magic)) return false;
  std::uint64_t count_offset, directories;
  if (magic == kPe32Magic) {
    count_offset = 92;
    directories = 96;
  } else if (magic == kPe32PlusMagic) {
    count_offset = 108;
    directories = 112;
  } else {
    return false;
  }
  std::uint32_t directory_count = 0, resource_rva = 0;
  std::uint64_t resource_entry = directories + kResourceDirectoryIndex * 8;
  if (optional_size < resource_entry + 8 || !file.U32(optional + count_offset, &directory_count) ||
      directory_count <= kResourceDirectoryIndex ||
      !file.U32(optional + resource_entry, &resource_rva) || resource_rva == 0) {
    return false;
  }

  std::vector<Section> sections;
  std::uint64_t table = optional + optional_size;
  for (std::uint32_t i = 0; i < section_count; ++i) {
    std::uint64_t header = table + std::uint64_t{i} * 40;
    std::uint32_t virtual_address = 0, raw_size = 0, raw_offset = 0;
    if (!file.U32(header + 12, &virtual_address) || !file.U32(header + 16, &raw_size) ||
        !file.U32(header + 20, &raw_offset)) {
      return false;
    }
    if (raw_offset >= file.size()) continue;
    std::uint64_t present = std::min<std::uint64_t>(raw_size, file.size() - raw_offset);
    sections.push_back({virtual_address, static_cast<std::uint32_t>(present), raw_offset});
  }

  // The resource tree: everything from the directory to the end of its section.
  std::uint64_t res_offset = 0, res_size = 0;
  if (!MapRva(sections, resource_rva, 16, &res_offset, &res_size)) return false;
  Bytes res(file.At(res_offset), res_size);

  std::uint32_t entry = 0, names_dir = 0, languages_dir = 0, data_entry = 0;
  if (!FindEntryById(res, 0, kRtVersion, &entry) || !Subdirectory(entry, &names_dir) ||
      !FindEntryById(res, names_dir, kVersionInfoId, &entry) ||
      !Subdirectory(entry, &languages_dir)) {
    return false;
  }
  bool found = false;
  for (std::uint32_t language : kLanguagePreference) {
    if (FindEntryById(res, languages_dir, language, &data_entry)) {
      found = true;
      break;
    }
  }
  if (!found && !FindFirstEntry(res, languages_dir, &data_entry)) return false;
  if ((data_entry & kSubdirectoryBit) != 0) return false;

  std::uint32_t data_rva = 0, data_size = 0;
  std::uint64_t data_offset = 0;
  if (!res.U32(data_entry, &data_rva) || !res.U32(std::uint64_t{data_entry} + 4, &data_size) ||
      data_size == 0 || !MapRva(sections, data_rva, data_size, &data_offset)) {
    return false;
  }
  block->assign(file.At(data_offset), file.At(data_offset) + data_size);
  return true;
}

bool ReadPeVersionBlock(const std::string& posix_path, std::vector<std::uint8_t>* block) {
  block->clear();
  ScopedFd fd(open(posix_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat status;
  if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0 ||
      static_cast<std::uint64_t>(status.st_size) > kMaxFileBytes) {
    return false;
  }
  std::vector<std::uint8_t> data(static_cast<std::size_t>(status.st_size));
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = read(fd.get(), data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // an error, or the file shrank: parse what was read
    done += static_cast<std::size_t>(n);
  }
  data.resize(done);
  return ParseVersionResource(data.data(), data.size(), block);
}

namespace {

// One node of a VS_VERSIONINFO tree: WORD wLength, WORD wValueLength, WORD wType, the
// NUL-terminated UTF-16 key, the value and the children, each DWORD-aligned.
struct VersionNode {
  std::uint64_t end = 0;  // offset after the node
  std::uint16_t value_length = 0;
  std::uint16_t type = 0;  // 1: text, wValueLength in characters; 0: binary, in bytes
  std::u16string key;
  std::uint64_t value = 0;     // offset of the value
  std::uint64_t children = 0;  // offset of the first child
};

std::uint64_t Align4(std::uint64_t offset) { return (offset + 3) & ~std::uint64_t{3}; }

// The node at `offset`, which must lie wholly before `limit` (its parent's end).
bool ReadVersionNode(const Bytes& bytes, std::uint64_t offset, std::uint64_t limit,
                     VersionNode* node) {
  std::uint16_t length = 0;
  if (limit > bytes.size() || offset > limit || limit - offset < 6 ||
      !bytes.U16(offset, &length) || length < 6 || length > limit - offset ||
      !bytes.U16(offset + 2, &node->value_length) || !bytes.U16(offset + 4, &node->type)) {
    return false;
  }
  node->end = offset + length;
  node->key.clear();
  std::uint64_t p = offset + 6;
  for (;;) {
    std::uint16_t unit = 0;
    if (p + 2 > node->end || !bytes.U16(p, &unit)) return false;
    p += 2;
    if (unit == 0) break;
    node->key.push_back(static_cast<char16_t>(unit));
  }
  node->value = Align4(p);
  std::uint64_t value_bytes =
      node->type == 1 ? std::uint64_t{node->value_length} * 2 : node->value_length;
  node->children = Align4(node->value + value_bytes);
  return true;
}

}  // namespace

bool QueryVersionBlock(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                       std::string* value) {
  value->clear();
  Bytes bytes(block.data(), block.size());
  std::u16string path;
  if (!Cp932ToUtf16(sub_block, &path)) return false;
  VersionNode node;
  if (!ReadVersionNode(bytes, 0, bytes.size(), &node)) return false;

  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t stop = std::min(path.find(u'\\', start), path.size());
    if (stop == start) {  // empty components are skipped, as Windows does
      ++start;
      continue;
    }
    std::u16string name = FoldCase(path.substr(start, stop - start));
    bool found = false;
    VersionNode child;
    // Each child is at least 6 bytes long, so the walk ends.
    for (std::uint64_t at = node.children; at < node.end; at = Align4(child.end)) {
      if (!ReadVersionNode(bytes, at, node.end, &child)) break;
      if (FoldCase(child.key) == name) {
        found = true;
        break;
      }
    }
    if (!found) return false;
    node = child;
    start = stop;
  }

  std::uint64_t available = node.value < node.end ? node.end - node.value : 0;
  if (available == 0) return true;  // an empty value
  if (node.type == 1) {
    std::uint64_t units = std::min<std::uint64_t>(node.value_length, available / 2);
    std::u16string text = Utf16FromLittleEndian(bytes.At(node.value), units);
    text.resize(std::min(text.size(), text.find(u'\0')));
    *value = Utf16ToCp932(text);
  } else {
    std::uint64_t length = std::min<std::uint64_t>(node.value_length, available);
    value->assign(reinterpret_cast<const char*>(bytes.At(node.value)), length);
  }
  return true;
}

}  // namespace setup
