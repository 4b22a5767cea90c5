// The one way this program includes <windows.h>: lean, without the min/max macros, and
// without the A/W-switching macros whose names clash with names of our own.
#ifndef SETUP_PLATFORM_WIN32_WINDOWS_HEADERS_H_
#define SETUP_PLATFORM_WIN32_WINDOWS_HEADERS_H_

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef MessageBox
#undef GetMessage
#undef FormatMessage
#undef LoadString

#endif  // SETUP_PLATFORM_WIN32_WINDOWS_HEADERS_H_
