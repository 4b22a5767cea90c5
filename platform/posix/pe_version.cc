#include "platform/posix/pe_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/byte_view.h"
#include "platform/posix/ne_version.h"
#include "platform/posix/scoped_fd.h"

namespace setup {
namespace {

constexpr std::uint64_t kMaxFileBytes = 256u << 20;
constexpr std::uint16_t kMzSignature = 0x5A4D;      // "MZ"
constexpr std::uint16_t kNeSignature = 0x454E;      // "NE"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVersionInfoId = 1;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kNameIsStringBit = 0x80000000u;
// Languages in the order the Japanese Windows we imitate tries them: neutral, the
// locale's language, that language with the neutral sublanguage, US English.
constexpr std::uint32_t kLanguagePreference[] = {0x0000, 0x0411, 0x0011, 0x0409};

struct Section {
  std::uint32_t virtual_address;
  std::uint32_t mapped_size;  // raw data present in the file
  std::uint32_t file_offset;
};

// What the PE headers say about the resources: the sections and the resource RVA.
struct PeLayout {
  std::vector<Section> sections;
  std::uint32_t resource_rva = 0;
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
bool FindEntryById(const ByteView& res, std::uint32_t dir, std::uint32_t id,
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

bool FindFirstEntry(const ByteView& res, std::uint32_t dir, std::uint32_t* target) {
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

// The resource RVA from the optional header that follows the COFF header at `coff`.
bool ReadResourceRva(const ByteView& file, std::uint64_t coff, std::uint32_t* rva) {
  std::uint16_t optional_size = 0, magic = 0;
  std::uint64_t optional = coff + 20;
  if (!file.U16(coff + 16, &optional_size) || !file.U16(optional, &magic)) return false;
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
  std::uint32_t directory_count = 0;
  std::uint64_t resource_entry = directories + kResourceDirectoryIndex * 8;
  return optional_size >= resource_entry + 8 &&
         file.U32(optional + count_offset, &directory_count) &&
         directory_count > kResourceDirectoryIndex && file.U32(optional + resource_entry, rva) &&
         *rva != 0;
}

// The headers of the PE image whose signature is at `pe`.
bool ReadPeLayout(const ByteView& file, std::uint64_t pe, PeLayout* layout) {
  std::uint32_t signature = 0;
  std::uint16_t section_count = 0, optional_size = 0;
  std::uint64_t coff = pe + 4;
  if (!file.U32(pe, &signature) || signature != kPeSignature ||
      !file.U16(coff + 2, &section_count) || !file.U16(coff + 16, &optional_size) ||
      !ReadResourceRva(file, coff, &layout->resource_rva)) {
    return false;
  }
  std::uint64_t table = coff + 20 + optional_size;
  for (std::uint32_t i = 0; i < section_count; ++i) {
    std::uint64_t header = table + std::uint64_t{i} * 40;
    std::uint32_t virtual_address = 0, raw_size = 0, raw_offset = 0;
    if (!file.U32(header + 12, &virtual_address) || !file.U32(header + 16, &raw_size) ||
        !file.U32(header + 20, &raw_offset)) {
      return false;
    }
    if (raw_offset >= file.size()) continue;
    std::uint64_t present = std::min<std::uint64_t>(raw_size, file.size() - raw_offset);
    layout->sections.push_back({virtual_address, static_cast<std::uint32_t>(present), raw_offset});
  }
  return true;
}

// The data entry of the version resource in the resource tree `res`: type RT_VERSION,
// name 1, the preferred language.
bool FindVersionDataEntry(const ByteView& res, std::uint32_t* data_entry) {
  std::uint32_t entry = 0, names_dir = 0, languages_dir = 0;
  if (!FindEntryById(res, 0, kRtVersion, &entry) || !Subdirectory(entry, &names_dir) ||
      !FindEntryById(res, names_dir, kVersionInfoId, &entry) ||
      !Subdirectory(entry, &languages_dir)) {
    return false;
  }
  bool found = false;
  for (std::uint32_t language : kLanguagePreference) {
    if (FindEntryById(res, languages_dir, language, data_entry)) {
      found = true;
      break;
    }
  }
  if (!found && !FindFirstEntry(res, languages_dir, data_entry)) return false;
  return (*data_entry & kSubdirectoryBit) == 0;
}

bool ParsePeVersionResource(const ByteView& file, std::uint64_t pe,
                            std::vector<std::uint8_t>* block) {
  PeLayout layout;
  if (!ReadPeLayout(file, pe, &layout)) return false;
  // The resource tree: everything from the directory to the end of its section.
  std::uint64_t res_offset = 0, res_size = 0;
  if (!MapRva(layout.sections, layout.resource_rva, 16, &res_offset, &res_size)) return false;
  ByteView res(file.At(res_offset), res_size);
  std::uint32_t data_entry = 0, data_rva = 0, data_size = 0;
  std::uint64_t data_offset = 0;
  if (!FindVersionDataEntry(res, &data_entry) || !res.U32(data_entry, &data_rva) ||
      !res.U32(std::uint64_t{data_entry} + 4, &data_size) || data_size == 0 ||
      !MapRva(layout.sections, data_rva, data_size, &data_offset)) {
    return false;
  }
  block->assign(file.At(data_offset), file.At(data_offset) + data_size);
  return true;
}

}  // namespace

bool ParseVersionResource(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>* block) {
  block->clear();
  ByteView file(data, size);
  std::uint16_t mz = 0, signature = 0;
  std::uint32_t header = 0;
  if (!file.U16(0, &mz) || mz != kMzSignature || !file.U32(0x3C, &header) ||
      !file.U16(header, &signature)) {
    return false;
  }
  if (signature == kNeSignature) return ParseNeVersionResource(file, header, block);
  return ParsePeVersionResource(file, header, block);
}

bool ReadFileVersionBlock(const std::string& posix_path, std::vector<std::uint8_t>* block) {
  block->clear();
  ScopedFd fd(open(posix_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat status;
  if (fstat(fd.get(), &status) != 0) return false;
  if (!S_ISREG(status.st_mode) || status.st_size < 0 ||
      static_cast<std::uint64_t>(status.st_size) > kMaxFileBytes) {
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
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
  if (ParseVersionResource(data.data(), data.size(), block)) return true;
  errno = ENOENT;  // no version resource
  return false;
}

}  // namespace setup
