// The one place the POSIX platform turns an errno value into a Status, so that every
// System call of this platform reports the same kind for the same error.
#ifndef SETUP_PLATFORM_POSIX_POSIX_STATUS_H_
#define SETUP_PLATFORM_POSIX_POSIX_STATUS_H_

#include <string>

#include "base/status.h"

namespace setup {

// The kind an errno value stands for (kFailed for those no caller tells apart).
StatusKind StatusKindOfErrno(int error);

// A failure of the step on `path` with `error` (errno, read at once after the failed
// call); kFailed with no OS error when `error` is 0.
Status StatusFromErrno(int error, std::string path);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_POSIX_STATUS_H_
