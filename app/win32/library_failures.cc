// How the standard library fails in Setup.exe, which is built without exceptions and
// carried whole by every package. Setup.exe catches no exception but one (a thread that
// cannot be started, text/thread_start.cc), so every other failure the library reports
// by throwing (a length or range error, an allocation beyond memory) ended the program
// through std::terminate and std::abort; it still ends there, but directly. Defined here,
// these take the place of libstdc++'s, and so leave out what those bring with them: the
// exception classes and their copy-on-write strings, the error categories, and the
// verbose terminate handler's demangler, together a fifth of the loader. (Should the
// program come to need another of libstdc++'s, the link fails with a second definition.)
//
// Built with exceptions (CMakeLists.txt): std::thread reports a thread it cannot start
// through __throw_system_error, and that throw is what text/thread_start.cc catches.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

// The default terminate handler: without the words that name the exception's type (on
// a standard error that a windowed program has not got).
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_cast() { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_typeid() { std::abort(); }
void __throw_bad_exception() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_domain_error(const char*) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_runtime_error(const char*) { std::abort(); }
void __throw_range_error(const char*) { std::abort(); }
void __throw_overflow_error(const char*) { std::abort(); }
void __throw_underflow_error(const char*) { std::abort(); }
// The error number alone, not a std::system_error, whose category and message would
// bring the rest back; StartThread catches any exception.
void __throw_system_error(int error) { throw error; }

}  // namespace std
