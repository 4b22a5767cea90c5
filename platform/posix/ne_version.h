// The version resource of a 16-bit (NE) executable or library, found the way
// GetFileVersionInfoA finds it: in the resource table that follows the NE header.
#ifndef SETUP_PLATFORM_POSIX_NE_VERSION_H_
#define SETUP_PLATFORM_POSIX_NE_VERSION_H_

#include <cstdint>
#include <vector>

#include "platform/posix/byte_view.h"

namespace setup {

// `file` is the whole file and `ne_header` the offset of its "NE" header (e_lfanew). The
// block is the resource of type RT_VERSION (0x8010) and id 1 (0x8001), its 16-bit
// VS_VERSIONINFO (ANSI keys and strings, no wType), as many bytes of it as Windows
// reads: the resource length, at most the block size Windows reports for it (four times
// the length less the 52 bytes of VS_FIXEDFILEINFO), at most what the file holds. False
// when there is no such resource, the table is malformed or the block would be empty.
bool ParseNeVersionResource(const ByteView& file, std::uint64_t ne_header,
                            std::vector<std::uint8_t>* block);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_NE_VERSION_H_
