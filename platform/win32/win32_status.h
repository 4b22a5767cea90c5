// The one place Setup.exe turns a Win32 error code into a Status, so that every System
// call of this platform reports the same kind for the same error.
#ifndef SETUP_PLATFORM_WIN32_WIN32_STATUS_H_
#define SETUP_PLATFORM_WIN32_WIN32_STATUS_H_

#include <cstdint>
#include <string>

#include "base/status.h"

namespace setup {

// The kind a Win32 error code stands for (kFailed for those no caller tells apart).
StatusKind StatusKindOfError(std::uint32_t error);

// A failure of the step on `path` with `error`; kFailed with no OS error when it is 0.
Status StatusFromError(std::uint32_t error, std::string path);

// The same with GetLastError(), read at once after the failed call.
Status StatusFromLastError(std::string path);

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIN32_STATUS_H_
