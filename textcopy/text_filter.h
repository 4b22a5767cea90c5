// TextFilter copies a text file through the macro table while choosing the language
// half of bilingual comments, for the commands TextCopy, JapanCopy and EnglishCopy.
//
// The source is read as text (CR LF -> LF, the first 0x1A ends it) in chunks of at most
// 4095 bytes, each chunk expanded with the macro table before the filter looks at it.
// Comments "/*" ... "*/" are kept, cut to one language half, unwrapped or dropped by
// the filter mode; line ends outside comment bodies are written as CR LF.
//
// The destination is written to a replacement file that takes the destination's place
// only when the whole copy succeeded: a failed copy leaves an existing destination as it
// was and no partial file. A failure is handed up as a Status; the filter shows nothing
// (text/status_text.h words it).
//
// All buffers are fixed arrays of this object: nothing is allocated per line, chunk or
// comment. One copy at a time; not reentrant.
#ifndef SETUP_TEXTCOPY_TEXT_FILTER_H_
#define SETUP_TEXTCOPY_TEXT_FILTER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/code_page_text.h"
#include "base/status.h"
#include "text/language_mode.h"
#include "text/text_reader.h"

namespace setup {

class InputFile;
class MacroTable;
class OutputFile;
class FileOpener;

// The filter mode is the run's LanguageMode.
class TextFilter {
 public:
  // Tokens: a byte, or two bytes (high byte first) for the markers and for a
  // double-byte character of code page 932.
  static constexpr std::uint16_t kEndOfInput = 0x001A;
  static constexpr std::uint16_t kSplitMarker = 0x2423;  // "$#"
  static constexpr std::uint16_t kDollars = 0x2424;      // "$$"
  static constexpr std::uint16_t kOpener = 0x2F2A;       // "/*"
  static constexpr std::uint16_t kCloser = 0x2A2F;       // "*/"

  static constexpr std::size_t kBufferSize = 4096;
  static constexpr std::size_t kMaxBody = kBufferSize - 1;

  // Each chunk is expanded with `macros` as it stands then.
  // Files are opened and replacements made through `files`.
  TextFilter(FileOpener& files, const MacroTable& macros);
  ~TextFilter();
  TextFilter(const TextFilter&) = delete;
  TextFilter& operator=(const TextFilter&) = delete;

  // Copies `source` to `destination` (code-page paths as the script gives them) in
  // `mode`. On failure the destination is as it was before, and the status says why
  // (the first failure found; FailedStep::kTextCopy words it):
  //   the destination cannot be made: the system's kind, path the destination, other
  //     path the source;
  //   the source cannot be opened: the system's kind, path the source, no other path;
  //   kSyntaxError (a comment not closed, or its body over kMaxBody) and kTooLong (a
  //     chunk over kMaxBody after expansion): path the source, line() its chunk number;
  //   kReadError: path the source; kWriteError (writing or committing, a full disk
  //     included; os_error() kept): path the destination.
  // A destination that names its source receives the filtered text.
  Status CopyTextFile(const char* source, const char* destination, LanguageMode mode);

  // Filters all of `input` into `output` without committing it: the work of
  // CopyTextFile between opening and committing, for callers that bring their own
  // files. `source` and `destination` name the files in the status, which is as
  // CopyTextFile's; on success every byte has been handed to `output`.
  Status FilterStream(InputFile& input, OutputFile& output, const char* source,
                      const char* destination, LanguageMode mode);

  // The fixed code page 932 lead-byte ranges, whatever the system's code page.
  static constexpr bool IsLeadByte(unsigned b) { return IsCp932LeadByte(b); }

 private:
  void Begin(InputFile& input, OutputFile& output, const char* source, const char* destination);
  void End();
  bool FilterText(LanguageMode mode);

  // Input side.
  int ReadFilterChar();
  bool NextChunk();
  std::uint16_t ReadFilterToken();
  void StopReading();
  // Fast paths over the input: runs of bytes that form single-byte tokens other than
  // markers, and double-byte characters, taken whole; outside comments line ends too,
  // and the chunks after them. Both stop where the token reader is needed; neither
  // changes what the token path would produce.
  void CopyPlainRun();
  void CollectPlainRun();

  // Comment bodies.
  enum class CommentKind { kPlain, kEnglish, kUnwrapped };  // "/*", "/*$#", "/*$$"
  // Writes, cuts or drops the comment just collected, as its kind and `japanese` say.
  void FinishComment(CommentKind kind, bool japanese);
  // Whether a comment is dropped whole rather than written: an English one ("/*$#") in
  // Japanese mode, or a plain one without a split marker that holds a double-byte
  // character in English mode. The token path and the fast path decide alike.
  static bool CommentDropped(CommentKind kind, bool japanese, bool split, bool double_byte) {
    if (kind == CommentKind::kEnglish) return japanese;
    return kind == CommentKind::kPlain && !split && double_byte && !japanese;
  }
  // The fast path of a comment whose "/*" and the two bytes after it are at read_pos_:
  // collects and finishes it like the token path. False on a syntax error, which has
  // been recorded as the copy's failure.
  bool TakeComment(bool japanese);
  // FinishComment for a body TakeComment read into the block in place.
  void FinishCommentInBlock(CommentKind kind, bool japanese, std::size_t length,
                            std::ptrdiff_t split, bool double_byte);
  // False on a syntax error, which has been recorded as the copy's failure.
  bool CollectCommentBody(std::uint16_t first);
  // The same from the token `first` on, adding to the body collected so far.
  bool ContinueCommentBody(std::uint16_t first);
  // The same from the next token of the input on.
  bool CollectRestOfComment();
  bool AddBodyChar(std::uint16_t token);
  void WriteComment(bool with_delimiters);

  // Output side.
  void PutOutputChar(unsigned char b);
  void PutOutputToken(std::uint16_t t);
  void PutOutputString(const char* s);
  void PutLineEnd();
  void FlushOutputLine();
  void WriteOut(const unsigned char* data, std::size_t size);
  bool FlushBlock();

  // Records a syntax error at the current chunk, unless the input was cut short by an
  // earlier failure. Always false: the copy fails.
  bool SyntaxError();
  // Records the copy's failure; the first one found is the one handed up.
  void Fail(Status status);
  static Status WriteFailure(const Status& status, const char* destination);

  FileOpener& files_;
  const MacroTable& macros_;

  // Per copy; null / empty outside a copy.
  std::optional<TextReader> reader_;
  OutputFile* output_ = nullptr;
  const char* source_ = "";
  const char* destination_ = "";
  Status failure_;  // the first failure found; not ok: the copy fails
  bool failed() const { return !failure_.ok(); }

  // Bytes of the current chunk not yet delivered, and where the next one is.
  std::size_t bytes_left_ = 0;
  const unsigned char* read_pos_ = nullptr;
  int line_number_ = 0;
  bool at_end_ = false;
  bool push_back_pending_ = false;
  int pushed_back_ = 0;

  // Output: the block that gathers output for the file. Its first `line_start_` bytes
  // are finished; the `line_length_` bytes after them are the line buffer, which
  // always has room for a whole line and its CR LF after it (kBufferSize + 1 bytes).
  std::size_t line_start_ = 0;
  std::size_t line_length_ = 0;
  bool drop_blank_line_ = false;

  // Comment body.
  std::size_t body_length_ = 0;
  std::ptrdiff_t split_offset_ = -1;
  bool double_byte_ = false;

  // The fast paths' scans read sixteen bytes at a time and may read up to fifteen bytes
  // past a chunk's end (text_filter_runs.cc): the chunks keep that room after them,
  // zeroed so that the bytes read there are always defined.
  static constexpr std::size_t kScanSlack = 16;
  unsigned char chunk_[kBufferSize + kScanSlack] = {};
  unsigned char expanded_[kBufferSize + kScanSlack] = {};
  unsigned char body_[kBufferSize];
  static constexpr std::size_t kBlockSize = 64 * 1024;
  unsigned char block_[kBlockSize];
};

// In the header, for both files of the filter's hot loops.
inline void TextFilter::PutLineEnd() {
  block_[line_start_ + line_length_++] = '\r';
  block_[line_start_ + line_length_++] = '\n';
  FlushOutputLine();
}

inline void TextFilter::PutOutputChar(unsigned char b) {
  if (line_length_ >= kBufferSize) FlushOutputLine();
  if (b == '\n') {
    PutLineEnd();
  } else {
    block_[line_start_ + line_length_++] = b;
  }
}

}  // namespace setup

#endif  // SETUP_TEXTCOPY_TEXT_FILTER_H_
