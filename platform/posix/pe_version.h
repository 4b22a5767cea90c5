// Version resources of Windows executables and libraries, read from the file itself:
// PE32 and PE32+ images, and 16-bit NE executables as GetFileVersionInfoA also reads
// them. Files are untrusted input: every offset and length is checked against the data.
// version_block.h walks the block found.
#ifndef SETUP_PLATFORM_POSIX_PE_VERSION_H_
#define SETUP_PLATFORM_POSIX_PE_VERSION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace setup {

// Reads the file at `posix_path` (at most 256 MiB) and answers ParseVersionResource;
// on failure errno says why (ENOENT: no version resource).
bool ReadFileVersionBlock(const std::string& posix_path, std::vector<std::uint8_t>* block);

// The raw VS_VERSIONINFO resource of the executable `data` (the file's bytes), as
// GetFileVersionInfo gives it. A PE image: resource type 16 (RT_VERSION), name 1, and of
// its languages the neutral one, else Japanese (0x0411, then 0x0011), else US English,
// else the first. An NE executable: see ne_version.h. False when the data is neither or
// has no such resource.
bool ParseVersionResource(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>* block);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_PE_VERSION_H_
