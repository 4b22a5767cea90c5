// The macro table against a reference model. Input: one byte, the number of filler rows
// defined first (low six bits; their names never occur in the other pieces), then
// NUL-separated pieces: the text to expand, then names and values in turns.
// Define must answer and fill the table as the model does (names and values cut at 299
// bytes, a redefinition keeps its row, the 51st name is refused), and Expand, for every
// buffer size tried, must write within the buffer, end with a NUL, and give the model's
// expansion when it fits and its first size - 1 bytes when it does not.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/macro_table.h"

namespace setup {
namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct ModelRow {
  std::string name, value;
};

class Model {
 public:
  MacroTable::DefineResult Define(std::string_view name, std::string_view value) {
    name = name.substr(0, MacroTable::kFieldSize - 1);
    value = value.substr(0, MacroTable::kFieldSize - 1);
    for (ModelRow& row : rows_) {
      if (row.name == name) {
        row.value = value;
        return MacroTable::DefineResult::kDefined;
      }
    }
    if (rows_.size() >= static_cast<std::size_t>(MacroTable::kMaxRows)) {
      return MacroTable::DefineResult::kFull;
    }
    rows_.push_back({std::string(name), std::string(value)});
    return MacroTable::DefineResult::kDefined;
  }

  // One pass from left to right: at each place the first row (in table order) whose
  // non-empty name begins there is replaced by its value, and the scan goes on after
  // the name; the value is never looked at again.
  std::string Expand(std::string_view text) const {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
      const ModelRow* match = nullptr;
      for (const ModelRow& row : rows_) {
        if (!row.name.empty() && text.substr(i, row.name.size()) == row.name) {
          match = &row;
          break;
        }
      }
      if (match) {
        out += match->value;
        i += match->name.size();
      } else {
        out += text[i++];
      }
    }
    return out;
  }

  const std::vector<ModelRow>& rows() const { return rows_; }

 private:
  std::vector<ModelRow> rows_;
};

std::vector<std::string_view> SplitAtNul(std::string_view input) {
  std::vector<std::string_view> pieces;
  for (;;) {
    std::size_t nul = input.find('\0');
    pieces.push_back(input.substr(0, nul));
    if (nul == std::string_view::npos) return pieces;
    input.remove_prefix(nul + 1);
  }
}

void CheckExpand(const MacroTable& table, const std::string& text, const std::string& expected,
                 std::size_t size) {
  // Exactly `size` bytes on the heap, so that AddressSanitizer sees any byte beyond.
  auto out = std::make_unique<char[]>(size);
  std::memset(out.get(), 0x5A, size);
  bool fits = table.Expand(text.c_str(), out.get(), size);
  Check(fits == (expected.size() < size));
  std::size_t len = strnlen(out.get(), size);
  Check(len < size);  // NUL-terminated inside the buffer
  if (fits) {
    Check(std::string_view(out.get(), len) == expected);
  } else {
    Check(std::string_view(out.get(), len) == std::string_view(expected).substr(0, size - 1));
  }
}

void DefineAndExpand(std::string_view input) {
  if (input.empty()) return;
  int fillers = static_cast<unsigned char>(input[0]) & 0x3F;
  std::vector<std::string_view> pieces = SplitAtNul(input.substr(1));

  auto table = std::make_unique<MacroTable>();
  Model model;
  for (int i = 0; i < fillers; ++i) {
    // Rows that fill the table towards its limit; the text seldom holds their names.
    std::string name = "\x7f\x7f" + std::to_string(i) + "\x7f";
    std::string value(static_cast<std::size_t>(i) * 7, 'f');
    Check(table->Define(name, value) == model.Define(name, value));
  }
  for (std::size_t i = 1; i + 1 < pieces.size(); i += 2) {
    Check(table->Define(pieces[i], pieces[i + 1]) == model.Define(pieces[i], pieces[i + 1]));
  }
  if (pieces.size() % 2 == 0) {  // a name without its value: an empty value
    Check(table->Define(pieces.back(), "") == model.Define(pieces.back(), ""));
  }

  Check(table->count() == static_cast<int>(model.rows().size()));
  for (int i = 0; i < table->count(); ++i) {
    Check(model.rows()[i].name == table->row(i).name);
    Check(model.rows()[i].value == table->row(i).value);
  }

  const std::string text(pieces[0]);
  const std::string expected = model.Expand(text);
  for (std::size_t size :
       {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{256}, std::size_t{512},
        std::size_t{4096}, expected.size(), expected.size() + 1}) {
    if (size > 0) CheckExpand(*table, text, expected, size);
  }
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  setup::DefineAndExpand(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
