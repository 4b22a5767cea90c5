// Writes nothing yet: the registry writes of the uninstall entry come with
// record/uninstall_entry.h, and this file is where they are called from.
#include "record/entry_calls.h"

namespace setup {

Status WriteProductEntry(System&, const ProductInfo&, const EntryContext&) { return Status::Ok(); }

Status RemoveProductEntry(System&, const std::string&) { return Status::Ok(); }

}  // namespace setup
