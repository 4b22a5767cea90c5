// The native packer's compression: LZMA (liblzma), each block on its own thread, blocks
// of executables through the x86 branch filter first.
#ifndef SETUP_APP_LZMA_COMPRESSOR_H_
#define SETUP_APP_LZMA_COMPRESSOR_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pack/package_writer.h"

namespace setup {

class LzmaCompressor : public pack::BlockCompressor {
 public:
  // The dictionary: LZMA finds repeats this far back, and a reader holds this much.
  static constexpr std::uint32_t kDictionary = 16u << 20;

  pack::Method method() const override { return pack::Method::kLzma; }
  std::array<std::uint8_t, pack::kLzmaPropsSize> props() const override { return props_; }
  // A block that begins with an x86 executable goes through the x86 filter first.
  bool Compress(const std::vector<std::string_view>& blocks,
                std::vector<std::string>* out) override;
  std::vector<pack::Filter> filters() const override { return filters_; }

 private:
  std::array<std::uint8_t, pack::kLzmaPropsSize> props_{};
  std::vector<pack::Filter> filters_;
};

}  // namespace setup

#endif  // SETUP_APP_LZMA_COMPRESSOR_H_
