// What the checker reads in the text of a script and of its paths, apart from running it:
// paths as Windows resolves them, the names Windows refuses, words that look like macros
// but are none, the script's code page, the editor's line numbers and findings made safe
// to print one per line.
#ifndef SETUP_SCRIPT_CHECK_TEXT_H_
#define SETUP_SCRIPT_CHECK_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/encoding.h"
#include "platform/system.h"
#include "script/check_flow.h"
#include "script/script_store.h"

namespace setup {

// `path` as Windows resolves it before it looks a name up: letters of single-byte
// characters upper-cased, `/` made `\`, repeated separators made one, `.` components
// dropped, `..` taking the component before it away, and every component without its
// trailing dots and blanks. The second byte of a double-byte character is never a
// separator. Without `fold`, letters keep their case: a path to look up.
std::string NormalPath(const Encoding& encoding, std::string_view path, bool fold = true);

// The directory part of a normal path: up to its last `\`, without it; empty when none.
std::string ParentOf(const Encoding& encoding, std::string_view normal_path);

// The first character of `path` that Windows refuses in a file name (a control byte, a
// quote, `<`, `>`, `|`, `*` or `?`), escaped; empty when there is none. Unknown values
// are not looked at.
std::string RefusedNameChar(const Encoding& encoding, std::string_view path);

// `text` (UTF-8) with every control byte escaped, so that a finding stays one line:
// TAB as `\t`, CR as `\r`, LF as `\n`, the others as `\xNN` (two upper-case hex digits).
std::string EscapeControls(std::string_view text);

// The words of an expanded line that look like macros but name none that `macros`
// defines: `$$NAME$$` and `%NAME%`, and a `$$NAME$` or `%NAME` that a defined macro
// begins with. Each comes with the defined name to suggest, or empty.
struct MacroTypo {
  std::string word;
  std::string suggestion;
};
std::vector<MacroTypo> FindMacroTypos(std::string_view line, const std::vector<KnownMacro>& macros);

// Why the bytes of one script line are not code page 932 text: a line that reads as
// UTF-8, an invalid double-byte character, a byte the code page does not use. Empty when
// they are, or when the encoding is not code page 932.
std::string NotCodePageText(const Encoding& encoding, std::string_view line);

// True when `line` begins with the UTF-8 byte-order mark.
inline bool BeginsWithByteOrderMark(std::string_view line) {
  return line.substr(0, 3) == "\xEF\xBB\xBF";
}

// The script's lines as an editor numbers them (one per LF), against the lines the run
// reads: the loader counts the lines it reads (a line over 1,023 bytes is read in
// pieces), and the run counts the stored lines, where the pre-scan's cut of a quoted
// title or destination leaves the rest of that line as a line of its own.
class EditorLines {
 public:
  // Reads `file` as the loader does, and finds the stored lines of `store` in it.
  void Read(InputFile& file, const ScriptStore& store);

  int OfRead(int n) const { return At(read_editor_, n); }
  int OfStored(int n) const { return At(stored_editor_, n); }
  // The text of each line read, without its LF.
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  static int At(const std::vector<int>& lines, int n) {
    if (n <= 0) return n;
    if (static_cast<std::size_t>(n) <= lines.size()) return lines[n - 1];
    return (lines.empty() ? 0 : lines.back()) + n - static_cast<int>(lines.size());
  }

  std::vector<int> read_editor_;
  std::vector<int> stored_editor_;
  std::vector<std::string> texts_;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECK_TEXT_H_
