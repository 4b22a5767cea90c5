// The flow of a run as the checker follows it: where the run may be when it reaches a
// line (running it, or passing over it in search of a label) and what it then knows on
// that path: the files and folders known to be there, whether the program's disk may have
// been changed, and the macros defined. Two paths that meet keep only what both know.
#ifndef SETUP_SCRIPT_CHECK_FLOW_H_
#define SETUP_SCRIPT_CHECK_FLOW_H_

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace setup {

// The value of every macro that only a run knows. The byte 0x01 means nothing to the
// lexer or to the text filter, so cutting is unchanged, and a text that holds it is taken
// as unknown. It counts as no byte toward a line's length: an unknown value may be empty.
inline constexpr char kUnknown[] = "\x01";

inline bool HoldsUnknown(std::string_view text) { return text.find(kUnknown[0]) != text.npos; }

// The bytes that mark unknown values (0x02 follows 0x01 in the value of $$SETUPDIR$$);
// they count as nothing toward a length.
inline bool IsUnknownByte(char c) { return c == '\x01' || c == '\x02'; }

// A macro as one path of the run knows it.
struct KnownMacro {
  std::string name;
  std::string value;  // kUnknown where the paths that met disagree
  bool certain;       // defined on every path that met here

  bool operator==(const KnownMacro&) const = default;
};

// What the run knows on a path. Paths are normal paths (NormalPath in check_text.h).
struct Facts {
  std::set<std::string> present;   // files known to exist
  std::set<std::string> folders;   // folders made (or known to exist)
  std::set<std::string> touched;   // files and folders some path that met here made
  bool same_disk = true;           // the program's own disk may be at hand
  bool other_disk = false;         // a DiskCheck may have asked for another disk
  std::vector<KnownMacro> macros;  // in the order of first definition
  int min_rows = 0;                // the fewest rows the macro table holds on any path

  bool operator==(const Facts&) const = default;
};

inline std::set<std::string> Intersect(const std::set<std::string>& a,
                                       const std::set<std::string>& b) {
  std::set<std::string> out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

// What both paths know: a macro keeps its value where both define it alike; a macro
// defined on one path only, or with two values, is unknown (and not certain).
inline Facts Meet(const Facts& a, const Facts& b) {
  if (a == b) return a;
  Facts out;
  out.present = Intersect(a.present, b.present);
  out.folders = Intersect(a.folders, b.folders);
  out.touched = a.touched;
  out.touched.insert(b.touched.begin(), b.touched.end());
  out.same_disk = a.same_disk || b.same_disk;
  out.other_disk = a.other_disk || b.other_disk;
  out.min_rows = std::min(a.min_rows, b.min_rows);
  out.macros = a.macros;
  for (KnownMacro& m : out.macros) {
    auto it = std::find_if(b.macros.begin(), b.macros.end(),
                           [&](const KnownMacro& o) { return o.name == m.name; });
    if (it == b.macros.end()) {
      m.certain = false;
      m.value = kUnknown;
    } else {
      m.certain = m.certain && it->certain;
      if (it->value != m.value) m.value = kUnknown;
    }
  }
  for (const KnownMacro& m : b.macros) {
    if (std::none_of(a.macros.begin(), a.macros.end(),
                     [&](const KnownMacro& o) { return o.name == m.name; })) {
      out.macros.push_back({m.name, kUnknown, false});
    }
  }
  return out;
}

// Where the run may be when it reaches a line: running it (with what it knows), or
// passing over it in search of a label.
struct Flow {
  // What a search for a label knows: shared, since it does not change while the run
  // passes over the lines, and a script may have many searches at once.
  struct Skip {
    std::shared_ptr<const Facts> facts;
    std::set<int> goto_lines;
  };
  std::optional<Facts> running;
  std::map<std::string, Skip> skipping;
  // A run with other files in the program directory may reach the line: it is not dead,
  // though nothing is checked there.
  bool otherwise = false;

  bool reached() const { return running.has_value() || !skipping.empty(); }
  void Run(const Facts& facts) { running = running ? Meet(*running, facts) : facts; }
  void SkipTo(const std::string& label, Skip skip) {
    auto [it, added] = skipping.try_emplace(label, std::move(skip));
    if (added) return;
    Skip& old = it->second;
    if (old.facts != skip.facts && !(*old.facts == *skip.facts)) {
      old.facts = std::make_shared<const Facts>(Meet(*old.facts, *skip.facts));
    }
    old.goto_lines.insert(skip.goto_lines.begin(), skip.goto_lines.end());
  }
};

// What one command, with the commands it chains to, leaves for the next line.
struct Outcome {
  std::optional<Facts> next;
  std::vector<std::pair<std::string, Facts>> skips;
  bool otherwise = false;  // a condition decided by the files may let the next line run
};

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECK_FLOW_H_
