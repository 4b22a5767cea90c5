// The single-file installer's layout. A package is a Setup.exe loader with the program
// directory's files after it:
//
//   [loader: the stripped Setup.exe, unchanged]
//   [blocks: the files' bytes end to end, cut into blocks of at most the table's
//    block_size, each compressed on its own (LZMA), so that several decode at once]
//   [table: the files' names, sizes, places, times and SHA-256, the blocks' sizes and
//    the SHA-256 of their compressed bytes, the loader's SHA-256; stored compressed, in
//    an envelope (EncodeEnvelope)]
//   [zero bytes, so that the whole is a multiple of 8 bytes]
//   [trailer: kTrailerSize bytes, magic, version, explicit offsets, the table's SHA-256]
//   [a signer's certificate table, when the file is signed]
//
// The trailer ends where the file ends, or where the PE security directory says the
// certificate table begins. Every number is little-endian. Names are the files' paths
// relative to the program directory, in bytes of the script's code page, `\` between
// folders, exactly as stored (a double-byte character whose second byte is 0x5C stays
// one character). Times are nanoseconds since 1970 (UTC).
#ifndef SETUP_PACK_PACKAGE_FORMAT_H_
#define SETUP_PACK_PACKAGE_FORMAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/sha256.h"
#include "base/status.h"

namespace setup::pack {

inline constexpr char kTrailerMagic[8] = {'S', 'e', 't', 'u', 'p', 'P', 'k', '\x1a'};
inline constexpr char kTableMagic[4] = {'P', 'k', 'T', 'b'};
inline constexpr std::uint32_t kFormatVersion = 2;
inline constexpr std::size_t kTrailerSize = 80;
// A block's largest uncompressed size. Blocks are compressed independently (in parallel
// when packing); a reader decodes blocks of up to kMaxDictionary whole, ahead of their
// reading, and larger ones forward as streams, holding only the dictionary.
inline constexpr std::uint32_t kMaxBlockSize = 1u << 30;
// The largest LZMA dictionary a reader accepts: reading a package holds one dictionary,
// or whole blocks no larger than this, 40 MiB at most, far under 64 MiB.
inline constexpr std::uint32_t kMaxDictionary = 32u << 20;
// A table larger than this is damaged (it would describe over a hundred thousand files).
inline constexpr std::uint64_t kMaxTableSize = 16u << 20;
// A stored name's longest length in bytes: the longest path Windows takes.
inline constexpr std::size_t kMaxNameSize = 259;
// LZMA's properties as liblzma's LZMA1 writes them: lc, lp, pb, then the dictionary size.
inline constexpr std::size_t kLzmaPropsSize = 5;

enum class Method : std::uint8_t { kStored = 0, kLzma = 1 };

struct Trailer {
  std::uint64_t loader_size = 0;  // the first block begins here
  std::uint64_t table_offset = 0;
  std::uint64_t table_size = 0;
  Sha256::Digest table_sha256{};
};

struct BlockEntry {
  std::uint64_t offset = 0;  // in the package file
  std::uint64_t compressed_size = 0;
  std::uint32_t size = 0;   // uncompressed
  Sha256::Digest sha256{};  // of the compressed bytes
  // Not stored: where the block's first byte lies in the blocks' uncompressed bytes end
  // to end (the sizes of the blocks before it), as DecodeTable and the writer set it.
  std::uint64_t start = 0;
};

struct FileEntry {
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t position = 0;  // in the blocks' uncompressed bytes end to end
  std::int64_t mtime_ns = 0;
  Sha256::Digest sha256{};  // of the file's bytes
};

struct Table {
  Method method = Method::kLzma;
  std::array<std::uint8_t, kLzmaPropsSize> lzma_props{};
  std::uint32_t block_size = 0;  // the largest block's size: a reader holds this much
  // The loader's SHA-256, with the PE checksum and the security directory entry taken as
  // zeros: a signer changes those two and nothing else of the loader.
  Sha256::Digest loader_sha256{};
  std::vector<BlockEntry> blocks;
  std::vector<FileEntry> files;
};

// The block that holds `position` of the blocks' uncompressed bytes end to end (the
// blocks' starts set), or blocks.size() when it lies past the last one.
std::size_t FindBlock(const Table& table, std::uint64_t position);

std::string EncodeTrailer(const Trailer& trailer);
// kCorrupt when `bytes` (kTrailerSize of them) is no trailer of this version.
Status DecodeTrailer(std::string_view bytes, Trailer* trailer);

std::string EncodeTable(const Table& table);
// Checks every count against the bytes there are, every offset against `trailer`
// (blocks end to end from the loader to the table, files inside the blocks) and every
// name; kCorrupt with a short reason in the status's path otherwise. Allocates no more
// than `bytes` justifies.
Status DecodeTable(std::string_view bytes, const Trailer& trailer, Table* table);

// The table as stored: a one-byte method, the table's size (4 bytes) and the LZMA
// properties, then the table compressed as one LZMA stream (or as it is, stored). The
// trailer's SHA-256 covers these bytes; the reader decodes them into at most
// kMaxTableSize bytes.
inline constexpr std::size_t kEnvelopeHeaderSize = 1 + 4 + kLzmaPropsSize;
std::string EncodeEnvelope(Method method, const std::array<std::uint8_t, kLzmaPropsSize>& props,
                           std::size_t table_size, std::string_view stored);
struct Envelope {
  Method method = Method::kStored;
  std::array<std::uint8_t, kLzmaPropsSize> props{};
  std::uint32_t table_size = 0;
  std::string_view stored;
};
// kCorrupt for a wrong method, or a size over kMaxTableSize.
Status DecodeEnvelope(std::string_view bytes, Envelope* envelope);

// Where the PE file `head` (its first bytes, up to its section table's end) ends its
// image and where a certificate table begins. `file_size` is the whole file's size.
struct PeLayout {
  std::uint64_t image_end = 0;              // the last section's, or the symbol table's, last byte
  std::uint64_t payload_end = 0;            // the certificate table's offset, else file_size
  std::uint32_t checksum_offset = 0;        // of the optional header's CheckSum
  std::uint32_t security_entry_offset = 0;  // of the security directory's entry
};
// kCorrupt when `head` is no PE file, or the certificate table does not end the file.
// `string_table_size` is the COFF string table's size, read where SymbolTableEnd says
// (0 without a symbol table).
Status ParsePeLayout(std::string_view head, std::uint64_t file_size,
                     std::uint32_t string_table_size, PeLayout* layout);
// The symbol table's end without its string table (0 without symbols), so the caller can
// read the four bytes of the string table's size there.
std::uint64_t SymbolTableEnd(std::string_view head);

// Hashes `loader` as Table::loader_sha256 says (the checksum and the security entry as
// zeros). `layout` comes from ParsePeLayout of the same bytes.
Sha256::Digest LoaderDigest(std::string_view loader, const PeLayout& layout);

}  // namespace setup::pack

#endif  // SETUP_PACK_PACKAGE_FORMAT_H_
