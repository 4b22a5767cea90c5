// The walk of a version block that VerQueryValueA does, for both layouts of
// VS_VERSIONINFO: the 32-bit one of PE files (UTF-16 keys and strings, a wType field)
// and the 16-bit one of NE files (ANSI keys and strings, no wType). Like Windows, the
// layout is told by the byte after the root's two length words: the first character of
// the key "VS_VERSION_INFO" in the 16-bit layout, the low byte of wType (0 or 1) in the
// 32-bit one. The block is untrusted input: every offset and length is checked.
#ifndef SETUP_PLATFORM_POSIX_VERSION_BLOCK_H_
#define SETUP_PLATFORM_POSIX_VERSION_BLOCK_H_

#include <cstdint>
#include <string>
#include <vector>

namespace setup {

// Walks `block` like VerQueryValueA. `sub_block` is a code page 932 path of key names
// separated by backslashes, compared case-insensitively ("\" alone is the root's value,
// the VS_FIXEDFILEINFO). 32-bit layout: a text value (a String) is answered in code page
// 932 up to its first NUL; a binary value (the Translation array) as its wValueLength
// raw bytes. 16-bit layout: below "\StringFileInfo" the stored ANSI bytes up to the
// first NUL of the block, as the Windows program reads them; anything else as its
// wValueLength raw bytes, cut at the end of the block. False when a name is not found
// or the block is malformed on the way.
bool QueryVersionBlock(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                       std::string* value);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_VERSION_BLOCK_H_
