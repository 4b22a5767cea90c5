#include "app/transcript.h"

#include <cerrno>

#include "base/utf8.h"
#include "script/startup.h"

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

bool CloseTranscript(std::FILE* file, bool recorded_whole) {
  if (file == nullptr) return recorded_whole;
  bool closed = std::fclose(file) == 0;
  return recorded_whole && closed;
}

int StatusAfterTranscript(int status, bool log_whole) {
  return status == kExitFinished && !log_whole ? kExitTranscriptFailed : status;
}

void TranscriptUi::Emit(const std::string& line) {
  if (failed_) return;
  std::string record = line + '\n';
  errno = 0;
  bool written = std::fwrite(record.data(), 1, record.size(), out_) == record.size();
  int write_error = errno;
  // Flushed even after a failed write, so that the stream's buffer is not left to a
  // later record.
  bool flushed = std::fflush(out_) == 0;
  failed_ = !written || !flushed;
  if (failed_) error_ = !written && write_error != 0 ? write_error : errno;
}

void TranscriptUi::EmitPending() {
  if (pending_.empty()) return;
  std::string record = std::move(pending_);
  pending_.clear();
  Emit(record);
}

int TranscriptUi::ShowSetupDialog(const std::string& title, const std::string& destination,
                                  const DestinationAccepted& on_ok) {
  std::string head = "{\"event\":\"SetupDialog\",\"title\":" + JsonString(title) +
                     ",\"destination\":" + JsonString(destination);
  bool recorded = false;
  int answer = target().ShowSetupDialog(title, destination, [&](const std::string& value) {
    pending_ = head + ",\"answer\":\"OK\",\"value\":" + JsonString(value) + "}";
    bool accepted = on_ok(value);
    if (accepted) EmitPending();  // a run that recorded nothing
    pending_.clear();
    recorded = recorded || accepted;
    return accepted;
  });
  if (!recorded && answer != kIdFailed) {
    Emit(head + ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  }
  return answer;
}

// While SetupDialog's OK is held back, a message box is the refusal of its destination
// (an accepted run begins with SetProgressRange) and is recorded without it.
void TranscriptUi::ShowMessageBox(const std::string& text, std::uint32_t style) {
  Emit("{\"event\":\"MessageBox\",\"caption\":" + JsonString(caption_) +
       ",\"style\":" + std::to_string(style) + ",\"text\":" + JsonString(text) + "}");
  target().ShowMessageBox(text, style);
}

int TranscriptUi::ShowFinishDialog(const std::string& title) {
  EmitPending();
  int answer = target().ShowFinishDialog(title);
  Emit("{\"event\":\"FinishDialog\",\"title\":" + JsonString(title) +
       ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  return answer;
}

int TranscriptUi::ShowDiskDialog(const std::string& title, const std::string& text) {
  EmitPending();
  int answer = target().ShowDiskDialog(title, text);
  Emit("{\"event\":\"DiskDialog\",\"title\":" + JsonString(title) +
       ",\"text\":" + JsonString(text) + ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  return answer;
}

int TranscriptUi::ShowMessageDialog(const std::string& text) {
  EmitPending();
  int answer = target().ShowMessageDialog(text);
  Emit("{\"event\":\"MessageDialog\",\"text\":" + JsonString(text) +
       ",\"answer\":" + JsonString(AnswerName(answer)) + "}");
  return answer;
}

void TranscriptUi::SetProgressRange(int max) {
  EmitPending();
  Emit("{\"event\":\"Progress\",\"range\":" + std::to_string(max) + "}");
  target().SetProgressRange(max);
}

void TranscriptUi::SetProgressPos(int pos) {
  EmitPending();
  Emit("{\"event\":\"Progress\",\"pos\":" + std::to_string(pos) + "}");
  target().SetProgressPos(pos);
}

}  // namespace setup
