// Byte-level text routines shared by the conversion engine and the batch
// driver. Text is 8-bit: bytes of 0x80 and above are never whitespace, never
// digits and never case-folded, whatever the C locale says.
#ifndef KIRATO_CONVERT_TEXT_H_
#define KIRATO_CONVERT_TEXT_H_

#include <string>
#include <string_view>

namespace kirato {

// Space, tab, line feed, vertical tab, form feed and carriage return only.
constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }
constexpr char ToUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char ToLower(char c) {
  return IsUpperLetter(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `text` begins with `key`, ASCII letters compared without regard
// to case. Only key.size() characters are compared: whatever follows in
// `text` is not looked at, so "Titles" begins with "Title".
inline bool StartsWithNoCase(std::string_view text, std::string_view key) {
  if (text.size() < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (ToUpper(text[i]) != ToUpper(key[i])) return false;
  }
  return true;
}

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

// True when `a` and `b` are the same text but for the case of ASCII letters.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

// Index of the first byte at or after `pos` that is not whitespace
// (text.size() when there is none).
inline size_t SkipSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
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

// Value of the run of decimal digits starting at `pos`; `end` (optional)
// receives the index after the run. Saturates instead of overflowing, so a
// line of a thousand digits cannot cause undefined behaviour.
inline long long ReadNumber(std::string_view text, size_t pos,
                            size_t* end = nullptr) {
  constexpr long long kMax = 2147483647;  // the largest int
  long long value = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    value = value * 10 + (text[pos] - '0');
    if (value > kMax) value = kMax;
    ++pos;
  }
  if (end) *end = pos;
  return value;
}

// Removes trailing carriage returns and line feeds; other trailing
// whitespace stays.
std::string_view TrimLineEnd(std::string_view text);

// Removes the whole trailing run of whitespace.
void TrimTrailingSpace(std::string& text);
std::string_view TrimTrailingSpace(std::string_view text);

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
