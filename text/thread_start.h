// Starting a thread without letting a failure escape as an exception: the programs that
// build the core without exceptions (Setup.exe, for size) still learn that no thread
// could be had, and work on their own thread instead.
#ifndef SETUP_TEXT_THREAD_START_H_
#define SETUP_TEXT_THREAD_START_H_

#include <functional>
#include <thread>

namespace setup {

// Starts `*thread` (not joinable before) running `work`. False, with `*thread` left as it
// was, when the system gives no thread (out of resources).
bool StartThread(std::thread* thread, std::function<void()> work);

}  // namespace setup

#endif  // SETUP_TEXT_THREAD_START_H_
