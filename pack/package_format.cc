#include "pack/package_format.h"

#include <algorithm>
#include <cstring>

namespace setup::pack {
namespace {

Status Corrupt(const char* reason) { return Status(StatusKind::kCorrupt, reason); }

void PutU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}
void PutU64(std::string* out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}
void PutDigest(std::string* out, const Sha256::Digest& d) {
  out->append(reinterpret_cast<const char*>(d.data()), d.size());
}

std::uint64_t GetLe(std::string_view bytes, std::size_t at, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) {
    v = (v << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return v;
}

// Reads fields one after another; any read past the end fails the whole cursor.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  std::size_t left() const { return ok_ ? bytes_.size() - at_ : 0; }
  std::uint64_t Number(int width) {
    if (!Take(static_cast<std::size_t>(width))) return 0;
    return GetLe(bytes_, at_ - static_cast<std::size_t>(width), width);
  }
  std::string_view Bytes(std::size_t n) {
    if (!Take(n)) return {};
    return bytes_.substr(at_ - n, n);
  }
  void Digest(Sha256::Digest* d) {
    std::string_view b = Bytes(d->size());
    if (ok_) std::memcpy(d->data(), b.data(), d->size());
  }

 private:
  bool Take(std::size_t n) {
    if (!ok_ || bytes_.size() - at_ < n) return ok_ = false;
    at_ += n;
    return true;
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

constexpr std::size_t kTableHeaderSize = 4 + 4 + 1 + kLzmaPropsSize + 4 + 4 + 4 + 32;
constexpr std::size_t kBlockEntrySize = 8 + 8 + 4 + 32;
constexpr std::size_t kFileEntryMinSize = 2 + 8 + 8 + 8 + 32;

// Checks the blocks' places and sizes and sets their starts.
Status CheckBlocks(Table& table, const Trailer& trailer, std::uint64_t* total) {
  std::uint64_t at = trailer.loader_size;
  *total = 0;
  for (BlockEntry& b : table.blocks) {
    if (b.offset != at) return Corrupt("a block is not where the one before it ends");
    if (b.compressed_size > trailer.table_offset - at)
      return Corrupt("a block runs past the table");
    if (b.size == 0 || b.size > table.block_size) return Corrupt("a block has a wrong size");
    // LZMA grows incompressible data by a little; more than this is no block of ours.
    if (b.compressed_size > b.size + b.size / 16 + 65536) return Corrupt("a block is too large");
    if (table.method == Method::kStored && b.compressed_size != b.size) {
      return Corrupt("a stored block has a wrong size");
    }
    at += b.compressed_size;
    b.start = *total;
    *total += b.size;
  }
  if (at != trailer.table_offset) return Corrupt("the blocks do not end where the table begins");
  return Status::Ok();
}

Status CheckFile(const FileEntry& f, std::uint64_t total) {
  if (f.name.empty() || f.name.size() > kMaxNameSize) return Corrupt("a name has a wrong size");
  if (f.name.find('\0') != std::string::npos) return Corrupt("a name holds a NUL byte");
  if (f.position > total || f.size > total - f.position) {
    return Corrupt("a file lies outside the blocks");
  }
  return Status::Ok();
}

}  // namespace

std::size_t FindBlock(const Table& table, std::uint64_t position) {
  auto after = std::upper_bound(table.blocks.begin(), table.blocks.end(), position,
                                [](std::uint64_t p, const BlockEntry& b) { return p < b.start; });
  if (after == table.blocks.begin()) return table.blocks.size();
  std::size_t index = static_cast<std::size_t>(after - table.blocks.begin()) - 1;
  const BlockEntry& b = table.blocks[index];
  return position - b.start < b.size ? index : table.blocks.size();
}

std::string EncodeTrailer(const Trailer& t) {
  std::string out(kTrailerMagic, sizeof kTrailerMagic);
  PutU32(&out, kFormatVersion);
  PutU32(&out, static_cast<std::uint32_t>(kTrailerSize));
  PutU64(&out, t.loader_size);
  PutU64(&out, t.table_offset);
  PutU64(&out, t.table_size);
  PutDigest(&out, t.table_sha256);
  out.append(kTrailerMagic, sizeof kTrailerMagic);
  return out;
}

Status DecodeTrailer(std::string_view bytes, Trailer* t) {
  if (bytes.size() != kTrailerSize) return Corrupt("no package trailer");
  std::string_view magic(kTrailerMagic, sizeof kTrailerMagic);
  if (bytes.substr(0, 8) != magic || bytes.substr(kTrailerSize - 8) != magic) {
    return Corrupt("no package trailer");
  }
  Cursor c(bytes.substr(8));
  if (c.Number(4) != kFormatVersion || c.Number(4) != kTrailerSize) {
    return Corrupt("a package of another version");
  }
  t->loader_size = c.Number(8);
  t->table_offset = c.Number(8);
  t->table_size = c.Number(8);
  c.Digest(&t->table_sha256);
  if (t->table_offset < t->loader_size || t->table_size > kMaxTableSize) {
    return Corrupt("the trailer's offsets are out of range");
  }
  return Status::Ok();
}

std::string EncodeTable(const Table& table) {
  std::string out(kTableMagic, sizeof kTableMagic);
  PutU32(&out, kFormatVersion);
  out.push_back(static_cast<char>(table.method));
  out.append(reinterpret_cast<const char*>(table.lzma_props.data()), kLzmaPropsSize);
  PutU32(&out, table.block_size);
  PutU32(&out, static_cast<std::uint32_t>(table.blocks.size()));
  PutU32(&out, static_cast<std::uint32_t>(table.files.size()));
  PutDigest(&out, table.loader_sha256);
  for (const BlockEntry& b : table.blocks) {
    PutU64(&out, b.offset);
    PutU64(&out, b.compressed_size);
    PutU32(&out, b.size);
    PutDigest(&out, b.sha256);
  }
  for (const FileEntry& f : table.files) {
    out.push_back(static_cast<char>(f.name.size() & 0xff));
    out.push_back(static_cast<char>(f.name.size() >> 8));
    out += f.name;
    PutU64(&out, f.size);
    PutU64(&out, f.position);
    PutU64(&out, static_cast<std::uint64_t>(f.mtime_ns));
    PutDigest(&out, f.sha256);
  }
  return out;
}

Status DecodeTable(std::string_view bytes, const Trailer& trailer, Table* table) {
  Cursor c(bytes);
  if (bytes.size() < kTableHeaderSize || c.Bytes(4) != std::string_view(kTableMagic, 4) ||
      c.Number(4) != kFormatVersion) {
    return Corrupt("no package table");
  }
  std::uint64_t method = c.Number(1);
  if (method > static_cast<std::uint64_t>(Method::kLzma)) return Corrupt("an unknown method");
  table->method = static_cast<Method>(method);
  std::string_view props = c.Bytes(kLzmaPropsSize);
  std::memcpy(table->lzma_props.data(), props.data(), kLzmaPropsSize);
  table->block_size = static_cast<std::uint32_t>(c.Number(4));
  std::uint64_t blocks = c.Number(4);
  std::uint64_t files = c.Number(4);
  c.Digest(&table->loader_sha256);
  if (table->block_size == 0 || table->block_size > kMaxBlockSize) {
    return Corrupt("a wrong block size");
  }
  const std::uint8_t* p = table->lzma_props.data();
  std::uint32_t dictionary = p[1] | p[2] << 8 | p[3] << 16 | static_cast<std::uint32_t>(p[4]) << 24;
  if (table->method == Method::kLzma && (p[0] >= 9 * 5 * 5 || dictionary > kMaxDictionary)) {
    return Corrupt("LZMA properties out of range");
  }
  if (blocks > c.left() / kBlockEntrySize ||
      files > (c.left() - blocks * kBlockEntrySize) / kFileEntryMinSize) {
    return Corrupt("more entries than the table holds");
  }
  table->blocks.assign(static_cast<std::size_t>(blocks), BlockEntry());
  for (BlockEntry& b : table->blocks) {
    b.offset = c.Number(8);
    b.compressed_size = c.Number(8);
    b.size = static_cast<std::uint32_t>(c.Number(4));
    c.Digest(&b.sha256);
  }
  std::uint64_t total = 0;
  if (Status s = CheckBlocks(*table, trailer, &total); !s.ok()) return s;
  table->files.assign(static_cast<std::size_t>(files), FileEntry());
  for (FileEntry& f : table->files) {
    std::size_t name_size = static_cast<std::size_t>(c.Number(2));
    f.name = std::string(c.Bytes(name_size));
    f.size = c.Number(8);
    f.position = c.Number(8);
    f.mtime_ns = static_cast<std::int64_t>(c.Number(8));
    c.Digest(&f.sha256);
    if (!c.ok()) return Corrupt("the table ends inside an entry");
    if (Status s = CheckFile(f, total); !s.ok()) return s;
  }
  if (!c.ok() || c.left() != 0) return Corrupt("the table has bytes after its entries");
  return Status::Ok();
}

std::string EncodeEnvelope(Method method, const std::array<std::uint8_t, kLzmaPropsSize>& props,
                           std::size_t table_size, std::string_view stored) {
  std::string out(1, static_cast<char>(method));
  PutU32(&out, static_cast<std::uint32_t>(table_size));
  out.append(reinterpret_cast<const char*>(props.data()), props.size());
  out.append(stored);
  return out;
}

Status DecodeEnvelope(std::string_view bytes, Envelope* envelope) {
  Cursor c(bytes);
  std::uint64_t method = c.Number(1);
  envelope->table_size = static_cast<std::uint32_t>(c.Number(4));
  std::string_view props = c.Bytes(kLzmaPropsSize);
  if (!c.ok() || method > static_cast<std::uint64_t>(Method::kLzma) ||
      envelope->table_size > kMaxTableSize) {
    return Corrupt("no package table");
  }
  envelope->method = static_cast<Method>(method);
  std::memcpy(envelope->props.data(), props.data(), kLzmaPropsSize);
  envelope->stored = bytes.substr(kEnvelopeHeaderSize);
  if (envelope->method == Method::kStored && envelope->stored.size() != envelope->table_size) {
    return Corrupt("no package table");
  }
  return Status::Ok();
}

std::uint64_t SymbolTableEnd(std::string_view head) {
  if (head.size() < 0x40) return 0;
  std::uint64_t pe = GetLe(head, 0x3c, 4);
  if (pe > head.size() || head.size() - pe < 24) return 0;
  std::uint64_t pointer = GetLe(head, static_cast<std::size_t>(pe) + 12, 4);
  std::uint64_t count = GetLe(head, static_cast<std::size_t>(pe) + 16, 4);
  return pointer == 0 ? 0 : pointer + 18 * count;
}

Status ParsePeLayout(std::string_view head, std::uint64_t file_size,
                     std::uint32_t string_table_size, PeLayout* layout) {
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return Corrupt("no PE file");
  std::size_t pe = static_cast<std::size_t>(GetLe(head, 0x3c, 4));
  if (pe > head.size() || head.size() - pe < 24 ||
      head.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
    return Corrupt("no PE file");
  }
  std::size_t sections = static_cast<std::size_t>(GetLe(head, pe + 6, 2));
  std::size_t optional_size = static_cast<std::size_t>(GetLe(head, pe + 20, 2));
  std::size_t optional = pe + 24;
  std::size_t table = optional + optional_size;
  if (optional_size < 2 || table + sections * 40 > head.size()) return Corrupt("no PE file");
  std::uint64_t magic = GetLe(head, optional, 2);
  std::size_t directories = optional + (magic == 0x20b ? 112 : 96);
  if ((magic != 0x10b && magic != 0x20b) || directories + 5 * 8 > table) {
    return Corrupt("no PE file");
  }
  layout->checksum_offset = static_cast<std::uint32_t>(optional + 64);
  layout->security_entry_offset = static_cast<std::uint32_t>(directories + 4 * 8);
  std::uint64_t end = table + sections * 40;
  for (std::size_t i = 0; i < sections; ++i) {
    std::size_t s = table + i * 40;
    end = std::max(end, GetLe(head, s + 20, 4) + GetLe(head, s + 16, 4));
  }
  std::uint64_t symbols = SymbolTableEnd(head);
  if (symbols != 0) end = std::max(end, symbols + string_table_size);
  layout->image_end = end;
  std::uint64_t cert = GetLe(head, layout->security_entry_offset, 4);
  std::uint64_t cert_size = GetLe(head, layout->security_entry_offset + 4, 4);
  layout->payload_end = file_size;
  if (cert != 0 || cert_size != 0) {
    if (cert > file_size || file_size - cert != cert_size) {
      return Corrupt("the certificate table does not end the file");
    }
    layout->payload_end = cert;
  }
  if (layout->image_end > layout->payload_end) return Corrupt("the file is shorter than its image");
  return Status::Ok();
}

Sha256::Digest LoaderDigest(std::string_view loader, const PeLayout& layout) {
  std::string copy(loader);
  auto zero = [&copy](std::size_t at, std::size_t n) {
    if (at <= copy.size() && copy.size() - at >= n) std::memset(copy.data() + at, 0, n);
  };
  zero(layout.checksum_offset, 4);
  zero(layout.security_entry_offset, 8);
  return Sha256::Of(copy);
}

}  // namespace setup::pack
