// Splits a record held in memory into the lines its handlers see.
#ifndef KIRATO_CONVERT_LINES_H_
#define KIRATO_CONVERT_LINES_H_

#include <string_view>

namespace kirato {

// The text before its first Ctrl-Z byte: a DOS end-of-file marker and
// whatever an old editor left after it are not part of the record.
std::string_view CutAtEndOfFile(std::string_view text);

// The byte that ends the lines of `text`: a line feed, or a carriage return
// in text that holds carriage returns but no line feed at all (as written
// by old Macintosh editors, whose records would otherwise be one line).
char LineEndOf(std::string_view text);

// Hands out the pieces a 1024-byte line buffer would read: each piece holds
// at most kMaxPiece bytes and ends after a line end or where the buffer is
// full, so a longer line arrives as several pieces.
//
// A carriage return directly before a line feed is dropped, and a Ctrl-Z
// byte ends the text, as when the file is read in the text mode of the
// systems that wrote most UGF records: "\r\n" counts as one character
// towards the piece limit, and a DOS end-of-file marker is not taken for a
// line.
class LineSplitter {
 public:
  static constexpr size_t kMaxPiece = 1023;

  // With `wholeCharacters`, the text is UTF-8 and a full piece ends before
  // the character the limit would cut in two, so that no piece holds half
  // a character.
  explicit LineSplitter(std::string_view text, bool wholeCharacters = false);

  // The next piece without its line end; *lineEnd tells whether a line end
  // closed it. False when the text is exhausted.
  bool Next(std::string_view* piece, bool* lineEnd);

 private:
  std::string_view text_;
  size_t pos_ = 0;
  char lineEnd_ = '\n';
  bool wholeCharacters_ = false;
};

}  // namespace kirato

#endif  // KIRATO_CONVERT_LINES_H_
