// A self-registering shared object for the POSIX registration tests: DllRegisterServer
// returns the number in $SETUP_TEST_HRESULT (0 when unset) and counts its calls in
// $SETUP_TEST_REGISTER_LOG, one line per call.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
  if (const char* log = std::getenv("SETUP_TEST_REGISTER_LOG")) {
    if (FILE* f = std::fopen(log, "a")) {
      std::fputs("called\n", f);
      std::fclose(f);
    }
  }
  const char* result = std::getenv("SETUP_TEST_HRESULT");
  return result != nullptr ? static_cast<std::int32_t>(std::strtoll(result, nullptr, 0)) : 0;
}

// DllUnregisterServer answers 7, so that a test sees the call made and its result passed.
extern "C" __attribute__((visibility("default"))) std::int32_t DllUnregisterServer() { return 7; }
