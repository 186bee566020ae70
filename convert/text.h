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
bool StartsWithNoCase(std::string_view text, std::string_view key);

// Index of the first byte at or after `pos` that is not whitespace
// (text.size() when there is none).
size_t SkipSpace(std::string_view text, size_t pos);

// True when text[pos] exists and is a digit.
inline bool DigitAt(std::string_view text, size_t pos) {
  return pos < text.size() && IsDigit(text[pos]);
}

// The part of a path after its last '/' (the whole path without one).
std::string_view FileNameOf(std::string_view path);

// Index just past the first ',' at or after `pos`, or text.size() when
// there is none.
size_t AfterComma(std::string_view text, size_t pos);

// Value of the run of decimal digits starting at `pos`; `end` (optional)
// receives the index after the run. Saturates instead of overflowing, so a
// line of a thousand digits cannot cause undefined behaviour.
long long ReadNumber(std::string_view text, size_t pos, size_t* end = nullptr);

// Removes trailing carriage returns and line feeds; other trailing
// whitespace stays.
void TrimLineEnd(std::string& text);
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
void AppendSgfPointLetter(std::string& out, char c);

// One character, with a backslash before it when it is ':', ']' or '\'.
std::string_view EscapeSgfChar(char c);

}  // namespace kirato

#endif  // KIRATO_CONVERT_TEXT_H_
