// Finding the fields of a record's lines. The byte classes they rest on
// are base/ascii.h's; escaping belongs to the SGF writer alone.
#ifndef KIRATO_CONVERT_TEXT_H_
#define KIRATO_CONVERT_TEXT_H_

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
inline std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace kirato

#endif  // KIRATO_CONVERT_TEXT_H_
