// UTF-8, the text of the SGF files and of paths inside the program: telling
// well-formed text from other bytes, and mending what is not.
#ifndef KIRATO_BASE_UTF8_H_
#define KIRATO_BASE_UTF8_H_

#include <string>
#include <string_view>

namespace kirato {

// U+FFFD, which stands for bytes that could not be read as text.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// What Windows editors put before UTF-8 text to say it is UTF-8.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Index of the first byte above 0x7F at or after `pos`, or text.size().
size_t SkipAscii(std::string_view text, size_t pos);

// True when no byte is above 0x7F. Such text reads the same in every
// character set a record may use, so it needs no decoding.
inline bool IsAscii(std::string_view text) {
  return SkipAscii(text, 0) == text.size();
}

// Offset of the first byte that is not part of a well-formed UTF-8
// sequence (no overlong forms, no surrogates, nothing above U+10FFFF), or
// std::string_view::npos when the whole text is well-formed.
size_t FirstInvalidUtf8(std::string_view text);

// Appends `text` with each ill-formed part replaced by U+FFFD. An ill-formed
// part is the longest beginning of a sequence that could still have become
// well-formed, or else one byte, so the bytes after it are read afresh.
void AppendRepairedUtf8(std::string& out, std::string_view text);

}  // namespace kirato

#endif  // KIRATO_BASE_UTF8_H_
