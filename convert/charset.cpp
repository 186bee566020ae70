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
  std::unique_ptr<CharsetDecoder> decoder = OpenCharsetDecoder(charset);
  if (!decoder) return false;
  DecodeToUtf8(bytes, *decoder, out, firstInvalid);
  return true;
}

void DecodeToUtf8(std::string_view bytes, CharsetDecoder& decoder,
                  std::string* out, size_t* firstInvalid) {
  *firstInvalid = std::string_view::npos;
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 4);
  // A converter takes a call for every character, many times what a copy
  // costs, and records are mostly ASCII (the moves), which every charset
  // read here leaves as it is. No line feed is ever part of a character of
  // these charsets, so the lines that hold a byte above 0x7F are decoded
  // whole and the others copied.
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t high = SkipAscii(bytes, pos);
    if (high == bytes.size()) break;
    const size_t before = bytes.rfind('\n', high);
    const size_t start =
        before == std::string_view::npos || before < pos ? pos : before + 1;
    const size_t end = std::min(bytes.find('\n', high), bytes.size());
    result.append(bytes, pos, start - pos);
    decoder.Append(bytes.substr(start, end - start), start, &result,
                   firstInvalid);
    pos = end;
  }
  result.append(bytes, pos);
  *out = std::move(result);
}

}  // namespace kirato
