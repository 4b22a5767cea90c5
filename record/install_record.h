// The install record: what a run changed, kept beside the installed application as
// `Uninstall.rec`, so that a failed run can be rolled back, a killed one finished the
// next time, and the install removed. One format for both programs: either can undo
// what the other did.
//
// The file is a 512-byte header followed by blocks; everything little-endian.
//
//   header (one sector, rewritten in place, never grown):
//     0   "SETUPREC"                 8 bytes
//     8   version                    u32, 2 (a record of version 1, whose file digests
//                                    were SHA-256, is refused as damaged)
//     12  Id length, Id              u16, at most 128 bytes; zeros up to 448
//     448 state                      u32: 1 a run is changing the machine, 2 at rest
//     452 committed                  u64: bytes of blocks after the header that count
//     460 blocks                     u32: how many blocks those bytes hold; zeros to 480
//     480 SHA-256 of bytes 0 to 479  (what changes comes last: a rewrite hashes on from
//                                    the digest of the unchanging first 448 bytes)
//   block (appended, one per completed command that changed something):
//     length                         u32: bytes of the entries, at most kMaxBlock
//     entries                        one after the other, each:
//       kind                         u8 (RecordKind)
//       flags                        u8: 1 existed before, 2 registered as a program,
//                                    4 no digest (see kFileWritten, kFileDigest)
//       path, aside                  u16 length and the bytes (code page of the run)
//       size                         u64
//       digest of what was written   16 bytes (FileDigest: XXH3, 128 bits)
//     SHA-256 of length and entries  32 bytes
//
// A block is written (and, when it records an old copy kept aside, forced to the disk)
// before the header is rewritten to count it, so a run killed at any moment leaves a
// header that counts only whole blocks; bytes beyond `committed` are a torn tail and are
// ignored. Anything else that is not as written (a header or block whose digest does not
// match, a count that disagrees, an unknown kind, a length past the end) makes the whole
// record kCorrupt: it is refused, never trusted in part.
#ifndef SETUP_RECORD_INSTALL_RECORD_H_
#define SETUP_RECORD_INSTALL_RECORD_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/sha256.h"
#include "base/status.h"
#include "record/file_digest.h"

namespace setup {

class RecordFile;
class System;

enum class RecordKind : std::uint8_t {
  kRunBegan = 1,          // a run began here; its rollback stops at this entry
  kFileWritten = 2,       // path, existed before, size and digest, where the old copy is
  kMovedAside = 3,        // the old copy of path kept as aside, written before the change
  kDirectoryCreated = 4,  // path
  kRegistered = 5,        // path: a library's DllRegisterServer, or a program's /regserver
  kEntryWritten = 6,      // the uninstall entry, path is the Id
  // The size and digest of path as the last kFileWritten of path before it wrote it, for
  // a kFileWritten whose digest was still being computed when it was appended (its
  // no_digest set). With no_digest: the file could not be read back, it has no digest.
  kFileDigest = 7,
};

struct RecordEntry {
  RecordKind kind = RecordKind::kRunBegan;
  std::string path;
  std::string aside;
  bool existed_before = false;
  bool program = false;
  // kFileWritten: size and digest follow in a kFileDigest entry. kFileDigest: none.
  bool no_digest = false;
  std::uint64_t size = 0;
  FileDigest::Digest digest{};

  bool operator==(const RecordEntry&) const = default;
};

inline RecordEntry MakeEntry(RecordKind kind, std::string path = {}, std::string aside = {}) {
  RecordEntry entry;
  entry.kind = kind;
  entry.path = std::move(path);
  entry.aside = std::move(aside);
  return entry;
}

enum class RecordState : std::uint32_t { kRunning = 1, kAtRest = 2 };

// Where a run began: the index of its kRunBegan entry, and the committed bytes and
// blocks before the block that holds it (to forget that run's blocks).
struct RunMark {
  std::size_t entry;
  std::uint64_t committed;
  std::uint32_t blocks;
};

struct InstallRecord {
  std::string id;
  RecordState state = RecordState::kAtRest;
  std::uint64_t committed = 0;
  std::uint32_t blocks = 0;
  std::vector<RecordEntry> entries;
  std::vector<RunMark> runs;  // one per kRunBegan entry, in order
};

inline constexpr const char* kRecordFileName = "Uninstall.rec";
inline constexpr std::size_t kRecordHeaderSize = 512;
inline constexpr std::size_t kMaxBlock = 16 * 1024 * 1024;
inline constexpr std::size_t kRecordIdLimit = 128;

// The record of the bytes of a record file; kCorrupt (with `path`) for any damage.
Status ParseInstallRecord(std::string_view bytes, const std::string& path, InstallRecord* record);

// Reads and parses the record at `path`; kNotFound when there is none, kReadError,
// kCorrupt.
Status ReadInstallRecord(System& system, const std::string& path, InstallRecord* record);

// The bytes of one block holding `entries`.
std::string EncodeBlock(const std::vector<RecordEntry>& entries);
// The header sector.
std::string EncodeHeader(const std::string& id, RecordState state, std::uint64_t committed,
                         std::uint32_t blocks);

// Appends to a record file: each block written and synced, then the header rewritten.
class InstallRecordWriter {
 public:
  // Starts a new record at `path` (an old file there is overwritten), state kRunning.
  static std::unique_ptr<InstallRecordWriter> Create(System& system, const std::string& path,
                                                     const std::string& id, Status* status);
  // Goes on with `record`, read from `path`, after its committed blocks, state kRunning.
  static std::unique_ptr<InstallRecordWriter> Continue(System& system, const std::string& path,
                                                       const InstallRecord& record, Status* status);
  ~InstallRecordWriter();

  // One block of `entries`, then counted by the header. The block is written before the
  // header, so a killed process leaves a header that counts only whole blocks; with
  // `sync` it is also forced to the disk first, so that a power failure cannot lose it
  // (the record of an old copy kept aside). Without, a header that outlived its block on
  // a power failure makes the record refused as damaged, never misread.
  Status Append(const std::vector<RecordEntry>& entries, bool sync = false);
  // Rewrites the header with `state`, and forgets the blocks after `committed` bytes.
  Status Rewind(RecordState state, std::uint64_t committed, std::uint32_t blocks);
  Status SetState(RecordState state) { return Rewind(state, committed_, blocks_); }

  std::uint64_t committed() const { return committed_; }
  std::uint32_t blocks() const { return blocks_; }

 private:
  InstallRecordWriter(std::unique_ptr<RecordFile> file, std::string id, std::uint64_t committed,
                      std::uint32_t blocks);
  // Opens the record file at `path` (`create`: anew) and writes its header, state kRunning,
  // counting `committed` bytes in `blocks` blocks, forced to the disk.
  static std::unique_ptr<InstallRecordWriter> Open(System& system, const std::string& path,
                                                   bool create, const std::string& id,
                                                   std::uint64_t committed, std::uint32_t blocks,
                                                   Status* status);
  Status WriteHeader(RecordState state);

  std::unique_ptr<RecordFile> file_;
  std::string id_;
  std::uint64_t committed_;
  std::uint32_t blocks_;
  RecordState state_ = RecordState::kRunning;
  std::string header_prefix_;  // the header's first 448 bytes, the same for every rewrite
  Sha256 prefix_hash_;         // and their digest so far
};

}  // namespace setup

#endif  // SETUP_RECORD_INSTALL_RECORD_H_
