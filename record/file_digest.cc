#include "record/file_digest.h"

#include "platform/system.h"

// The whole of xxHash, inline and private to this file.
#define XXH_INLINE_ALL
#include "third_party/xxhash/xxhash.h"

namespace setup {

#if defined(SETUP_DIGEST_AVX2)
// file_digest_avx2.cc, compiled for AVX2: called only where the processor has it.
void Xxh3UpdateAvx2(XXH3_state_t* state, const void* data, std::size_t size);

namespace {
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
}  // namespace
#endif

struct FileDigest::State {
  XXH3_state_t xxh3;
};

FileDigest::FileDigest() : state_(std::make_unique<State>()) { XXH3_128bits_reset(&state_->xxh3); }

FileDigest::~FileDigest() = default;

void FileDigest::Reset() { XXH3_128bits_reset(&state_->xxh3); }

void FileDigest::Update(const void* data, std::size_t size) {
#if defined(SETUP_DIGEST_AVX2)
  if (HasAvx2()) {
    Xxh3UpdateAvx2(&state_->xxh3, data, size);
    return;
  }
#endif
  XXH3_128bits_update(&state_->xxh3, data, size);
}

FileDigest::Digest FileDigest::Finish() const {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(&state_->xxh3));
  Digest digest;
  static_assert(sizeof canonical.digest == sizeof digest);
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = canonical.digest[i];
  return digest;
}

FileDigest::Digest FileDigest::Of(std::string_view bytes) {
  FileDigest hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.Finish();
}

bool DigestOfInput(InputFile& input, FileDigest::Digest* digest, std::uint64_t* size, char* buffer,
                   std::size_t buffer_size) {
  std::unique_ptr<char[]> own;
  if (buffer == nullptr || buffer_size == 0) {
    own.reset(new char[kDigestBufferSize]);  // not cleared: every byte used is read first
    buffer = own.get();
    buffer_size = kDigestBufferSize;
  }
  FileDigest hash;
  *size = 0;
  for (;;) {
    std::ptrdiff_t n = input.Read(buffer, buffer_size);
    if (n < 0) return false;
    if (n == 0) break;
    hash.Update(buffer, static_cast<std::size_t>(n));
    *size += static_cast<std::uint64_t>(n);
  }
  *digest = hash.Finish();
  return true;
}

}  // namespace setup
