// The native packer's compression: LZMA (liblzma), each block on its own thread.
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
  bool Compress(const std::vector<std::string_view>& blocks,
                std::vector<std::string>* out) override;

 private:
  std::array<std::uint8_t, pack::kLzmaPropsSize> props_{};
};

}  // namespace setup

#endif  // SETUP_APP_LZMA_COMPRESSOR_H_
