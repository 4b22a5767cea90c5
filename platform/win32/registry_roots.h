// The registry handle a RegKey stands for, for the reading and the writing calls alike.
#ifndef SETUP_PLATFORM_WIN32_REGISTRY_ROOTS_H_
#define SETUP_PLATFORM_WIN32_REGISTRY_ROOTS_H_

#include "platform/win32/windows_headers.h"

#include "platform/system.h"

namespace setup {

// Our predefined roots carry the 32-bit values; a 64-bit HKEY holds them sign-extended.
inline HKEY ToHkey(RegKey key) {
  switch (key) {
    case kHkeyClassesRoot: return HKEY_CLASSES_ROOT;
    case kHkeyCurrentUser: return HKEY_CURRENT_USER;
    case kHkeyLocalMachine: return HKEY_LOCAL_MACHINE;
    case kHkeyUsers: return HKEY_USERS;
    case kHkeyCurrentConfig: return HKEY_CURRENT_CONFIG;
    default: return reinterpret_cast<HKEY>(key);
  }
}

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_REGISTRY_ROOTS_H_
