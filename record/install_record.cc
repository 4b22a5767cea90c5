#include "record/install_record.h"

#include <cstring>
#include <tuple>

#include "platform/system.h"

namespace setup {
namespace {

constexpr char kMagic[8] = {'S', 'E', 'T', 'U', 'P', 'R', 'E', 'C'};
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderDigestAt = kRecordHeaderSize - 32;
constexpr std::size_t kHeaderFieldsAt = 448;  // state, committed, blocks
constexpr std::size_t kDigestSize = 32;       // a block's or the header's SHA-256
constexpr std::size_t kFileDigestSize = std::tuple_size_v<FileDigest::Digest>;
constexpr unsigned kKnownFlags = 1 | 2 | 4;

void PutInt(std::string* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string* out, const std::string& text) {
  PutInt(out, text.size(), 2);
  out->append(text);
}

template <typename Digest>
void PutDigest(std::string* out, const Digest& digest) {
  out->append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

// A cursor over bytes that fails, once and for good, on reading past the end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  bool at_end() const { return at_ == bytes_.size(); }
  std::uint64_t Int(int bytes) {
    if (!Have(static_cast<std::size_t>(bytes))) return 0;
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
      value |= std::uint64_t{static_cast<unsigned char>(bytes_[at_ + i])} << (8 * i);
    }
    at_ += static_cast<std::size_t>(bytes);
    return value;
  }
  std::string_view Bytes(std::size_t n) {
    if (!Have(n)) return {};
    std::string_view out = bytes_.substr(at_, n);
    at_ += n;
    return out;
  }
  std::string Text() {
    std::size_t n = static_cast<std::size_t>(Int(2));
    return std::string(Bytes(n));
  }

 private:
  bool Have(std::size_t n) {
    if (ok_ && bytes_.size() - at_ >= n) return true;
    ok_ = false;
    return false;
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

bool SameDigest(std::string_view stored, const Sha256::Digest& computed) {
  return stored.size() == kDigestSize && std::memcmp(stored.data(), computed.data(), 32) == 0;
}

bool ParseEntries(std::string_view payload, std::vector<RecordEntry>* entries) {
  Reader in(payload);
  while (in.ok() && !in.at_end()) {
    RecordEntry entry;
    auto kind = static_cast<std::uint8_t>(in.Int(1));
    if (kind < 1 || kind > static_cast<std::uint8_t>(RecordKind::kFileDigest)) return false;
    entry.kind = static_cast<RecordKind>(kind);
    auto flags = static_cast<std::uint8_t>(in.Int(1));
    if ((flags & ~kKnownFlags) != 0) return false;
    entry.existed_before = (flags & 1) != 0;
    entry.program = (flags & 2) != 0;
    entry.no_digest = (flags & 4) != 0;
    entry.path = in.Text();
    entry.aside = in.Text();
    entry.size = in.Int(8);
    std::string_view digest = in.Bytes(kFileDigestSize);
    if (!in.ok()) return false;
    std::memcpy(entry.digest.data(), digest.data(), kFileDigestSize);
    entries->push_back(std::move(entry));
  }
  return in.ok();
}

bool ParseHeader(std::string_view bytes, InstallRecord* record) {
  if (bytes.size() < kRecordHeaderSize) return false;
  std::string_view header = bytes.substr(0, kRecordHeaderSize);
  if (!SameDigest(header.substr(kHeaderDigestAt), Sha256::Of(header.substr(0, kHeaderDigestAt)))) {
    return false;
  }
  Reader in(header);
  if (in.Bytes(sizeof kMagic) != std::string_view(kMagic, sizeof kMagic)) return false;
  if (in.Int(4) != kVersion) return false;
  record->id = in.Text();
  Reader fields(header.substr(kHeaderFieldsAt));
  std::uint64_t state = fields.Int(4);
  if (state != 1 && state != 2) return false;
  record->state = static_cast<RecordState>(state);
  record->committed = fields.Int(8);
  record->blocks = static_cast<std::uint32_t>(fields.Int(4));
  return in.ok() && !record->id.empty() && record->id.size() <= kRecordIdLimit;
}

// The header's first bytes, which no rewrite changes: magic, version and Id.
std::string HeaderPrefix(const std::string& id) {
  std::string header(kMagic, sizeof kMagic);
  PutInt(&header, kVersion, 4);
  PutText(&header, id.substr(0, kRecordIdLimit));
  header.resize(kHeaderFieldsAt, '\0');
  return header;
}

// The header sector: `prefix`, whose digest so far is `prefix_hash`, then the fields.
std::string HeaderWith(const std::string& prefix, const Sha256& prefix_hash, RecordState state,
                       std::uint64_t committed, std::uint32_t blocks) {
  std::string header = prefix;
  PutInt(&header, static_cast<std::uint32_t>(state), 4);
  PutInt(&header, committed, 8);
  PutInt(&header, blocks, 4);
  header.resize(kHeaderDigestAt, '\0');
  Sha256 hash = prefix_hash;
  hash.Update(std::string_view(header).substr(kHeaderFieldsAt));
  PutDigest(&header, hash.Finish());
  return header;
}

bool ParseRecord(std::string_view bytes, InstallRecord* record) {
  if (!ParseHeader(bytes, record)) return false;
  std::string_view rest = bytes.substr(kRecordHeaderSize);
  if (record->committed > rest.size()) return false;
  Reader in(rest.substr(0, static_cast<std::size_t>(record->committed)));
  std::uint32_t blocks = 0;
  std::uint64_t offset = 0;
  while (in.ok() && !in.at_end()) {
    std::size_t first = record->entries.size();
    std::uint64_t length = in.Int(4);
    if (length > kMaxBlock) return false;
    std::string_view payload = in.Bytes(static_cast<std::size_t>(length));
    std::string_view digest = in.Bytes(kDigestSize);
    if (!in.ok()) return false;
    Sha256 hash;
    std::string length_bytes;
    PutInt(&length_bytes, length, 4);
    hash.Update(length_bytes);
    hash.Update(payload);
    if (!SameDigest(digest, hash.Finish()) || !ParseEntries(payload, &record->entries)) {
      return false;
    }
    for (std::size_t i = first; i < record->entries.size(); ++i) {
      if (record->entries[i].kind == RecordKind::kRunBegan)
        record->runs.push_back({i, offset, blocks});
    }
    offset += 4 + length + kDigestSize;
    ++blocks;
  }
  return in.ok() && blocks == record->blocks;
}

}  // namespace

std::string EncodeBlock(const std::vector<RecordEntry>& entries) {
  std::string payload;
  for (const RecordEntry& e : entries) {
    PutInt(&payload, static_cast<std::uint8_t>(e.kind), 1);
    PutInt(&payload, (e.existed_before ? 1 : 0) | (e.program ? 2 : 0) | (e.no_digest ? 4 : 0), 1);
    PutText(&payload, e.path);
    PutText(&payload, e.aside);
    PutInt(&payload, e.size, 8);
    PutDigest(&payload, e.digest);
  }
  std::string block;
  PutInt(&block, payload.size(), 4);
  block += payload;
  PutDigest(&block, Sha256::Of(block));
  return block;
}

std::string EncodeHeader(const std::string& id, RecordState state, std::uint64_t committed,
                         std::uint32_t blocks) {
  std::string prefix = HeaderPrefix(id);
  Sha256 hash;
  hash.Update(prefix);
  return HeaderWith(prefix, hash, state, committed, blocks);
}

Status ParseInstallRecord(std::string_view bytes, const std::string& path, InstallRecord* record) {
  *record = InstallRecord();
  if (ParseRecord(bytes, record)) return Status::Ok();
  *record = InstallRecord();
  return Status(StatusKind::kCorrupt, path);
}

Status ReadInstallRecord(System& system, const std::string& path, InstallRecord* record) {
  std::unique_ptr<InputFile> input;
  if (!system.OpenForReading(path, &input).ok()) {
    // Only a failed opening is looked into: no record, a folder, or one not readable.
    std::uint64_t size = 0;
    Status found = system.GetFileSize(path, &size);
    return found.ok() ? Status(StatusKind::kReadError, path) : found;
  }
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    std::ptrdiff_t n = input->Read(buffer, sizeof buffer);
    if (n < 0) return Status(StatusKind::kReadError, path);
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return ParseInstallRecord(bytes, path, record);
}

InstallRecordWriter::InstallRecordWriter(std::unique_ptr<RecordFile> file, std::string id,
                                         std::uint64_t committed, std::uint32_t blocks)
    : file_(std::move(file)),
      id_(std::move(id)),
      committed_(committed),
      blocks_(blocks),
      header_prefix_(HeaderPrefix(id_)) {
  prefix_hash_.Update(header_prefix_);
}

InstallRecordWriter::~InstallRecordWriter() = default;

std::unique_ptr<InstallRecordWriter> InstallRecordWriter::Open(
    System& system, const std::string& path, bool create, const std::string& id,
    std::uint64_t committed, std::uint32_t blocks, Status* status) {
  std::unique_ptr<RecordFile> file;
  *status = system.OpenRecordFile(path, create, &file);
  if (!status->ok()) return nullptr;
  std::unique_ptr<InstallRecordWriter> writer(
      new InstallRecordWriter(std::move(file), id, committed, blocks));
  *status = writer->WriteHeader(RecordState::kRunning);
  if (status->ok()) *status = writer->file_->Sync();
  return status->ok() ? std::move(writer) : nullptr;
}

std::unique_ptr<InstallRecordWriter> InstallRecordWriter::Create(System& system,
                                                                 const std::string& path,
                                                                 const std::string& id,
                                                                 Status* status) {
  return Open(system, path, true, id, 0, 0, status);
}

std::unique_ptr<InstallRecordWriter> InstallRecordWriter::Continue(System& system,
                                                                   const std::string& path,
                                                                   const InstallRecord& record,
                                                                   Status* status) {
  return Open(system, path, false, record.id, record.committed, record.blocks, status);
}

Status InstallRecordWriter::WriteHeader(RecordState state) {
  state_ = state;
  std::string header = HeaderWith(header_prefix_, prefix_hash_, state, committed_, blocks_);
  return file_->WriteAt(0, header.data(), header.size());
}

Status InstallRecordWriter::Append(const std::vector<RecordEntry>& entries, bool sync) {
  std::string block = EncodeBlock(entries);
  Status status = file_->WriteAt(kRecordHeaderSize + committed_, block.data(), block.size());
  if (status.ok() && sync) status = file_->Sync();
  if (!status.ok()) return status;
  committed_ += block.size();
  ++blocks_;
  // The next synced block, or the last rewrite of the header, forces this one out too.
  return WriteHeader(state_);
}

Status InstallRecordWriter::Rewind(RecordState state, std::uint64_t committed,
                                   std::uint32_t blocks) {
  committed_ = committed;
  blocks_ = blocks;
  Status status = WriteHeader(state);
  return status.ok() ? file_->Sync() : status;
}

}  // namespace setup
