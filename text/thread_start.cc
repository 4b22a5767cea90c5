#include "text/thread_start.h"

#include <utility>

namespace setup {

// The one place that catches an exception: std::thread reports a thread it cannot start
// only by throwing (std::system_error; in Setup.exe, the bare error number, see
// app/win32/library_failures.cc), so any exception is taken as "no thread". This file is
// built with exceptions even where the rest is not (text/CMakeLists.txt): the throw from
// the standard library is caught here, before it could reach a frame built without
// unwind information.
bool StartThread(std::thread* thread, std::function<void()> work) {
#if defined(__cpp_exceptions)
  try {
    *thread = std::thread(std::move(work));
  } catch (...) {
    return false;
  }
  return true;
#else
  *thread = std::thread(std::move(work));
  return true;
#endif
}

}  // namespace setup
