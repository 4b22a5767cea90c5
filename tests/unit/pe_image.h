// A minimal PE32 image for the package tests: headers, one section of `section_size`
// bytes (its bytes a pattern), nothing after it. SignPe appends a certificate table and
// points the security directory at it, as a signer does.
#ifndef SETUP_TESTS_UNIT_PE_IMAGE_H_
#define SETUP_TESTS_UNIT_PE_IMAGE_H_

#include <cstdint>
#include <string>

namespace setup {

inline void PutLe(std::string* s, std::size_t at, std::uint32_t v, int width) {
  for (int i = 0; i < width; ++i)
    (*s)[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// PE offsets: the header at 0x40, the optional header (224 bytes) at 0x58, the section
// table at 0x138, the section's bytes at 0x200.
inline constexpr std::size_t kPeSecurityEntry = 0x58 + 96 + 4 * 8;
inline constexpr std::size_t kPeChecksum = 0x58 + 64;

inline std::string MakePe(std::size_t section_size) {
  std::string pe(0x200 + section_size, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  PutLe(&pe, 0x3c, 0x40, 4);
  pe.replace(0x40, 4, std::string("PE\0\0", 4));
  PutLe(&pe, 0x44, 0x14c, 2);    // i386
  PutLe(&pe, 0x46, 1, 2);        // one section
  PutLe(&pe, 0x54, 224, 2);      // the optional header's size
  PutLe(&pe, 0x58, 0x10b, 2);    // PE32
  PutLe(&pe, 0x58 + 92, 16, 4);  // data directories
  std::size_t section = 0x58 + 224;
  pe.replace(section, 5, ".text");
  PutLe(&pe, section + 16, static_cast<std::uint32_t>(section_size), 4);
  PutLe(&pe, section + 20, 0x200, 4);
  for (std::size_t i = 0; i < section_size; ++i) pe[0x200 + i] = static_cast<char>(i * 7 + 1);
  return pe;
}

inline void SignPe(std::string* pe, std::size_t certificate_size) {
  PutLe(pe, kPeSecurityEntry, static_cast<std::uint32_t>(pe->size()), 4);
  PutLe(pe, kPeSecurityEntry + 4, static_cast<std::uint32_t>(certificate_size), 4);
  PutLe(pe, kPeChecksum, 0x12345678, 4);
  pe->append(certificate_size, '\x30');
}

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_PE_IMAGE_H_
