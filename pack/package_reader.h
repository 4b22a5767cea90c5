// Reading a package (pack/package_format.h) from any file that can be read at offsets:
// Setup.exe's own file, or a package the native program was given.
#ifndef SETUP_PACK_PACKAGE_READER_H_
#define SETUP_PACK_PACKAGE_READER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "base/status.h"
#include "pack/lzma_block.h"
#include "pack/package_format.h"
#include "pack/read_ahead.h"
#include "platform/system.h"

namespace setup::pack {

// A file read at offsets. Implemented by the programs over their own file handles.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false on a read error or a short read.
  virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

// A package held in memory (the fuzz target's input, the tests' packages).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  std::string_view bytes_;
};

class Package {
 public:
  // Finds the package in the PE file `source` (not owned; it must outlive the package).
  // A PE file with nothing after its image (a plain Setup.exe) answers Ok and a null
  // `*package`. Anything after the image that is not a whole package, or a table whose
  // SHA-256 is not the trailer's, answers kCorrupt: a truncated file, bytes appended, a
  // damaged table. Reads nothing at or after a certificate table's offset.
  static Status Open(ByteSource& source, std::unique_ptr<Package>* package);

  // Checks the loader's and every compressed block's SHA-256 against the table, reading
  // each byte once and decompressing nothing. kCorrupt on a mismatch, kReadError when the
  // file cannot be read.
  Status Verify();

  const Table& table() const { return table_; }

  // The file `index` of the table, decoded as it is read; its SHA-256 is checked when
  // its last byte is read, and a mismatch is a read error (-1) in place of those bytes.
  std::unique_ptr<InputFile> OpenFile(std::size_t index);

  // Reads `size` bytes at `position` of the blocks' uncompressed bytes end to end:
  // from the blocks decoded ahead (see set_read_ahead), or continuing the block being
  // decoded here when `position` lies ahead in it, else starting its block anew. False
  // when the bytes cannot be read or decoded, or lie past the last block.
  bool ReadUncompressed(std::uint64_t position, void* buffer, std::size_t size);

  // Whether blocks are decoded ahead of the reader on threads of their own, two blocks
  // at once where there are two processors (the default), or on the reader's thread as
  // it asks, through one dictionary.
  // `workers`: the decoding threads from now on (0: left as they are; at first, as many
  // as there are processors, two at most).
  void set_read_ahead(bool on, unsigned workers = 0) {
    ahead_.Stop();
    read_ahead_ = on;
    if (workers != 0) ahead_.set_workers(workers);
  }

  // Bytes stored once for several names (a file under two names) are kept decoded once
  // one of them has been read whole and checked, up to kKeptLimit bytes in all: the
  // other names then need no decoding from the block's start.
  static constexpr std::size_t kKeptLimit = 16u << 20;
  bool Shared(const FileEntry& file) const;
  const std::string* Kept(const FileEntry& file) const;
  void Keep(const FileEntry& file, std::string bytes);

 private:
  Package(ByteSource& source, const PeLayout& layout, const Trailer& trailer)
      : source_(source),
        layout_(layout),
        trailer_(trailer),
        ahead_(source, table_, std::min(2u, std::thread::hardware_concurrency())) {}
  bool ReadFromAhead(std::size_t index, std::uint64_t position, void* buffer, std::size_t size);

  ByteSource& source_;
  PeLayout layout_;
  Trailer trailer_;
  Table table_;
  BlockStream stream_;
  std::size_t stream_block_ = 0;
  bool read_ahead_ = true;
  pack::ReadAhead ahead_;                       // declared after table_, which it reads
  std::map<std::uint64_t, unsigned> names_at_;  // position -> names stored there
  std::map<std::uint64_t, std::string> kept_;
  std::size_t kept_size_ = 0;
};

}  // namespace setup::pack

#endif  // SETUP_PACK_PACKAGE_READER_H_
