#include "textcopy/text_filter.h"

#include <array>
#include <cstring>

#include "platform/system_roles.h"
#include "text/macro_table.h"

namespace setup {
namespace {

constexpr int kEof = 0x1A;
constexpr auto kIsLeadByte = [](unsigned b) { return TextFilter::IsLeadByte(b); };

bool IsBlankOrLineEnd(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

TextFilter::TextFilter(FileOpener& files, const MacroTable& macros)
    : files_(files), macros_(macros) {}

TextFilter::~TextFilter() = default;

Status TextFilter::CopyTextFile(const char* source, const char* destination, LanguageMode mode) {
  // The destination is created before the source is looked at, so that a destination
  // that cannot be created is reported even when the source is missing too.
  std::unique_ptr<OutputFile> output;
  Status created = files_.CreateReplacement(destination, &output);
  if (!created.ok()) {
    return Status(created.kind(), destination, created.os_error()).WithOtherPath(source);
  }
  std::unique_ptr<InputFile> input;
  Status opened = files_.OpenForReading(source, &input);
  // On failure `output` is dropped uncommitted: the destination stays as it was.
  if (!opened.ok()) return Status(opened.kind(), source, opened.os_error());
  Status filtered = FilterStream(*input, *output, source, destination, mode);
  if (!filtered.ok()) return filtered;
  // The source is closed before the replacement takes the destination's place: the
  // two may be the same file, and Windows renames nothing over an open file.
  input.reset();
  Status committed = output->Commit();
  if (!committed.ok()) return WriteFailure(committed, destination);
  return Status::Ok();
}

Status TextFilter::FilterStream(InputFile& input, OutputFile& output, const char* source,
                                const char* destination, LanguageMode mode) {
  Begin(input, output, source, destination);
  bool copied = FilterText(mode);
  if (copied) {
    FlushOutputLine();
    FlushBlock();
  }
  Status outcome = std::move(failure_);
  End();
  return outcome;
}

Status TextFilter::WriteFailure(const Status& status, const char* destination) {
  return Status(StatusKind::kWriteError, destination, status.os_error());
}

void TextFilter::Fail(Status status) {
  if (!failed()) failure_ = std::move(status);
}

void TextFilter::Begin(InputFile& input, OutputFile& output, const char* source,
                       const char* destination) {
  reader_.emplace(&input);
  output_ = &output;
  source_ = source;
  destination_ = destination;
  failure_ = Status::Ok();
  bytes_left_ = 0;
  read_pos_ = expanded_;
  line_number_ = 0;
  at_end_ = false;
  push_back_pending_ = false;
  line_start_ = 0;
  line_length_ = 0;
  drop_blank_line_ = false;
}

void TextFilter::End() {
  reader_.reset();
  output_ = nullptr;
  source_ = destination_ = "";
}

bool TextFilter::FilterText(LanguageMode mode) {
  const bool japanese = mode == LanguageMode::kJapanese;
  for (;;) {
    CopyPlainRun();
    // Comments that open well inside a chunk take the fast path.
    while (bytes_left_ > 3 && read_pos_[0] == '/' && read_pos_[1] == '*' && !push_back_pending_) {
      if (!TakeComment(japanese)) return false;
      CopyPlainRun();
    }
    std::uint16_t t = ReadFilterToken();
    if (t == kEndOfInput) break;
    if (t != kOpener) {
      PutOutputToken(t);
      continue;
    }
    std::uint16_t u = ReadFilterToken();
    CommentKind kind = u == kSplitMarker ? CommentKind::kEnglish
                       : u == kDollars   ? CommentKind::kUnwrapped
                                         : CommentKind::kPlain;
    if (!CollectCommentBody(kind == CommentKind::kPlain ? u : ReadFilterToken())) return false;
    FinishComment(kind, japanese);
  }
  return !failed();
}

void TextFilter::FinishComment(CommentKind kind, bool japanese) {
  if (CommentDropped(kind, japanese, split_offset_ >= 0, double_byte_)) {
    drop_blank_line_ = true;
  } else if (kind == CommentKind::kUnwrapped) {
    PutOutputString("$$");
    WriteComment(false);
  } else {
    if (kind == CommentKind::kPlain && split_offset_ >= 0) {  // bilingual comment
      std::size_t split = static_cast<std::size_t>(split_offset_);
      if (japanese) {
        body_length_ = split;
      } else {
        std::memmove(body_, body_ + split, body_length_ - split);
        body_length_ -= split;
      }
    }
    WriteComment(true);
  }
}

// --- Input side.

bool TextFilter::NextChunk() {
  for (;;) {
    std::size_t n = reader_->ReadLine(reinterpret_cast<char*>(chunk_), kBufferSize);
    if (reader_->error()) {
      Fail(Status(StatusKind::kReadError, source_));
      return false;
    }
    if (n == 0) return false;
    ++line_number_;
    // Most chunks hold no macro name: they are read where they are, not copied.
    const MacroTable& macros = macros_;
    const char* chunk = reinterpret_cast<const char*>(chunk_);
    std::size_t unchanged = macros.UnchangedPrefix(chunk, n);
    if (unchanged == n) {
      read_pos_ = chunk_;
      bytes_left_ = n;
      return true;
    }
    std::memcpy(expanded_, chunk_, unchanged);
    std::size_t expanded = 0;
    bool fits = macros.Expand(chunk + unchanged, n - unchanged,
                              reinterpret_cast<char*>(expanded_) + unchanged,
                              kBufferSize - unchanged, &expanded);
    if (!fits) {
      Fail(Status(StatusKind::kTooLong, source_).AtLine(line_number_));
      return false;
    }
    // A NUL ends its chunk; a chunk that expands to nothing delivers nothing and
    // reading goes on with the next one.
    read_pos_ = expanded_;
    bytes_left_ = unchanged + expanded;
    if (bytes_left_ > 0) return true;
  }
}

void TextFilter::StopReading() {
  at_end_ = true;
  bytes_left_ = 0;
  push_back_pending_ = false;
}

inline int TextFilter::ReadFilterChar() {
  if (at_end_) return kEof;
  if (bytes_left_ == 0 && !NextChunk()) {
    StopReading();
    return kEof;
  }
  --bytes_left_;
  unsigned char b = *read_pos_;
  if (b == kEof) {  // from a macro value: ends the input like one in the file
    StopReading();
    return kEof;
  }
  ++read_pos_;
  return b;
}

inline std::uint16_t TextFilter::ReadFilterToken() {
  int b;
  if (push_back_pending_) {
    b = pushed_back_;
    push_back_pending_ = false;
  } else {
    b = ReadFilterChar();
  }
  switch (b) {
    case kEof: return kEndOfInput;
    case '$':
      pushed_back_ = ReadFilterChar();
      if (pushed_back_ == '#') return kSplitMarker;
      if (pushed_back_ == '$') return kDollars;
      push_back_pending_ = true;
      return '$';
    case '*':
      pushed_back_ = ReadFilterChar();
      if (pushed_back_ == '/') return kCloser;
      push_back_pending_ = true;
      return '*';
    case '/':
      pushed_back_ = ReadFilterChar();
      if (pushed_back_ == '*') return kOpener;
      push_back_pending_ = true;
      return '/';
    default:
      // The trail byte never comes from the push-back, and may be the end of input.
      if (CharLengthOfFirstByte(kIsLeadByte, static_cast<unsigned>(b)) == 2) {
        return static_cast<std::uint16_t>((b << 8) | ReadFilterChar());
      }
      return static_cast<std::uint16_t>(b);
  }
}

// --- Comment bodies.

bool TextFilter::CollectCommentBody(std::uint16_t first) {
  double_byte_ = false;
  split_offset_ = -1;
  body_length_ = 0;
  return ContinueCommentBody(first);
}

bool TextFilter::CollectRestOfComment() { return ContinueCommentBody(ReadFilterToken()); }

bool TextFilter::ContinueCommentBody(std::uint16_t first) {
  for (std::uint16_t t = first;; t = ReadFilterToken()) {
    if (t == kCloser) return true;
    if (t == kEndOfInput) return SyntaxError();
    if (t == kSplitMarker) {
      split_offset_ = static_cast<std::ptrdiff_t>(body_length_);
      continue;
    }
    if ((t >> 8) != 0 && IsLeadByte(t >> 8)) double_byte_ = true;
    if (!AddBodyChar(t)) return false;
    CollectPlainRun();
  }
}

bool TextFilter::AddBodyChar(std::uint16_t token) {
  if (body_length_ >= kMaxBody) return SyntaxError();
  if ((token >> 8) != 0) body_[body_length_++] = static_cast<unsigned char>(token >> 8);
  body_[body_length_++] = static_cast<unsigned char>(token);
  return true;
}

bool TextFilter::SyntaxError() {
  Fail(Status(StatusKind::kSyntaxError, source_).AtLine(line_number_));
  return false;
}

void TextFilter::WriteComment(bool with_delimiters) {
  if (with_delimiters && line_length_ + 2 <= kBufferSize) {
    // PutOutputString("/*") and FlushOutputLine() where the line has room: a line that
    // holds "/*" is never blank.
    block_[line_start_ + line_length_] = '/';
    block_[line_start_ + line_length_ + 1] = '*';
    line_start_ += line_length_ + 2;
    line_length_ = 0;
    drop_blank_line_ = false;
    if (line_start_ > kBlockSize - (kBufferSize + 1)) FlushBlock();
  } else {
    if (with_delimiters) PutOutputString("/*");
    FlushOutputLine();
  }
  WriteOut(body_, body_length_);  // inner line ends stay single LF bytes
  if (with_delimiters) PutOutputString("*/");
}

// --- Output side.

inline void TextFilter::PutOutputToken(std::uint16_t t) {
  if ((t >> 8) != 0) PutOutputChar(static_cast<unsigned char>(t >> 8));
  PutOutputChar(static_cast<unsigned char>(t));
}

void TextFilter::PutOutputString(const char* s) {
  for (; *s; ++s) PutOutputChar(static_cast<unsigned char>(*s));
}

void TextFilter::FlushOutputLine() {
  if (drop_blank_line_) {
    const unsigned char* line = block_ + line_start_;
    bool blank = true;
    for (std::size_t i = 0; i < line_length_ && blank; ++i) blank = IsBlankOrLineEnd(line[i]);
    if (blank) line_length_ = 0;
    drop_blank_line_ = false;
  }
  line_start_ += line_length_;
  line_length_ = 0;
  if (line_start_ > kBlockSize - (kBufferSize + 1)) FlushBlock();
}

// Appends finished output; the line buffer is empty.
void TextFilter::WriteOut(const unsigned char* data, std::size_t size) {
  if (failed()) return;
  if (line_start_ + size > kBlockSize - (kBufferSize + 1) && !FlushBlock()) return;
  std::memcpy(block_ + line_start_, data, size);
  line_start_ += size;
}

bool TextFilter::FlushBlock() {
  if (failed()) {
    line_start_ = 0;  // nothing more reaches the file; the block only keeps room
    return false;
  }
  if (line_start_ == 0) return true;
  Status written = output_->Write(block_, line_start_);
  line_start_ = 0;
  if (!written.ok()) {
    Fail(WriteFailure(written, destination_));
    StopReading();  // a full disk: no point reading on
    return false;
  }
  return true;
}

}  // namespace setup
