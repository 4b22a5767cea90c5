// The flow of a run as the checker follows it: where the run may be when it reaches a
// line (running it, or passing over it in search of a label) and which files it then
// knows to exist, so that a copy guarded by IfFileFind is not taken for a mistake.
#ifndef SETUP_SCRIPT_CHECK_FLOW_H_
#define SETUP_SCRIPT_CHECK_FLOW_H_

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace setup {

// Files known to exist on a path of the run, folded.
using Facts = std::set<std::string>;

inline Facts Intersect(const Facts& a, const Facts& b) {
  Facts out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

// Where the run may be when it reaches a line: running it (with what it knows), or
// passing over it in search of a label.
struct Flow {
  struct Skip {
    Facts facts;
    std::set<int> goto_lines;
  };
  std::optional<Facts> running;
  std::map<std::string, Skip> skipping;

  bool reached() const { return running.has_value() || !skipping.empty(); }
  void Run(const Facts& facts) { running = running ? Intersect(*running, facts) : facts; }
  void SkipTo(const std::string& label, const Facts& facts, const std::set<int>& lines) {
    auto [it, added] = skipping.try_emplace(label, Skip{facts, lines});
    if (!added) {
      it->second.facts = Intersect(it->second.facts, facts);
      it->second.goto_lines.insert(lines.begin(), lines.end());
    }
  }
};

// What one command, with the commands it chains to, leaves for the next line.
struct Outcome {
  std::optional<Facts> next;
  std::vector<std::pair<std::string, Facts>> skips;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECK_FLOW_H_
