// Writing a package (pack/package_format.h): a loader, the files, their table and the
// trailer. The compression is handed in, so that the portable writer needs no library.
#ifndef SETUP_PACK_PACKAGE_WRITER_H_
#define SETUP_PACK_PACKAGE_WRITER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "pack/package_format.h"

namespace setup::pack {

class BlockCompressor {
 public:
  virtual ~BlockCompressor() = default;
  virtual Method method() const = 0;
  // The decoder's properties (LZMA: lc/lp/pb and the dictionary size) of the blocks
  // compressed last; zeros when stored.
  virtual std::array<std::uint8_t, kLzmaPropsSize> props() const = 0;
  // Compresses every block on its own into `out`, in order. False on a failure.
  virtual bool Compress(const std::vector<std::string_view>& blocks,
                        std::vector<std::string>* out) = 0;
};

// Keeps the blocks as they are: for tests, and for a reader's fuzzing.
class StoredCompressor : public BlockCompressor {
 public:
  Method method() const override { return Method::kStored; }
  std::array<std::uint8_t, kLzmaPropsSize> props() const override { return {}; }
  bool Compress(const std::vector<std::string_view>& blocks,
                std::vector<std::string>* out) override;
};

struct PackInput {
  std::string name;  // relative, `\` between folders, code-page bytes
  std::string contents;
  std::int64_t mtime_ns = 0;
};

// The package of `loader` (a PE file with nothing after its image: a stripped
// Setup.exe) and `files` in that order, appended to `*out`. Blocks hold at most
// `block_size` bytes; with `least_block_size` under that, a block ends where the next
// file looks unrelated to those in it (see BlockEnds) once it holds that many, so that
// blocks that decode at once cost little in size. kUnsupported when the loader has
// bytes after its image (debug symbols left in it) or a signature; kInvalidName for an
// empty, over-long or repeated name, with the name; kFailed when compression fails.
Status WritePackage(std::string_view loader, const std::vector<PackInput>& files,
                    BlockCompressor& compressor, std::uint32_t block_size, std::string* out,
                    std::uint32_t least_block_size = 0);

// Where blocks end in the stored bytes (`positions[i]`: where the bytes of the file stored
// i-th begin, `keys[i]`: the family names of every name stored there, `total`: the
// bytes' size): past `least` bytes, before a stored file none of whose keys the block
// holds already; at `most` bytes in any case. The last end is `total`.
std::vector<std::uint64_t> BlockEnds(const std::vector<std::uint64_t>& positions,
                                     const std::vector<std::vector<std::string>>& keys,
                                     std::uint64_t total, std::uint32_t least, std::uint32_t most);
// A name's family: its folder and the first three bytes of its last part, folded, so
// that "Fonts\ipag.ttf" and "Fonts\ipagp.ttf" are one family and "DejaVuSans.ttf" another.
std::string FamilyKey(std::string_view name);

}  // namespace setup::pack

#endif  // SETUP_PACK_PACKAGE_WRITER_H_
