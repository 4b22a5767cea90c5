// One hexadecimal digit.
#ifndef SETUP_BASE_HEX_DIGIT_H_
#define SETUP_BASE_HEX_DIGIT_H_

namespace setup {

// The value of the hexadecimal digit `c` (either case), or -1 when it is none.
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace setup

#endif  // SETUP_BASE_HEX_DIGIT_H_
