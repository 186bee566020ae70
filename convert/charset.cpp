// What decoding a record needs of the platform's converter, whichever it is.
#include "convert/charset.h"

#include <algorithm>

#include "base/utf8.h"

namespace kirato {

bool CharsetKnown(std::string_view charset) {
  return OpenCharsetDecoder(charset) != nullptr;
}

bool DecodeToUtf8(std::string_view bytes, std::string_view charset,
                  std::string* out, size_t* firstInvalid) {
  if (const CharTable* table = CharTableOf(charset)) {
    DecodeToUtf8(bytes, *table, out, firstInvalid);
    return true;
  }
  std::unique_ptr<CharsetDecoder> decoder = OpenCharsetDecoder(charset);
  if (!decoder) return false;
  DecodeToUtf8(bytes, *decoder, out, firstInvalid);
  return true;
}

namespace {

bool IsHigh(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// The end of the run of characters that starts with the byte above 0x7F at
// `from`: its bytes above 0x7F, and each ASCII byte after one of them, which
// may be the second byte of a character (Shift-JIS, GBK and Big5 take some
// from the ASCII range). After two ASCII bytes in a row, or a line feed,
// the characters are ASCII again whatever the bytes before them were.
size_t EndOfRun(std::string_view bytes, size_t from) {
  size_t end = from;
  while (end < bytes.size() && IsHigh(bytes[end])) {
    ++end;
    if (end < bytes.size() && !IsHigh(bytes[end]) && bytes[end] != '\n') {
      ++end;
    }
  }
  return end;
}

}  // namespace

void DecodeToUtf8(std::string_view bytes, CharsetDecoder& decoder,
                  std::string* out, size_t* firstInvalid) {
  *firstInvalid = std::string_view::npos;
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 4);
  // A converter takes many times what a copy costs for every character,
  // and records are mostly ASCII (the moves), which every charset read here
  // leaves as it is. Only the runs of bytes above 0x7F are decoded, each
  // from the character boundary its first byte stands on: ASCII bytes
  // before it are characters of their own in all these charsets.
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t high = SkipAscii(bytes, pos);
    if (high == bytes.size()) break;
    const size_t end = EndOfRun(bytes, high);
    result.append(bytes, pos, high - pos);
    decoder.Append(bytes.substr(high, end - high), high, &result, firstInvalid);
    pos = end;
  }
  result.append(bytes, pos);
  *out = std::move(result);
}

}  // namespace kirato
