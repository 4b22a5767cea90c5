// Packages: the input is read as a Setup.exe with a package after it. Opening, the check
// and reading every file must end in a status or a read error, never a crash, and never
// allocate more than the input or a bounded dictionary justifies.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pack/package_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  setup::pack::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<setup::pack::Package> package;
  if (!setup::pack::Package::Open(source, &package).ok() || !package) return 0;
  package->Verify();
  // Read whatever the table claims, without the check, a bounded amount per file: with
  // blocks decoded ahead on threads, then on this thread through one dictionary.
  std::string buffer(64 * 1024, '\0');
  for (bool ahead : {true, false}) {
    package->set_read_ahead(ahead);
    for (std::size_t i = 0; i < package->table().files.size() && i < 64; ++i) {
      std::unique_ptr<setup::InputFile> file = package->OpenFile(i);
      std::size_t read = 0;
      for (std::ptrdiff_t n;
           read < (4u << 20) && (n = file->Read(buffer.data(), buffer.size())) > 0;) {
        read += static_cast<std::size_t>(n);
      }
    }
  }
  return 0;
}
