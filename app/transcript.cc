#include "app/transcript.h"

#include "base/utf8.h"

namespace setup {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    unsigned char c = s[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // Copy one well-formed UTF-8 sequence, or replace the stray byte.
      Utf8Char u = DecodeUtf8(text, i);
      if (u.well_formed) {
        out.append(text, i, u.length);
      } else {
        out += "\xEF\xBF\xBD";
      }
      i += u.length;
    }
  }
  out += '"';
  return out;
}

const char* AnswerName(int answer) { return answer == kIdOk ? "OK" : "CANCEL"; }

void TranscriptUi::Emit(const std::string& line) {
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

int TranscriptUi::ShowSetupDialog(const std::string& title, const std::string& destination,
                                  const std::function<void(const std::string&)>& on_ok) {
  std::string head = "{\"event\":\"SetupDialog\",\"title\":" + JsonString(title) +
                     ",\"destination\":" + JsonString(destination);
  bool recorded = false;
  int answer = inner_.ShowSetupDialog(title, destination, [&](const std::string& value) {
    Emit(head + ",\"answer\":\"OK\",\"value\":" + JsonString(value) + "}");
    recorded = true;
    on_ok(value);
  });
  if (!recorded && answer != kIdFailed) {
    Emit(head + ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  }
  return answer;
}

void TranscriptUi::ShowMessageBox(const std::string& text, std::uint32_t style) {
  Emit("{\"event\":\"MessageBox\",\"caption\":" + JsonString(caption_) +
       ",\"style\":" + std::to_string(style) + ",\"text\":" + JsonString(text) + "}");
  inner_.ShowMessageBox(text, style);
}

int TranscriptUi::ShowFinishDialog(const std::string& title) {
  int answer = inner_.ShowFinishDialog(title);
  Emit("{\"event\":\"FinishDialog\",\"title\":" + JsonString(title) +
       ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  return answer;
}

int TranscriptUi::ShowDiskDialog(const std::string& title, const std::string& text) {
  int answer = inner_.ShowDiskDialog(title, text);
  Emit("{\"event\":\"DiskDialog\",\"title\":" + JsonString(title) + ",\"text\":" +
       JsonString(text) + ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  return answer;
}

int TranscriptUi::ShowMessageDialog(const std::string& text) {
  int answer = inner_.ShowMessageDialog(text);
  Emit("{\"event\":\"MessageDialog\",\"text\":" + JsonString(text) +
       ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  return answer;
}

void TranscriptUi::SetProgressRange(int max) {
  Emit("{\"event\":\"Progress\",\"range\":" + std::to_string(max) + "}");
  inner_.SetProgressRange(max);
}

void TranscriptUi::SetProgressPos(int pos) {
  Emit("{\"event\":\"Progress\",\"pos\":" + std::to_string(pos) + "}");
  inner_.SetProgressPos(pos);
}

}  // namespace setup
