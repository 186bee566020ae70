// A charset of one- and two-byte characters read from a table of all of
// them. The table is asked of the platform's decoder once, at first use,
// so the platform stays the judge of what every byte means; decoding a
// record then costs a look-up a character instead of a call into the
// converter for each run of them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/utf8.h"
#include "convert/charset.h"

namespace kirato {

struct CharTable {
  // A character as UTF-8; length 0 for bytes that begin none. Three bytes
  // hold every character of the Basic Multilingual Plane, where all of
  // these charsets' characters lie.
  struct Char {
    char utf8[3] = {};
    unsigned char length = 0;
  };
  Char single[256];
  // For a byte that is no character alone: its row of `pairs`, one entry
  // for each second byte; -1 when it begins no character at all.
  int16_t row[256];
  std::vector<Char> pairs;
};

namespace {

enum class Decoded { kChar, kNone, kTooLong };

// What the platform makes of `bytes` as a whole: one character that fits a
// table entry, nothing valid, or a character too long for one.
Decoded DecodeOne(CharsetDecoder& decoder, std::string_view bytes,
                  std::string& scratch, CharTable::Char* c) {
  scratch.clear();
  size_t invalid = std::string_view::npos;
  decoder.Append(bytes, 0, &scratch, &invalid);
  if (invalid != std::string_view::npos) return Decoded::kNone;
  if (scratch.empty() || scratch.size() > sizeof c->utf8) {
    return Decoded::kTooLong;
  }
  std::memcpy(c->utf8, scratch.data(), scratch.size());
  c->length = static_cast<unsigned char>(scratch.size());
  return Decoded::kChar;
}

// Null when the platform cannot decode the charset, or decodes it in a way
// a table of single bytes and pairs would not repeat exactly: an ASCII
// byte that is not itself, or a character beyond three UTF-8 bytes.
std::unique_ptr<CharTable> BuildTable(std::string_view charset) {
  std::unique_ptr<CharsetDecoder> decoder = OpenCharsetDecoder(charset);
  if (!decoder) return nullptr;
  auto table = std::make_unique<CharTable>();
  std::string scratch;
  for (int b = 0; b < 256; ++b) {
    table->row[b] = -1;
    const char first = static_cast<char>(b);
    CharTable::Char& single = table->single[b];
    const Decoded alone =
        DecodeOne(*decoder, std::string_view(&first, 1), scratch, &single);
    if (alone == Decoded::kTooLong) return nullptr;
    if (b < 0x80) {
      if (alone != Decoded::kChar || single.length != 1 ||
          single.utf8[0] != first) {
        return nullptr;
      }
      continue;
    }
    if (alone == Decoded::kChar) continue;
    std::vector<CharTable::Char> row(256);
    bool any = false;
    for (int t = 0; t < 256; ++t) {
      const char pair[] = {first, static_cast<char>(t)};
      const Decoded both =
          DecodeOne(*decoder, std::string_view(pair, 2), scratch, &row[t]);
      if (both == Decoded::kTooLong) return nullptr;
      any |= both == Decoded::kChar;
    }
    if (!any) continue;
    table->row[b] = static_cast<int16_t>(table->pairs.size() / 256);
    table->pairs.insert(table->pairs.end(), row.begin(), row.end());
  }
  return table;
}

}  // namespace

// The charsets read through a table: Windows' Shift-JIS, which nearly all
// UGF records that are not ASCII are written in, and the Korean CP949 of
// most GIB and NGF records. The others keep the platform's converter
// (EUC-JP has characters of three bytes, GB18030 of four).
const CharTable* CharTableOf(std::string_view charset) {
  // Each built once for all threads, never changed after.
  if (charset == "CP932") {
    static const std::unique_ptr<const CharTable> table = BuildTable("CP932");
    return table.get();
  }
  if (charset == "CP949") {
    static const std::unique_ptr<const CharTable> table = BuildTable("CP949");
    return table.get();
  }
  return nullptr;
}

void DecodeToUtf8(std::string_view bytes, const CharTable& table,
                  std::string* out, size_t* firstInvalid) {
  *firstInvalid = std::string_view::npos;
  const char* const p = bytes.data();
  const size_t size = bytes.size();
  std::string result;
  // Most text is ASCII; a character of two bytes grows by half, one of a
  // single byte above 0x7F threefold, so the room may have to grow.
  result.resize(size + size / 4 + 64);
  // Written through plain pointers: a store through a char pointer could
  // change the string itself, as far as the compiler knows, and every
  // step would read its size and data again.
  char* to = result.data();
  char* end = to + result.size();
  size_t pos = 0;
  while (pos < size) {
    // Sixteen bytes or a character, of at most three, need this room.
    if (end - to < 16) {
      const size_t used = static_cast<size_t>(to - result.data());
      result.resize(2 * result.size());
      to = result.data() + used;
      end = result.data() + result.size();
    }
#if defined(__SSE2__)
    // ASCII sixteen bytes at a time, as far as the text and the room go
    // without a test of either; the bytes before the first above 0x7F are
    // taken as they are.
    for (size_t steps = std::min(size - pos, static_cast<size_t>(end - to)) / 16;
         steps > 0; --steps) {
      const __m128i chunk =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), chunk);
      const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(chunk));
      if (high != 0) {
        const size_t ascii = static_cast<size_t>(__builtin_ctz(high));
        pos += ascii;
        to += ascii;
        break;
      }
      pos += 16;
      to += 16;
    }
    if (pos == size || end - to < 16) continue;
#endif
    const unsigned char b = static_cast<unsigned char>(p[pos]);
    if (b < 0x80) {
      *to++ = p[pos++];
      continue;
    }
    const CharTable::Char* c = &table.single[b];
    size_t length = 1;
    // A line feed never ends a character: a damaged one must not take the
    // line end with it.
    if (c->length == 0 && table.row[b] >= 0 && pos + 1 < size &&
        p[pos + 1] != '\n') {
      c = &table.pairs[static_cast<size_t>(table.row[b]) * 256 +
                       static_cast<unsigned char>(p[pos + 1])];
      length = 2;
    }
    if (c->length != 0) {
      std::memcpy(to, c->utf8, sizeof c->utf8);
      to += c->length;
      pos += length;
      continue;
    }
    if (*firstInvalid == std::string_view::npos) *firstInvalid = pos;
    std::memcpy(to, kReplacementCharacter.data(), kReplacementCharacter.size());
    to += kReplacementCharacter.size();
    ++pos;
  }
  result.resize(static_cast<size_t>(to - result.data()));
  *out = std::move(result);
}

}  // namespace kirato
