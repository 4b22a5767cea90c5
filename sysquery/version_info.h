// Version strings ("FileVersion", "ProductVersion") of an executable or library, from
// the first translation of its version resource.
#ifndef SETUP_SYSQUERY_VERSION_INFO_H_
#define SETUP_SYSQUERY_VERSION_INFO_H_

#include <string>

#include "platform/system_roles.h"

namespace setup {

// True when the string was read; `text` is emptied first and stays empty on failure.
bool ReadVersionString(VersionReader& versions, const std::string& path, const std::string& name,
                       std::string* text);

}  // namespace setup

#endif  // SETUP_SYSQUERY_VERSION_INFO_H_
