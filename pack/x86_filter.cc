#include "pack/x86_filter.h"

namespace setup::pack {
namespace {

// The most significant byte of a near call's 32-bit displacement, for a target within
// 16 MiB of the call: 0x00 forward, 0xFF backward.
bool NearByte(std::uint8_t b) { return b == 0x00 || b == 0xFF; }

constexpr bool kAllowed[8] = {true, true, true, false, true, false, false, false};
constexpr std::uint32_t kBitNumber[8] = {0, 1, 2, 2, 3, 3, 3, 3};

unsigned Le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8;
}

}  // namespace

bool IsX86Executable(std::string_view bytes) {
  if (bytes.size() >= 20 && bytes.substr(0, 4) == std::string_view("\x7f" "ELF", 4)) {
    unsigned machine = Le16(bytes, 18);  // e_machine, little-endian on x86
    return machine == 3 || machine == 62;
  }
  if (bytes.size() < 0x40 || bytes.substr(0, 2) != "MZ") return false;
  std::size_t pe = Le16(bytes, 0x3c) | static_cast<std::size_t>(Le16(bytes, 0x3e)) << 16;
  if (pe > bytes.size() || bytes.size() - pe < 6 ||
      bytes.substr(pe, 4) != std::string_view("PE\0\0", 4))
    return false;
  unsigned machine = Le16(bytes, pe + 4);
  return machine == 0x14c || machine == 0x8664;
}

std::size_t X86Filter::Convert(std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::uint32_t mask = previous_mask_;
  std::uint32_t previous = previous_position_;
  if (position_ - previous > 5) previous = position_ - 5;
  std::size_t at = 0;
  while (at <= size - 5) {
    std::uint8_t* p = data + at;
    if (p[0] != 0xE8 && p[0] != 0xE9) {
      ++at;
      continue;
    }
    std::uint32_t here = position_ + static_cast<std::uint32_t>(at);
    std::uint32_t distance = here - previous;
    previous = here;
    if (distance > 5) {
      mask = 0;
    } else {
      for (std::uint32_t i = 0; i < distance; ++i) mask = (mask & 0x77) << 1;
    }
    if (!NearByte(p[4]) || !kAllowed[(mask >> 1) & 7] || (mask >> 1) >= 0x10) {
      ++at;
      mask |= 1;
      if (NearByte(p[4])) mask |= 0x10;
      continue;
    }
    std::uint32_t source = static_cast<std::uint32_t>(p[4]) << 24 |
                           static_cast<std::uint32_t>(p[3]) << 16 |
                           static_cast<std::uint32_t>(p[2]) << 8 | p[1];
    std::uint32_t target;
    for (;;) {
      target = encode_ ? source + (here + 5) : source - (here + 5);
      if (mask == 0) break;
      std::uint32_t bit = kBitNumber[mask >> 1];
      if (!NearByte(static_cast<std::uint8_t>(target >> (24 - bit * 8)))) break;
      source = target ^ ((1u << (32 - bit * 8)) - 1);
    }
    p[4] = static_cast<std::uint8_t>(~(((target >> 24) & 1) - 1));
    p[3] = static_cast<std::uint8_t>(target >> 16);
    p[2] = static_cast<std::uint8_t>(target >> 8);
    p[1] = static_cast<std::uint8_t>(target);
    at += 5;
    mask = 0;
  }
  previous_mask_ = mask;
  previous_position_ = previous;
  position_ += static_cast<std::uint32_t>(at);
  return at;
}

}  // namespace setup::pack
