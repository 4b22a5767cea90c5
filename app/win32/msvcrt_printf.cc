// Setup.exe's printf: the system's own (msvcrt.dll), not mingw-w64's C99 one, which would
// bring its whole formatter (floating point included) into the loader that every package
// carries. libstdc++ makes every std::snprintf and std::fprintf call mingw-w64's
// __mingw_vsnprintf and __mingw_vfprintf; defined here, those take the place of the
// library's and pass the work to msvcrt.dll. Setup.exe formats with %s, %c and the
// integer conversions with their widths and the l modifier only, which msvcrt.dll
// reads as C99 does; it does not know %zu, %lld or %a, which Setup.exe must not use.
#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

extern "C" {

// As C99 says: at most `size` bytes, the text always ended by a zero, the answer the
// length the whole text has (msvcrt's _vsnprintf neither ends a cut text nor counts it).
int __cdecl __mingw_vsnprintf(char* buffer, std::size_t size, const char* format, va_list args) {
  va_list counted;
  va_copy(counted, args);
  int length = _vscprintf(format, counted);
  va_end(counted);
  if (size == 0 || buffer == nullptr) return length;
  int written = _vsnprintf(buffer, size - 1, format, args);
  std::size_t end = written < 0 ? size - 1 : std::min<std::size_t>(written, size - 1);
  buffer[end] = '\0';
  return length;
}

int __cdecl __mingw_vfprintf(std::FILE* file, const char* format, va_list args) {
  return __ms_vfprintf(file, format, args);
}

}  // extern "C"
