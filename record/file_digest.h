// FileDigest: the digest the install record keeps of each file a run wrote, the 128-bit
// XXH3 of its bytes (xxHash, third_party/xxhash). It answers one question, whether a
// file is still what the run wrote, which needs no cryptographic strength: it is not a
// signature, and the record's own blocks keep their SHA-256. It runs at memory speed,
// so that recording an install costs next to nothing beside the copy. Both programs
// compute it with the same code.
#ifndef SETUP_RECORD_FILE_DIGEST_H_
#define SETUP_RECORD_FILE_DIGEST_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace setup {

class InputFile;

class FileDigest {
 public:
  using Digest = std::array<std::uint8_t, 16>;  // the 128-bit value, big-endian

  FileDigest();
  ~FileDigest();
  FileDigest(const FileDigest&) = delete;
  FileDigest& operator=(const FileDigest&) = delete;

  // Starts again, as if made anew (without a new state to allocate).
  void Reset();
  void Update(const void* data, std::size_t size);
  // The digest of everything fed so far.
  Digest Finish() const;

  static Digest Of(std::string_view bytes);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Reads `input` to its end: its digest and size; false on a read error. `buffer` (of
// `buffer_size` bytes) holds each piece read; without one a buffer is made for the call.
bool DigestOfInput(InputFile& input, FileDigest::Digest* digest, std::uint64_t* size,
                   char* buffer = nullptr, std::size_t buffer_size = 0);
inline constexpr std::size_t kDigestBufferSize = 128 * 1024;

}  // namespace setup

#endif  // SETUP_RECORD_FILE_DIGEST_H_
