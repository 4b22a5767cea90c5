// The product's uninstall entry, made from the product file (UTF-8) and what the
// installing program knows (code-page bytes): every text the entry holds is code-page
// bytes, as the registry calls take them.
#include "record/entry_calls.h"

#include <limits>

#include "base/encoding.h"
#include "record/uninstall_entry.h"

namespace setup {

Status WriteProductEntry(System& system, Encoding& encoding, const ProductInfo& product,
                         const EntryContext& context) {
  UninstallEntryValues values;
  values.id = product.id;
  values.display_name = encoding.FromUtf8(product.name);
  values.display_version = encoding.FromUtf8(product.version);
  values.publisher = encoding.FromUtf8(product.publisher);
  values.url_info_about = encoding.FromUtf8(product.url);
  values.install_location = context.install_location;
  values.install_date = context.install_date;
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint32_t>::max();
  values.estimated_size = static_cast<std::uint32_t>(
      context.estimated_size_kb < kMost ? context.estimated_size_kb : kMost);
  values.uninstall_string = context.uninstall_string;
  values.quiet_uninstall_string = context.quiet_uninstall_string;
  values.display_icon = context.display_icon;
  return WriteUninstallEntry(system, values);
}

Status RemoveProductEntry(System& system, const std::string& id) {
  return RemoveUninstallEntry(system, id);
}

}  // namespace setup
