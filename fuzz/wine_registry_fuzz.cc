// Wine hive text: the input is read as system.reg, user.reg and userdef.reg at once.
// Lines "?<root digit><key path>=<value name>" (which the hive reader skips as unknown
// input) name keys to open and values to query, so the fuzzer can reach what it built.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/wine_registry.h"

namespace {

constexpr setup::RegKey kRoots[] = {setup::kHkeyClassesRoot, setup::kHkeyCurrentUser,
                                    setup::kHkeyLocalMachine, setup::kHkeyUsers,
                                    setup::kHkeyCurrentConfig};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  setup::WineRegistry registry(setup::WineHiveTexts{text, text, text});
  std::string_view rest(text);
  int queries = 0;
  while (!rest.empty() && queries < 64) {
    std::size_t stop = rest.find('\n');
    std::string_view line = rest.substr(0, stop);
    rest.remove_prefix(stop == std::string_view::npos ? rest.size() : stop + 1);
    if (line.size() < 2 || line[0] != '?') continue;
    ++queries;
    setup::RegKey root = kRoots[static_cast<unsigned char>(line[1]) % 5];
    std::string_view query = line.substr(2);
    std::size_t equals = query.find('=');
    std::string path(query.substr(0, equals));
    std::string name(equals == std::string_view::npos ? "" : query.substr(equals + 1));
    setup::RegKey key = registry.OpenKey(root, path);
    std::string value;
    registry.QueryValue(key != 0 ? key : root, name, &value);
    if (key != 0) {
      setup::RegKey again = registry.OpenKey(key, "");
      registry.CloseKey(again);
    }
    registry.CloseKey(key);
  }
  if (registry.OpenHandleCount() != 0) __builtin_trap();  // every handle was closed
  return 0;
}
