#include "pack/package_reader.h"

#include <algorithm>
#include <cstring>

namespace setup::pack {
namespace {

// The PE headers and section table of a Setup.exe lie in its first page.
constexpr std::size_t kHeadSize = 4096;
constexpr std::size_t kVerifyChunk = 1 << 20;

Status Corrupt(const char* reason) { return Status(StatusKind::kCorrupt, reason); }

bool ReadString(ByteSource& source, std::uint64_t offset, std::size_t size, std::string* out) {
  out->assign(size, '\0');
  return size == 0 || source.ReadAt(offset, out->data(), size);
}

// Hashes `size` bytes of `source` from `offset`, a chunk at a time.
bool HashRange(ByteSource& source, std::uint64_t offset, std::uint64_t size, Sha256* sha) {
  std::string chunk;
  while (size > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kVerifyChunk));
    if (!ReadString(source, offset, n, &chunk)) return false;
    sha->Update(chunk.data(), n);
    offset += n;
    size -= n;
  }
  return true;
}

Status ReadLayout(ByteSource& source, PeLayout* layout) {
  std::string head;
  std::size_t head_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), kHeadSize));
  if (!ReadString(source, 0, head_size, &head)) return Status(StatusKind::kReadError);
  std::uint32_t strings = 0;
  std::uint64_t symbols = SymbolTableEnd(head);
  if (symbols != 0 && symbols <= source.Size() && source.Size() - symbols >= 4) {
    unsigned char size[4];
    if (!source.ReadAt(symbols, size, 4)) return Status(StatusKind::kReadError);
    strings = size[0] | size[1] << 8 | size[2] << 16 | static_cast<std::uint32_t>(size[3]) << 24;
  }
  return ParsePeLayout(head, source.Size(), strings, layout);
}

// A file of the package, read through the package's decoded block.
class PackedInput : public InputFile {
 public:
  PackedInput(Package& package, const FileEntry& file)
      : package_(package), file_(file), kept_(package.Kept(file)) {
    keep_ = kept_ == nullptr && package.Shared(file) && file.size <= Package::kKeptLimit;
  }

  std::ptrdiff_t Read(void* buffer, std::size_t size) override {
    if (failed_) return -1;
    std::uint64_t left = file_.size - done_;
    if (left == 0 || size == 0) return 0;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
    if (kept_ != nullptr) {
      std::memcpy(buffer, kept_->data() + done_, n);
    } else if (!package_.ReadUncompressed(file_.position + done_, buffer, n)) {
      return Fail();
    }
    sha_.Update(buffer, n);
    if (keep_) collected_.append(static_cast<const char*>(buffer), n);
    done_ += n;
    if (done_ == file_.size) {
      if (sha_.Finish() != file_.sha256) return Fail();
      if (keep_) package_.Keep(file_, std::move(collected_));
    }
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::ptrdiff_t Fail() {
    failed_ = true;
    return -1;
  }
  Package& package_;
  const FileEntry& file_;
  const std::string* kept_;
  bool keep_ = false;
  std::string collected_;
  Sha256 sha_;
  std::uint64_t done_ = 0;
  bool failed_ = false;
};

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
  std::memcpy(buffer, bytes_.data() + offset, size);
  return true;
}

Status Package::Open(ByteSource& source, std::unique_ptr<Package>* package) {
  package->reset();
  PeLayout layout;
  if (Status s = ReadLayout(source, &layout); !s.ok()) return s;
  // A plain Setup.exe; signed, the signer may have padded it to a multiple of 8 bytes.
  std::uint64_t overlay = layout.payload_end - layout.image_end;
  if (overlay < 8) {
    char padding[8] = {};
    std::string_view zeros("\0\0\0\0\0\0\0", overlay);
    if (overlay > 0 && !source.ReadAt(layout.image_end, padding, overlay)) {
      return Status(StatusKind::kReadError);
    }
    if (std::string_view(padding, overlay) == zeros) return Status::Ok();
  }
  if (layout.payload_end - layout.image_end < kTrailerSize || layout.payload_end % 8 != 0) {
    return Corrupt("no package trailer");
  }
  std::string bytes;
  if (!ReadString(source, layout.payload_end - kTrailerSize, kTrailerSize, &bytes)) {
    return Status(StatusKind::kReadError);
  }
  Trailer trailer;
  if (Status s = DecodeTrailer(bytes, &trailer); !s.ok()) return s;
  std::uint64_t table_end = trailer.table_offset + trailer.table_size;
  std::uint64_t trailer_at = layout.payload_end - kTrailerSize;
  if (trailer.loader_size != layout.image_end || table_end > trailer_at ||
      trailer_at - table_end >= 8) {
    return Corrupt("the trailer's offsets are out of range");
  }
  if (!ReadString(source, trailer.table_offset, static_cast<std::size_t>(trailer.table_size),
                  &bytes)) {
    return Status(StatusKind::kReadError);
  }
  if (Sha256::Of(bytes) != trailer.table_sha256) return Corrupt("the table's checksum is wrong");
  Envelope envelope;
  if (Status s = DecodeEnvelope(bytes, &envelope); !s.ok()) return s;
  // A stored table is read where it lies; a compressed one is decoded into `decoded`.
  std::string decoded;
  std::string_view table = envelope.stored;
  if (envelope.method == Method::kLzma) {
    if (!DecodeLzmaWhole(envelope.props, envelope.stored, envelope.table_size, &decoded)) {
      return Corrupt("the table cannot be decoded");
    }
    table = decoded;
  }
  std::unique_ptr<Package> opened(new Package(source, layout, trailer));
  if (Status s = DecodeTable(table, trailer, &opened->table_); !s.ok()) return s;
  for (const FileEntry& file : opened->table_.files) {
    if (file.size > 0) ++opened->names_at_[file.position];
  }
  *package = std::move(opened);
  return Status::Ok();
}

Status Package::Verify() {
  std::string loader;
  if (!ReadString(source_, 0, static_cast<std::size_t>(trailer_.loader_size), &loader)) {
    return Status(StatusKind::kReadError);
  }
  if (LoaderDigest(loader, layout_) != table_.loader_sha256) {
    return Corrupt("the loader is not the one packed");
  }
  for (const BlockEntry& block : table_.blocks) {
    Sha256 sha;
    if (!HashRange(source_, block.offset, block.compressed_size, &sha)) {
      return Status(StatusKind::kReadError);
    }
    if (sha.Finish() != block.sha256) return Corrupt("a block's checksum is wrong");
  }
  return Status::Ok();
}

// The read-ahead serves a position at or ahead of its own, up to the block after the
// one it reads; anything else starts it again there. `index`: the block that holds
// `position`. False for bytes that cannot be had.
bool Package::ReadFromAhead(std::size_t index, std::uint64_t position, void* buffer,
                            std::size_t size) {
  if (!ahead_.running() || position < ahead_.position() || index > ahead_.block() + 1) {
    if (!ahead_.Start(position)) {
      read_ahead_ = false;  // no thread to be had: decode here from now on
      return ReadUncompressed(position, buffer, size);
    }
  }
  return ahead_.Read(nullptr, static_cast<std::size_t>(position - ahead_.position())) &&
         ahead_.Read(buffer, size);
}

bool Package::ReadUncompressed(std::uint64_t position, void* buffer, std::size_t size) {
  if (size == 0) return true;
  // Checked before the read-ahead, whose Start would fail there and so turn it off.
  std::size_t first = FindBlock(table_, position);
  if (first >= table_.blocks.size()) return false;
  if (read_ahead_ && ahead_.Suits()) return ReadFromAhead(first, position, buffer, size);
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    std::size_t index = FindBlock(table_, position);
    if (index >= table_.blocks.size()) return false;
    const BlockEntry& block = table_.blocks[index];
    std::uint64_t offset = position - block.start;
    if (!stream_.started() || stream_block_ != index || stream_.position() > offset) {
      if (!stream_.Start(source_, table_, block)) return false;
      stream_block_ = index;
    }
    if (!stream_.Read(nullptr, static_cast<std::size_t>(offset - stream_.position()))) return false;
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, block.size - offset));
    if (!stream_.Read(out, n)) return false;
    out += n;
    position += n;
    size -= n;
  }
  return true;
}

bool Package::Shared(const FileEntry& file) const {
  auto found = names_at_.find(file.position);
  return found != names_at_.end() && found->second > 1;
}

const std::string* Package::Kept(const FileEntry& file) const {
  auto found = kept_.find(file.position);
  return found != kept_.end() && found->second.size() >= file.size ? &found->second : nullptr;
}

void Package::Keep(const FileEntry& file, std::string bytes) {
  if (kept_.count(file.position) != 0 || bytes.size() > kKeptLimit - kept_size_) return;
  kept_size_ += bytes.size();
  kept_.emplace(file.position, std::move(bytes));
}

std::unique_ptr<InputFile> Package::OpenFile(std::size_t index) {
  if (index >= table_.files.size()) return nullptr;
  return std::make_unique<PackedInput>(*this, table_.files[index]);
}

}  // namespace setup::pack
