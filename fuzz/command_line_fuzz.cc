// Both command-line parsers. The first byte chooses: even, Setup.exe's switches over the rest
// as one line; odd, the native options over the rest cut into words at NUL bytes. A parse
// fails with a message or gives non-empty values, a /D= path without quotes or a trailing
// blank, a check path only with a check, and the same result the second time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmdline/options.h"

using namespace setup;

static void Check(bool condition) {
  if (!condition) __builtin_trap();
}

static bool Parse(bool windows, const std::string& rest, Options* o, std::string* error) {
  if (windows) return ParseWindowsSwitches(rest, o, error);
  std::vector<std::string> words{"setup"};
  for (std::size_t start = 0, end; start <= rest.size(); start = end + 1) {
    end = rest.find('\0', start);
    if (end == std::string::npos) end = rest.size();
    words.push_back(rest.substr(start, end - start));
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return ParseNativeOptions(static_cast<int>(words.size()), argv.data(), o, error);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool windows = data[0] % 2 == 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  Options o, again;
  std::string error, error_again;
  const bool ok = Parse(windows, rest, &o, &error);
  Check(Parse(windows, rest, &again, &error_again) == ok && error == error_again);
  Check(o.help == again.help && o.version == again.version && o.silent == again.silent &&
        o.check == again.check && o.check_path == again.check_path && o.dest == again.dest &&
        o.answers == again.answers && o.log == again.log && o.prefix == again.prefix &&
        o.ui == again.ui);
  Check(ok || !error.empty());
  if (!ok) return 0;
  for (const auto* value : {&o.dest, &o.answers, &o.log, &o.prefix})
    Check(!*value || !(*value)->empty());
  Check(o.check || o.check_path.empty());
  if (o.silent || o.answers) Check(o.ui != FrontEndChoice::kUnset);
  if (windows && o.dest)
    Check(o.dest->find('"') == std::string::npos && o.dest->back() != ' ' &&
          o.dest->back() != '\t');
  return 0;
}
