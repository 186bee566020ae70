#include "base/utf8.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kirato {

namespace {

// Length of the sequence at text[pos]; *valid tells whether it is
// well-formed. For an ill-formed one, the length is that of its longest
// beginning that was still possible, at least 1.
size_t ScanSequence(std::string_view text, size_t pos, bool* valid) {
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  *valid = true;
  if (lead < 0x80) return 1;
  size_t trail = 0;
  // The range of the first trail byte; the others are always 80 to BF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    *valid = false;
    return 1;
  }
  size_t length = 1;
  for (size_t i = 0; i < trail; ++i, ++length) {
    if (pos + length >= text.size()) {
      *valid = false;
      return length;
    }
    const unsigned char b = static_cast<unsigned char>(text[pos + length]);
    if (b < low || b > high) {
      *valid = false;
      return length;
    }
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

}  // namespace

size_t SkipAscii(std::string_view text, size_t pos) {
  // Sixteen or eight bytes at a time through the long runs of plain text.
#if defined(__SSE2__)
  for (; pos + 16 <= text.size(); pos += 16) {
    const int high = _mm_movemask_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos)));
    if (high != 0) return pos + static_cast<size_t>(__builtin_ctz(high));
  }
#endif
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  for (; pos + 8 <= text.size(); pos += 8) {
    uint64_t word = 0;
    std::memcpy(&word, text.data() + pos, 8);
    if (word & kHighBits) break;
  }
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80) {
    ++pos;
  }
  return pos;
}

size_t FirstInvalidUtf8(std::string_view text) {
  size_t pos = 0;
  while ((pos = SkipAscii(text, pos)) < text.size()) {
    bool valid = false;
    const size_t length = ScanSequence(text, pos, &valid);
    if (!valid) return pos;
    pos += length;
  }
  return std::string_view::npos;
}

void AppendRepairedUtf8(std::string& out, std::string_view text) {
  size_t from = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    bool valid = false;
    const size_t length = ScanSequence(text, pos, &valid);
    if (!valid) {
      out.append(text, from, pos - from);
      out.append(kReplacementCharacter);
      from = pos + length;
    }
    pos += length;
  }
  out.append(text, from, std::string_view::npos);
}

}  // namespace kirato
