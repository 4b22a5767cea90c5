// Both command-line parsers. Input: one byte choosing the parser (even: Setup.exe's
// switches over the rest as one line; odd: the native options over the rest cut into
// words at NUL bytes). A parse either fails with a message or gives options that keep
// their promises: values are never empty, the path of /D= has no quotes and no trailing
// blank, a check path comes only with a check, and the same input parses the same way
// twice.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmdline/options.h"

namespace setup {
namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool Same(const Options& a, const Options& b) {
  return a.help == b.help && a.version == b.version && a.silent == b.silent && a.check == b.check &&
         a.check_path == b.check_path && a.dest == b.dest && a.answers == b.answers &&
         a.log == b.log && a.prefix == b.prefix && a.ui == b.ui;
}

void CheckOptions(bool ok, const Options& o, const std::string& error) {
  if (!ok) {
    Check(!error.empty());
    return;
  }
  for (const auto* value : {&o.dest, &o.answers, &o.log, &o.prefix})
    Check(!*value || !(*value)->empty());
  Check(o.check || o.check_path.empty());
  if (o.silent || o.answers) Check(o.ui != FrontEndChoice::kUnset);
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace setup;
  if (size == 0) return 0;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  Options first, second;
  std::string error, error_again;
  bool ok, ok_again;
  if (data[0] % 2 == 0) {
    ok = ParseWindowsSwitches(rest, &first, &error);
    ok_again = ParseWindowsSwitches(rest, &second, &error_again);
    if (ok && first.dest) {
      Check(first.dest->find('"') == std::string::npos);
      Check(first.dest->back() != ' ' && first.dest->back() != '\t');
    }
  } else {
    std::vector<std::string> words{"setup"};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
      if (i == rest.size() || rest[i] == '\0') {
        words.push_back(rest.substr(start, i - start));
        start = i + 1;
      }
    }
    auto parse = [&](Options* options, std::string* message) {
      std::vector<std::string> copy = words;  // getopt_long reorders argv
      std::vector<char*> argv;
      for (std::string& w : copy) argv.push_back(w.data());
      argv.push_back(nullptr);
      return ParseNativeOptions(static_cast<int>(copy.size()), argv.data(), options, message);
    };
    ok = parse(&first, &error);
    ok_again = parse(&second, &error_again);
  }
  CheckOptions(ok, first, error);
  Check(ok == ok_again && error == error_again && Same(first, second));
  return 0;
}
