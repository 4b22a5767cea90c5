#include "app/batch/batch_ui.h"

#include "base/scoped_file.h"

namespace setup {

std::deque<std::string> BatchUi::ReadAnswers(const char* path) {
  std::deque<std::string> lines;
  if (!path || !*path) return lines;
  ScopedFile file(std::fopen(path, "rb"));
  if (!file) return lines;
  std::FILE* f = file.get();
  std::string line;
  int c;
  bool pending = false;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
      pending = false;
    } else {
      line += static_cast<char>(c);
      pending = true;
    }
  }
  if (pending) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int BatchUi::Next(int fallback, const char* dialog, std::string* value) {
  if (answers_.empty()) return fallback;
  std::string line = answers_.front();
  answers_.pop_front();
  if (line == "OK") return kIdOk;
  if (line == "CANCEL") return kIdCancel;
  if (value && line.compare(0, 3, "OK ") == 0) {
    *value = line.substr(3);
    return kIdOk;
  }
  std::fprintf(errors_, "setup: answer \"%s\" for %s is not understood; taken as CANCEL\n",
               line.c_str(), dialog);
  return kIdCancel;
}

int BatchUi::ShowSetupDialog(const std::string&, const std::string& destination,
                             const std::function<void(const std::string&)>& on_ok) {
  std::string value = destination;
  int answer = Next(kIdOk, "SetupDialog", &value);
  if (answer == kIdOk) on_ok(value);
  return answer;
}

int BatchUi::ShowFinishDialog(const std::string&) { return Next(kIdOk, "FinishDialog"); }

int BatchUi::ShowDiskDialog(const std::string&, const std::string&) {
  return Next(kIdCancel, "DiskDialog");
}

int BatchUi::ShowMessageDialog(const std::string&) { return Next(kIdOk, "MessageDialog"); }

}  // namespace setup
