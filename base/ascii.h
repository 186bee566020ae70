// Byte-level text routines for every layer: the records, the datafile and
// the paths are read as 8-bit bytes. Bytes of 0x80 and above are never
// whitespace, never digits and never case-folded, whatever the C locale
// says: a trail byte of a Japanese character must not pass for a blank.
#ifndef KIRATO_BASE_ASCII_H_
#define KIRATO_BASE_ASCII_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kirato {

// Space, tab, line feed, vertical tab, form feed and carriage return only:
// one bit each in a mask of the codes up to the space.
constexpr bool IsSpace(char c) {
  constexpr uint64_t kBlanks = (uint64_t{1} << ' ') | (uint64_t{1} << '\t') |
                               (uint64_t{1} << '\n') | (uint64_t{1} << '\v') |
                               (uint64_t{1} << '\f') | (uint64_t{1} << '\r');
  const unsigned char u = static_cast<unsigned char>(c);
  return u <= ' ' && ((kBlanks >> u) & 1) != 0;
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
    const char k = key[i];
    // A letter of either case differs from its other case in the one bit
    // 0x20, and no other byte does: the bit set, they are equal. For a
    // constant key the test of k goes away.
    if (IsUpperLetter(ToUpper(k))) {
      if ((text[i] | 0x20) != (k | 0x20)) return false;
    } else if (text[i] != k) {
      return false;
    }
  }
  return true;
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

// Value of the run of decimal digits starting at `pos`; `end` (optional)
// receives the index after the run. Saturates at the largest int instead of
// overflowing, so a line of a thousand digits cannot cause undefined
// behaviour.
inline long long ReadNumber(std::string_view text, size_t pos,
                            size_t* end = nullptr) {
  constexpr long long kMax = 2147483647;
  const char* p = text.data();
  const size_t size = text.size();
  long long value = 0;
  // Nine digits stay below kMax: only a longer run needs the test.
  const size_t quick = pos < size && size - pos > 9 ? pos + 9 : size;
  unsigned digit = 0;
  while (pos < quick && (digit = static_cast<unsigned>(p[pos] - '0')) <= 9) {
    value = value * 10 + digit;
    ++pos;
  }
  while (pos < size && (digit = static_cast<unsigned>(p[pos] - '0')) <= 9) {
    value = value * 10 + digit;
    if (value > kMax) value = kMax;
    ++pos;
  }
  if (end) *end = pos;
  return value;
}

// Removes the whole trailing run of whitespace.
inline std::string_view TrimTrailingSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Removes the whitespace at both ends.
inline std::string_view TrimSpace(std::string_view text) {
  text.remove_prefix(SkipSpace(text, 0));
  return TrimTrailingSpace(text);
}
inline void TrimTrailingSpace(std::string& text) {
  while (!text.empty() && IsSpace(text.back())) text.pop_back();
}

}  // namespace kirato

#endif  // KIRATO_BASE_ASCII_H_
