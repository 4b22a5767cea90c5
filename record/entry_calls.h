// The uninstall entry ("Programs and Features") as the install record uses it: written at
// the end of a successful install, removed by a rollback and an uninstall. The one place
// that calls the registry's uninstall entry.
#ifndef SETUP_RECORD_ENTRY_CALLS_H_
#define SETUP_RECORD_ENTRY_CALLS_H_

#include <cstdint>
#include <string>

#include "base/status.h"
#include "record/product_file.h"

namespace setup {

class Encoding;
class System;

// What the entry says beyond the product file, as the program that installs knows it.
struct EntryContext {
  std::string install_location;  // code-page bytes
  std::string uninstall_string;
  std::string quiet_uninstall_string;
  std::string display_icon;
  std::string install_date;             // YYYYMMDD, the day the install finished
  std::uint64_t estimated_size_kb = 0;  // the files the record holds, in KiB rounded up
};

// The product's texts are converted from UTF-8 with `encoding`.
Status WriteProductEntry(System& system, Encoding& encoding, const ProductInfo& product,
                         const EntryContext& context);
Status RemoveProductEntry(System& system, const std::string& id);

}  // namespace setup

#endif  // SETUP_RECORD_ENTRY_CALLS_H_
