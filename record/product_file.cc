#include "record/product_file.h"

#include <memory>

#include "base/utf8.h"
#include "platform/system.h"

namespace setup {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

bool IsWellFormedUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    Utf8Char c = DecodeUtf8(text, i);
    if (!c.well_formed) return false;
    i += c.length;
  }
  return true;
}

bool IsIdCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == '{' || c == '}';
}

// The parser's state across lines: which keys were seen, and where.
struct Parse {
  ProductFile* file = nullptr;
  bool in_product = false;
  bool seen_product = false;
  int id_line = 0;
  std::vector<std::string> seen_keys;

  void Fault(int line, std::string text) { file->faults.push_back({line, std::move(text)}); }
  void Key(int line, std::string_view key, std::string_view value);
  void Line(int number, std::string_view line);
};

void Parse::Key(int line, std::string_view key, std::string_view value) {
  static const char* const kKeys[] = {"Id", "Name", "Version", "Publisher", "URL", "Rollback"};
  const char* known = nullptr;
  for (const char* k : kKeys) {
    if (EqualsNoCase(key, k)) known = k;
  }
  if (known == nullptr) {
    Fault(line, "unknown key '" + std::string(key) + "' in [Product]");
    return;
  }
  for (const std::string& seen : seen_keys) {
    if (seen == known) {
      Fault(line, std::string(known) + " is given twice");
      return;
    }
  }
  seen_keys.push_back(known);
  if (EqualsNoCase(known, "Id")) id_line = line;
  std::size_t limit = known[0] == 'I' ? kProductIdLimit : kProductValueLimit;
  if (value.size() > limit) {
    Fault(line, std::string(known) + " is longer than " + std::to_string(limit) + " bytes");
    return;
  }
  ProductInfo& info = file->info;
  if (EqualsNoCase(known, "Id")) {
    if (value.empty()) return Fault(line, "Id is empty");
    for (char c : value) {
      if (!IsIdCharacter(c)) {
        return Fault(line, "Id '" + std::string(value) +
                               "' may hold only letters, digits, '.', '-', '_', '{' and '}'");
      }
    }
    info.id = value;
  } else if (EqualsNoCase(known, "Rollback")) {
    if (EqualsNoCase(value, "yes")) {
      info.rollback = true;
    } else if (EqualsNoCase(value, "no")) {
      info.rollback = false;
    } else {
      Fault(line, "Rollback must be yes or no, not '" + std::string(value) + "'");
    }
  } else {
    std::string* field = EqualsNoCase(known, "Name")        ? &info.name
                         : EqualsNoCase(known, "Version")   ? &info.version
                         : EqualsNoCase(known, "Publisher") ? &info.publisher
                                                            : &info.url;
    *field = value;
  }
}

void Parse::Line(int number, std::string_view raw) {
  std::string_view line = Trim(raw);
  if (line.empty() || line[0] == ';' || line[0] == '#') return;
  if (!IsWellFormedUtf8(line)) return Fault(number, "the line is not UTF-8");
  if (line[0] == '[') {
    if (line.back() != ']') return Fault(number, "a section name without its closing ']'");
    in_product = EqualsNoCase(Trim(line.substr(1, line.size() - 2)), "Product");
    seen_product = seen_product || in_product;
    return;
  }
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return Fault(number, "a line without '=' and a value");
  std::string_view key = Trim(line.substr(0, equals));
  std::string_view value = Trim(line.substr(equals + 1));
  if (key.empty()) return Fault(number, "a value without a key");
  if (!seen_product) return Fault(number, "a key before the section [Product]");
  if (in_product) Key(number, key, value);
}

}  // namespace

void ParseProductFile(std::string_view text, ProductFile* file) {
  file->info = ProductInfo();
  file->faults.clear();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Parse parse;
  parse.file = file;
  int number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    ++number;
    if (line.find('\0') != std::string_view::npos) {
      parse.Fault(number, "the line holds a NUL byte");
    } else {
      parse.Line(number, line);
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  if (!parse.seen_product) {
    parse.Fault(0, "no section [Product]");
  } else if (parse.id_line == 0) {
    parse.Fault(0, "[Product] has no Id");
  }
}

Status ReadProductFile(System& system, const std::string& path, ProductFile* file) {
  file->path = path;
  std::unique_ptr<InputFile> input;
  if (!system.OpenForReading(file->path, &input).ok()) {
    // Only a failed opening is looked into: no file, or one that cannot be read.
    std::uint32_t mtime = 0;
    bool found = system.GetFileStatus(file->path, &mtime).ok();
    return Status(found ? StatusKind::kReadError : StatusKind::kNotFound, file->path);
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    std::ptrdiff_t n = input->Read(buffer, sizeof buffer);
    if (n < 0) return Status(StatusKind::kReadError, file->path);
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kProductFileLimit) return Status(StatusKind::kReadError, file->path);
  }
  ParseProductFile(text, file);
  return Status::Ok();
}

std::string FormatProductFaults(const std::string& path_utf8, const ProductFile& file) {
  std::string out;
  for (const ProductFault& f : file.faults) {
    out += path_utf8 + ":" + std::to_string(f.line) + ": error: " + f.text + "\n";
  }
  return out;
}

}  // namespace setup
