#include "app/lzma_compressor.h"

#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace setup {
namespace {

// Preset 9's match finder and lengths; the dictionary no larger than the data needs.
bool Options(std::uint32_t dictionary, lzma_options_lzma* options) {
  if (lzma_lzma_preset(options, 9)) return false;
  options->dict_size = dictionary;
  return true;
}

// One raw LZMA1 stream with an end marker: what the LZMA SDK's decoder reads.
bool CompressOne(std::string_view in, const lzma_options_lzma& options, std::string* out) {
  lzma_options_lzma copy = options;
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &copy}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&stream, filters) != LZMA_OK) return false;
  out->resize(in.size() + in.size() / 16 + 4096);
  stream.next_in = reinterpret_cast<const std::uint8_t*>(in.data());
  stream.avail_in = in.size();
  stream.next_out = reinterpret_cast<std::uint8_t*>(out->data());
  stream.avail_out = out->size();
  lzma_ret ret = lzma_code(&stream, LZMA_FINISH);
  out->resize(out->size() - stream.avail_out);
  lzma_end(&stream);
  return ret == LZMA_STREAM_END;
}

}  // namespace

bool LzmaCompressor::Compress(const std::vector<std::string_view>& blocks,
                              std::vector<std::string>* out) {
  std::size_t largest = 4096;
  for (std::string_view b : blocks) largest = std::max(largest, b.size());
  lzma_options_lzma options;
  if (!Options(static_cast<std::uint32_t>(std::min<std::size_t>(largest, kDictionary)), &options)) {
    return false;
  }
  props_[0] = static_cast<std::uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  for (int i = 0; i < 4; ++i)
    props_[1 + i] = static_cast<std::uint8_t>(options.dict_size >> (8 * i));

  out->assign(blocks.size(), std::string());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (std::size_t i = next++; i < blocks.size(); i = next++) {
      if (!CompressOne(blocks[i], options, &(*out)[i])) failed = true;
    }
  };
  unsigned threads = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(),
                                                     static_cast<unsigned>(blocks.size())));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  return !failed;
}

}  // namespace setup
