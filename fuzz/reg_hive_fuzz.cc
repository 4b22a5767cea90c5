// Wine hive text read by the hive parser alone; the tree it builds is then walked, and
// every key it links must be one it owns.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/reg_hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  setup::RegHiveKey root;
  std::vector<std::unique_ptr<setup::RegHiveKey>> keys;
  std::u16string sid;
  setup::ParseRegHive(text, &root, &keys, &sid);
  std::set<const setup::RegHiveKey*> owned{&root};
  for (const auto& key : keys) owned.insert(key.get());
  for (const setup::RegHiveKey* key : owned) {
    for (const auto& [name, subkey] : key->subkeys) {
      if (owned.count(subkey) == 0 || setup::FoldedKeyPath(name).size() > 1) {
        __builtin_trap();  // a key the parser does not own, or a name with a separator
      }
    }
  }
  return 0;
}
