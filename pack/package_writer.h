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
// Setup.exe) and `files` in that order, in blocks of `block_size` bytes, appended to
// `*out`. kUnsupported when the loader has bytes after its image (debug symbols left in
// it) or a signature; kInvalidName for an empty, over-long or repeated name, with the
// name; kFailed when compression fails.
Status WritePackage(std::string_view loader, const std::vector<PackInput>& files,
                    BlockCompressor& compressor, std::uint32_t block_size, std::string* out);

}  // namespace setup::pack

#endif  // SETUP_PACK_PACKAGE_WRITER_H_
