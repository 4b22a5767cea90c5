// Fuzzes the text copy filter with arbitrary source bytes in both filter modes.
//
// Input layout: byte 0 chooses the mode (bit 0), the macro set (bits 1-3) and whether
// the copy onto the fake file system is checked too (bit 4); byte 1 is the read size
// of the stepped copy (1 to 256); the rest is the source file.
//
// Checked: no crash and no access past a buffer (the sanitizers); the same result,
// output and status (as the message it shows) whether the source arrives whole or a few
// bytes per read; a failure shows exactly one of the documented messages and leaves the destination
// as it was, a success shows none and replaces it with the filtered text; and a source without
// macros, NUL bytes or slashes comes out as its text-mode reading with CR LF line ends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "script/command_context.h"
#include "tests/unit/fakes.h"
#include "text/macro_table.h"
#include "text/status_text.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

constexpr const char* kSource = "C:\\in.txt";
constexpr const char* kDest = "C:\\out.txt";

class SteppedInput : public InputFile {
 public:
  SteppedInput(const std::string& data, std::size_t step) : data_(data), step_(step) {}
  std::ptrdiff_t Read(void* buffer, std::size_t size) override {
    std::size_t n = data_.size() - pos_;
    if (n > size) n = size;
    if (n > step_) n = step_;
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const std::string& data_;
  std::size_t step_;
  std::size_t pos_ = 0;
};

class StringOutput : public OutputFile {
 public:
  Status Write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
    return Status::Ok();
  }
  Status Commit() override {
    committed = true;
    return Status::Ok();
  }
  std::string text;
  bool committed = false;
};

struct Outcome {
  int result;
  std::string output;
  std::vector<std::string> messages;
};

void DefineMacros(SetupRun& app, unsigned set) {
  if (set & 1) {
    app.context.DefineMacro("$$SETUPDIR$$", "C:\\App");
    app.context.DefineMacro("$$FD$$", "D:\\Dist");
  }
  if (set & 2) {
    app.context.DefineMacro("OPEN", "/*$#");
    app.context.DefineMacro("E", "");
    app.context.DefineMacro("Z", "\x1A");
  }
  if (set & 4) app.context.DefineMacro("L", std::string(299, 'v'));  // can overflow a chunk
}

Outcome RunStream(const std::string& text, LanguageMode mode, unsigned macro_set,
                  std::size_t step) {
  FakeSystem system;
  FakeUi ui;
  SetupRun app(system, ui, system.encoding);
  DefineMacros(app, macro_set);
  SteppedInput input(text, step);
  StringOutput output;
  Outcome o;
  Status filtered = app.context.text_filter().FilterStream(input, output, kSource, kDest, mode);
  if (output.committed) std::abort();      // only the caller commits
  if (!ui.messages.empty()) std::abort();  // the filter shows nothing itself
  o.result = filtered.ok() ? 0 : 1;
  o.output = output.text;
  if (!filtered.ok()) {
    o.messages.push_back(StatusText(system.encoding, FailedStep::kTextCopy, filtered));
  }
  return o;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsDocumentedFailure(const std::string& m) {
  if (m == "Can't read C:\\in.txt file" || m == "Can't write C:\\out.txt file") return true;
  if (!StartsWith(m, "C:\\in.txt:(")) return false;
  return m.ends_with(") /* */ Syntax Error") || m.ends_with(") line too long");
}

// The filter's output for a source that holds no comment opener and no macro: its
// text-mode reading, every LF written as CR LF, a lead byte at the very end followed by
// the 0x1A of the end of input.
std::string PlainCopy(const std::string& raw) {
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\x1A') break;
    if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text.push_back(c);
  }
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b == '\n') {
      out += "\r\n";
    } else {
      out.push_back(static_cast<char>(b));
    }
    if (TextFilter::IsLeadByte(b)) {
      if (i + 1 == text.size()) {
        out.push_back('\x1A');
      } else {
        ++i;
        if (text[i] == '\n') {
          out += "\r\n";
        } else {
          out.push_back(text[i]);
        }
      }
    }
  }
  return out;
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace setup;
  if (size < 2) return 0;
  const LanguageMode mode = (data[0] & 1) ? LanguageMode::kJapanese : LanguageMode::kEnglish;
  const unsigned macro_set = (data[0] >> 1) & 7;
  const bool check_file_copy = (data[0] & 0x10) != 0;
  const std::size_t step = static_cast<std::size_t>(data[1]) + 1;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  Outcome whole = RunStream(text, mode, macro_set, 1 << 20);
  Outcome stepped = RunStream(text, mode, macro_set, step);
  if (whole.result != stepped.result || whole.output != stepped.output ||
      whole.messages != stepped.messages) {
    std::abort();
  }
  if (whole.result == 0 && !whole.messages.empty()) std::abort();
  if (whole.result == 1 &&
      (whole.messages.size() != 1 || !IsDocumentedFailure(whole.messages[0]))) {
    std::abort();
  }
  if (whole.result != 0 && whole.result != 1) std::abort();

  if (macro_set == 0 && text.find('/') == std::string::npos &&
      text.find('\0') == std::string::npos) {
    if (whole.result != 0 || whole.output != PlainCopy(text)) std::abort();
  }

  if (check_file_copy) {
    FakeSystem system;
    FakeUi ui;
    SetupRun app(system, ui, system.encoding);
    DefineMacros(app, macro_set);
    system.AddFile(kSource, text);
    system.AddFile(kDest, "old");
    Status copied = app.context.text_filter().CopyTextFile(kSource, kDest, mode);
    int result = copied.ok() ? 0 : 1;
    std::vector<std::string> messages;
    if (!copied.ok()) {
      messages.push_back(StatusText(system.encoding, FailedStep::kTextCopy, copied));
    }
    if (result != whole.result || messages != whole.messages) std::abort();
    const std::string expected = result == 0 ? whole.output : std::string("old");
    if (system.FileData(kDest) != expected || system.files.size() != 2) std::abort();
  }
  return 0;
}
