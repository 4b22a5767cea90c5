#include "app/terminal/terminal_text.h"

#include <algorithm>
#include <cctype>

#include "platform/ui.h"

namespace setup {

std::string ProgressLine(int pos, int max, int width) {
  max = std::max(max, 0);
  pos = std::clamp(pos, 0, max);
  int percent = max > 0 ? static_cast<int>(static_cast<long long>(pos) * 100 / max) : 0;
  // Numbers padded to the width they reach at the end, so the bar keeps its length.
  std::string last = std::to_string(max);
  std::string line_no = std::to_string(pos);
  std::string percent_text = std::to_string(percent);
  std::string tail = "  " + std::string(3 - percent_text.size(), ' ') + percent_text + "%  line " +
                     std::string(last.size() - line_no.size(), ' ') + line_no + " of " + last;
  // The bar takes what is left, between 10 and 40 cells; on a very narrow terminal the
  // line is cut rather than wrapped, which would scroll the screen.
  int cells = std::clamp(width - 2 - static_cast<int>(tail.size()) - 1, 10, 40);
  int filled = max > 0 ? static_cast<int>(static_cast<long long>(pos) * cells / max) : 0;
  std::string line = "[" + std::string(filled, '#') + std::string(cells - filled, '-') + "]" + tail;
  if (width > 1 && static_cast<int>(line.size()) > width - 1) line.resize(width - 1);
  return line;
}

std::string DialogText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size())
      ++i;
    else if (text[i] == '&')
      continue;
    out += text[i];
  }
  return out;
}

int QuestionAnswer(std::string_view typed) {
  while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.front())))
    typed.remove_prefix(1);
  while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.back())))
    typed.remove_suffix(1);
  std::string word;
  for (char c : typed) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word.empty() || word == "ok" || word == "o" || word == "yes" || word == "y") return kIdOk;
  if (word == "cancel" || word == "c" || word == "no" || word == "n") return kIdCancel;
  return 0;
}

std::string CancelledReason(std::string_view question) {
  return "CANCEL was answered to \"" + std::string(question) + "\"";
}

std::string StoppedLine(int line, std::string_view reason) {
  std::string one_line;
  for (char c : reason) one_line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  std::size_t first = one_line.find_first_not_of(' ');
  std::size_t last = one_line.find_last_not_of(' ');
  std::string head = "Stopped at line " + std::to_string(std::max(line, 0)) + " of Setup.Inf";
  if (first == std::string::npos) return head + ".";
  return head + ": " + one_line.substr(first, last - first + 1);
}

}  // namespace setup
