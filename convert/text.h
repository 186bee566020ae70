// Text routines of the conversion engine: finding the fields of a record's
// lines and escaping SGF values. The byte classes they rest on are
// base/ascii.h's.
#ifndef KIRATO_CONVERT_TEXT_H_
#define KIRATO_CONVERT_TEXT_H_

#include <string>
#include <string_view>

#include "base/ascii.h"

namespace kirato {

// FindByte beyond its first bytes.
size_t FindByteFurther(std::string_view text, size_t pos, char c);

// Index of the first `c` at or after `pos`, or text.size() when there is
// none. Fields and lines are short: the first bytes are looked at one by
// one, then eight at a time, before a library search is worth its cost.
inline size_t FindByte(std::string_view text, size_t pos, char c) {
  const size_t near = pos + 16 < text.size() ? pos + 16 : text.size();
  for (; pos < near; ++pos) {
    if (text[pos] == c) return pos;
  }
  return pos == text.size() ? pos : FindByteFurther(text, pos, c);
}

// True when text[pos] exists and is a digit.
inline bool DigitAt(std::string_view text, size_t pos) {
  return pos < text.size() && IsDigit(text[pos]);
}

// Index just past the first ',' at or after `pos`, or text.size() when
// there is none.
inline size_t AfterComma(std::string_view text, size_t pos) {
  const size_t comma = FindByte(text, pos, ',');
  return comma == text.size() ? comma : comma + 1;
}

// Removes trailing carriage returns and line feeds; other trailing
// whitespace stays.
std::string_view TrimLineEnd(std::string_view text);

// Copies `text`, putting a backslash before each ':', ']' and '\'. Bytes are
// treated one at a time, with no regard for multi-byte encodings.
std::string EscapeSgfText(std::string_view text);
void AppendEscapedSgfText(std::string& out, std::string_view text);

// Appends one computed point letter of an SGF point. Off-board numbers can
// make it ']' or '\', which would end the value early or swallow the next
// character, so those get a backslash.
inline void AppendSgfPointLetter(std::string& out, char c) {
  if (c == ']' || c == '\\') out += '\\';
  out += c;
}

// One character, with a backslash before it when it is ':', ']' or '\'.
std::string_view EscapeSgfChar(char c);

}  // namespace kirato

#endif  // KIRATO_CONVERT_TEXT_H_
