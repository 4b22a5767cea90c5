// Files through the Win32 ANSI functions: paths are bytes of the process code page.
#ifndef SETUP_PLATFORM_WIN32_WIN32_FILES_H_
#define SETUP_PLATFORM_WIN32_WIN32_FILES_H_

#include <cstdint>
#include <memory>
#include <string>

#include "platform/system.h"

namespace setup {

// Null when the file cannot be opened for reading. Others may read, write and delete the
// file meanwhile, as with fopen; but Windows renames nothing over a file that is open, so
// a replacement of the same file commits only after this one is closed.
std::unique_ptr<InputFile> OpenWin32InputFile(const std::string& path);

enum class DestinationState {
  kAbsent,       // a name Windows accepts that does not exist yet
  kReplaceable,  // an existing entry that is neither a directory nor read-only
  kRefused,      // anything else: a stream colon, a directory, read-only, no such folder
};

// What stands at `path`, with one attribute look-up; for kRefused the last error says why. Under
// Wine running as root the read-only attribute stops no write, so it is checked here rather than
// left to the file functions.
DestinationState ExamineDestination(const std::string& path);

// True when this program may create or overwrite the file `path` names: an existing
// entry that is neither a directory nor read-only, or a name that Windows accepts and
// that does not exist yet (ExamineDestination is not kRefused).
bool MayReplace(const std::string& path);

// False when a component of `path` after its drive holds a colon: Windows would take
// "a:b" for the stream "b" of the file "a", and Wine for a file of that name, so this
// program refuses it as it refuses the other characters Windows does not allow in names.
bool HasNoStreamColon(const std::string& path);

// Creates a temporary file in the destination's directory (removing that folder's
// leftovers first, temp_files.h); null, with the last error set, when the destination may
// not be replaced (MayReplace) or that fails. Its commit renames it onto the destination with
// MOVEFILE_WRITE_THROUGH.
std::unique_ptr<OutputFile> CreateWin32Replacement(const std::string& path);

// The directory part of `path` as a prefix for a name in the same directory: everything
// up to and including its last backslash or slash (double-byte characters of the code
// page respected); "C:" for a path such as "C:name"; empty for a bare name.
std::string DirectoryPrefix(const std::string& path);

// Seconds since 1970-01-01 00:00 UTC of a FILETIME, cut to 32 bits; 0 before 1970.
std::uint32_t SecondsSince1970(std::uint64_t filetime);

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIN32_FILES_H_
