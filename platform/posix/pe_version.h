// Version resources of Windows executables and libraries, read from the PE file itself
// (PE32 and PE32+), and the walk of a VS_VERSIONINFO block that VerQueryValueA does.
// Files are untrusted input: every offset and length is checked against the data.
#ifndef SETUP_PLATFORM_POSIX_PE_VERSION_H_
#define SETUP_PLATFORM_POSIX_PE_VERSION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace setup {

// Reads the file at `posix_path` (at most 256 MiB) and answers ParseVersionResource.
bool ReadPeVersionBlock(const std::string& posix_path, std::vector<std::uint8_t>* block);

// The raw VS_VERSIONINFO resource of the PE image `data` (the file's bytes), as
// GetFileVersionInfo gives it: resource type 16 (RT_VERSION), name 1, and of its
// languages the neutral one, else Japanese, else US English, else the first. False when
// the data is not a PE image or has no such resource.
bool ParseVersionResource(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>* block);

// Walks `block` like VerQueryValueA. `sub_block` is a code page 932 path of key names
// separated by backslashes, compared case-insensitively ("\" alone is the root's value,
// the VS_FIXEDFILEINFO). A text value (a String) is answered in code page 932 up to its
// first NUL; a binary value (the Translation array) as its wValueLength raw bytes. False
// when a name is not found or the block is malformed on the way.
bool QueryVersionBlock(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                       std::string* value);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_PE_VERSION_H_
