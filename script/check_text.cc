#include "script/check_text.h"

#include <cstring>
#include <memory>

#include "base/code_page_text.h"
#include "base/utf8.h"
#include "text/text_reader.h"

namespace setup {
namespace {

bool IsWordByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsWordStart(char c) { return IsWordByte(c) && !(c >= '0' && c <= '9'); }

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::string Hex(unsigned char byte) {
  const char* digits = "0123456789ABCDEF";
  return std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
}

// Whether the encoding is code page 932, judged by bytes where its lead bytes differ from
// those of the other double-byte code pages.
bool IsCodePage932(const Encoding& encoding) {
  for (unsigned b : {0x81u, 0x9Fu, 0xE0u, 0xFCu}) {
    if (!encoding.IsLeadByte(static_cast<unsigned char>(b))) return false;
  }
  return !encoding.IsLeadByte(0xA1) && !encoding.IsLeadByte(0xFD);
}

// A line that is UTF-8 through and through and holds a character of three bytes or more:
// Japanese text saved as UTF-8.
bool ReadsAsUtf8(std::string_view line) {
  bool wide = false;
  for (std::size_t i = 0; i < line.size();) {
    Utf8Char c = DecodeUtf8(line, i);
    if (!c.well_formed) return false;
    wide = wide || c.length >= 3;
    i += c.length;
  }
  return wide;
}

// True when `before` ends with a #define word and blanks: the next word is the name it
// defines.
bool NamedByDefine(std::string_view before) {
  while (!before.empty() && (before.back() == ' ' || before.back() == '\t')) {
    before.remove_suffix(1);
  }
  for (std::string_view word : {"#define", "#define_registry"}) {
    if (before.size() >= word.size() &&
        SameLetters(before.substr(before.size() - word.size()), word)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string NormalPath(const Encoding& encoding, std::string_view path, bool fold) {
  LeadByteOf lead(encoding);
  std::string folded = FoldPath(lead, path);
  if (!fold) {
    for (std::size_t i = 0; i < folded.size(); ++i) {
      if (folded[i] != '\\') folded[i] = path[i];
    }
  }
  std::string_view text = folded;
  std::size_t root = 0;
  while (root < text.size() && text[root] == '\\' && root < 2) ++root;
  std::vector<std::string_view> parts;
  auto take = [&](std::string_view part) {
    if (part == ".") return;
    if (part == "..") {
      bool drive = parts.size() == 1 && parts[0].size() == 2 && parts[0][1] == ':';
      if (!parts.empty() && parts.back() != ".." && !drive) {
        parts.pop_back();
      } else if (parts.empty() && root == 0) {
        parts.push_back(part);
      }
      return;
    }
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
    if (!part.empty()) parts.push_back(part);
  };
  std::size_t start = root;
  for (std::size_t i = root; i <= text.size();) {
    if (i == text.size() || text[i] == '\\') {
      take(text.substr(start, i - start));
      start = ++i;
    } else {
      i += CharLength(lead, text, i);
    }
  }
  std::string out(root, '\\');
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += parts[i];
  }
  return out;
}

std::string ParentOf(const Encoding& encoding, std::string_view normal_path) {
  std::size_t length = DirectoryLength(LeadByteOf(encoding), normal_path);
  return std::string(normal_path.substr(0, length == 0 ? 0 : length - 1));
}

std::string RefusedNameChar(const Encoding& encoding, std::string_view path) {
  LeadByteOf lead(encoding);
  for (std::size_t i = 0; i < path.size(); i += CharLength(lead, path, i)) {
    if (CharLength(lead, path, i) != 1) continue;
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsUnknownByte(static_cast<char>(c))) continue;
    if (c < 0x20 || std::strchr("\"<>|*?", c) != nullptr) return EscapeControls(path.substr(i, 1));
  }
  return {};
}

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (b < 0x20 || b == 0x7F) {
      out += Hex(b);
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<MacroTypo> FindMacroTypos(std::string_view line,
                                      const std::vector<KnownMacro>& macros) {
  std::vector<MacroTypo> typos;
  auto defined = [&](std::string_view name) {
    return std::any_of(macros.begin(), macros.end(),
                       [&](const KnownMacro& m) { return m.name == name; });
  };
  auto spelled = [&](std::string_view name) {
    for (const KnownMacro& m : macros) {
      if (SameLetters(m.name, name)) return m.name;
    }
    return std::string();
  };
  for (std::size_t i = 0; i < line.size();) {
    bool dollars = line.substr(i, 2) == "$$";
    std::string_view sigil = dollars ? "$$" : "%";
    if ((!dollars && line[i] != '%') || i + sigil.size() >= line.size() ||
        !IsWordStart(line[i + sigil.size()])) {
      i += dollars ? 2 : 1;
      continue;
    }
    std::size_t end = i + sigil.size();
    while (end < line.size() && IsWordByte(line[end])) ++end;
    std::string_view word = line.substr(i + sigil.size(), end - i - sigil.size());
    std::string full = std::string(sigil) + std::string(word) + std::string(sigil);
    if (line.substr(end, sigil.size()) == sigil) {
      if (!defined(full) && !NamedByDefine(line.substr(0, i))) {
        typos.push_back({full, spelled(full)});
      }
      i = end + sigil.size();
      continue;
    }
    if (dollars && end < line.size() && line[end] == '$') ++end;
    std::string suggestion = spelled(full);
    if (!suggestion.empty()) typos.push_back({std::string(line.substr(i, end - i)), suggestion});
    i = end;
  }
  return typos;
}

std::string NotCodePageText(const Encoding& encoding, std::string_view line) {
  if (!IsCodePage932(encoding)) return {};
  if (ReadsAsUtf8(line)) return "this line reads as UTF-8";
  for (std::size_t i = 0; i < line.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(line[i]);
    if (IsCp932LeadByte(b)) {
      unsigned char t = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : 0;
      if (t < 0x40 || t == 0x7F || t > 0xFC) {
        return "an invalid double-byte character (" + Hex(b) + (t != 0 ? Hex(t) : "") + ")";
      }
      ++i;
    } else if (b == 0x80 || b == 0xA0 || b >= 0xFD) {
      return "a byte code page 932 does not use (" + Hex(b) + ")";
    }
  }
  return {};
}

void EditorLines::Read(InputFile& file, const ScriptStore& store) {
  std::vector<std::size_t> ends;  // where each line read ends in the store
  TextReader reader(&file);
  char text[ScriptStore::kReadLimit];
  int editor = 1;
  std::size_t end = 0;
  std::string current;
  for (std::size_t n; (n = reader.ReadLine(text, sizeof text)) > 0;) {
    bool lf = text[n - 1] == '\n';
    std::size_t length = std::strlen(text);  // as the loader stores it
    if (length > 0 && text[length - 1] == '\n') --length;
    end += length + 1;
    ends.push_back(end);
    read_editor_.push_back(editor);
    current.append(text, lf ? n - 1 : n);
    if (lf) {
      texts_.push_back(std::move(current));
      current.clear();
      ++editor;
    }
  }
  if (!current.empty()) texts_.push_back(std::move(current));
  char byte;
  std::size_t offset = 0;
  std::size_t k = 0;
  for (std::size_t start = 0; store.LineAt(&offset, &byte, 1) != ScriptStore::LineResult::kEnd;
       start = offset) {
    while (k < ends.size() && ends[k] <= start) ++k;
    stored_editor_.push_back(OfRead(static_cast<int>(k) + 1));
  }
}

}  // namespace setup
