// What every text file read here shares, records and datafiles alike: the
// traces of the systems that wrote them.
#ifndef KIRATO_BASE_TEXT_FILE_H_
#define KIRATO_BASE_TEXT_FILE_H_

#include <cstring>
#include <string_view>

namespace kirato {

// The text before its first Ctrl-Z byte: a DOS end-of-file marker and
// whatever an old editor left after it are not part of the file.
inline std::string_view CutAtEndOfFile(std::string_view text) {
  const void* eof = std::memchr(text.data(), 0x1A, text.size());
  if (!eof) return text;
  return text.substr(0, static_cast<const char*>(eof) - text.data());
}

// The byte that ends the lines of `text`: a line feed, or a carriage return
// in text that holds carriage returns but no line feed at all (as written
// by old Macintosh editors, whose files would otherwise be one line).
inline char LineEndOf(std::string_view text) {
  if (text.find('\n') != std::string_view::npos) return '\n';
  return text.find('\r') != std::string_view::npos ? '\r' : '\n';
}

}  // namespace kirato

#endif  // KIRATO_BASE_TEXT_FILE_H_
