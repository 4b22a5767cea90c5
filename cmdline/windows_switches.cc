// Setup.exe's switches, as installers on Windows take them: /S, /D=path, /LOG=file,
// /ANSWERS=file, /CHECK [path], /? (also /HELP and /H, as many Windows installers take
// them). Case-insensitive. Portable, so that the native unit
// tests cover it; WinMain hands it the command line after the program name.
#include <cctype>
#include <string>
#include <vector>

#include "cmdline/options.h"

namespace setup {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string WithoutQuotes(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '"') out += c;
  }
  return out;
}

struct Word {
  std::string text;   // quotes removed
  std::size_t start;  // where it begins in the line
};

// The next word at or after `*pos`; false at the end of the line.
bool NextWord(std::string_view line, std::size_t* pos, Word* word) {
  std::size_t i = *pos;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size()) return false;
  word->start = i;
  word->text.clear();
  bool quoted = false;
  for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      word->text += line[i];
    }
  }
  *pos = i;
  return true;
}

// "/NAME=value": the value, or false with the error when it is empty.
bool TakeValue(const Word& word, std::size_t name_size, std::optional<std::string>* slot,
               std::string* error) {
  std::string value = word.text.substr(name_size);
  if (value.empty()) {
    *error = "switch '" + word.text + "' needs a value";
    return false;
  }
  *slot = value;
  return true;
}

// The switches that ask for the usage.
bool IsHelp(std::string_view word) {
  return word == "/?" || EqualsNoCase(word, "/HELP") || EqualsNoCase(word, "/H");
}

// A word that ends the path of /D=.
bool IsSwitch(std::string_view word) {
  return EqualsNoCase(word, "/S") || EqualsNoCase(word, "/CHECK") || IsHelp(word) ||
         StartsWithNoCase(word, "/D=") || StartsWithNoCase(word, "/LOG=") ||
         StartsWithNoCase(word, "/ANSWERS=") || StartsWithNoCase(word, "/UNINSTALL=");
}

}  // namespace

bool ParseWindowsSwitches(std::string_view line, Options* options, std::string* error) {
  *options = Options();
  std::size_t pos = 0;
  Word word;
  while (NextWord(line, &pos, &word)) {
    const std::string& w = word.text;
    if (StartsWithNoCase(w, "/D=")) {
      // Blanks belong to the path: it runs to the end of the line, or to the next word
      // that is one of the switches. A path holds no quotes, so any there only grouped it.
      std::size_t end = line.size();
      std::size_t after = pos;
      Word next;
      while (NextWord(line, &after, &next)) {
        if (IsSwitch(next.text)) {
          end = next.start;
          break;
        }
      }
      pos = end;
      std::string value = WithoutQuotes(line.substr(word.start, end - word.start));
      while (!value.empty() && IsBlank(value.back())) value.pop_back();
      word.text = value;
      if (!TakeValue(word, 3, &options->dest, error)) return false;
      continue;
    }
    if (EqualsNoCase(w, "/S")) {
      options->silent = true;
    } else if (StartsWithNoCase(w, "/LOG=")) {
      if (!TakeValue(word, 5, &options->log, error)) return false;
    } else if (StartsWithNoCase(w, "/ANSWERS=")) {
      if (!TakeValue(word, 9, &options->answers, error)) return false;
    } else if (StartsWithNoCase(w, "/UNINSTALL=")) {
      if (!TakeValue(word, 11, &options->uninstall, error)) return false;
    } else if (EqualsNoCase(w, "/CHECK")) {
      options->check = true;
      // An optional path follows; a word that begins with a slash is the next switch.
      std::size_t after = pos;
      Word path;
      if (NextWord(line, &after, &path) && !path.text.empty() && path.text[0] != '/') {
        options->check_path = path.text;
        pos = after;
      }
    } else if (IsHelp(w)) {
      options->help = true;
    } else if (EqualsNoCase(w, "/D") || EqualsNoCase(w, "/LOG") || EqualsNoCase(w, "/ANSWERS")) {
      *error = "switch '" + w + "' needs '=' and a value";
      return false;
    } else {
      *error = "unknown switch '" + w + "'";
      return false;
    }
  }
  if (options->silent || options->answers) options->ui = FrontEndChoice::kBatch;
  return true;
}

}  // namespace setup
