#include "convert/text.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace kirato {

size_t FindByteFurther(std::string_view text, size_t pos, char c) {
  const size_t size = text.size();
  const char* p = text.data();
  const uint64_t ones = 0x0101010101010101ULL;
  const uint64_t pattern = ones * static_cast<unsigned char>(c);
  const size_t quick = pos + 64 < size ? pos + 64 : size;
  for (; pos + 8 <= quick; pos += 8) {
    uint64_t word;
    std::memcpy(&word, p + pos, 8);
    const uint64_t x = word ^ pattern;
    // The lowest set bit marks the first byte that equals c.
    const uint64_t hit = (x - ones) & ~x & (ones << 7);
    if (hit != 0) return pos + (__builtin_ctzll(hit) >> 3);
  }
  if (quick < size) {
    const void* found = std::memchr(p + pos, c, size - pos);
    return found ? static_cast<size_t>(static_cast<const char*>(found) - p)
                 : size;
  }
  while (pos < size && p[pos] != c) ++pos;
  return pos;
}


std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

void AppendEscapedSgfText(std::string& out, std::string_view text) {
  // Most text needs no escape: it is appended in runs between the bytes
  // that do, found with a table rather than a search for each kind.
  static const struct Table {
    bool escaped[256] = {};
    Table() { escaped[0x3A] = escaped[0x5C] = escaped[0x5D] = true; }
  } table;
  const char* p = text.data();
  const size_t size = text.size();
  size_t from = 0;
  for (size_t i = 0; i < size; ++i) {
    if (!table.escaped[static_cast<unsigned char>(p[i])]) continue;
    out.append(p + from, i - from);
    out += '\\';
    from = i;
  }
  out.append(p + from, size - from);
}

std::string EscapeSgfText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  AppendEscapedSgfText(out, text);
  return out;
}

// The result points into a small static table, one entry per byte value, so
// it stays valid for the life of the program and needs no buffer per call.
std::string_view EscapeSgfChar(char c) {
  static const struct Table {
    char pairs[256][2];
    Table() {
      for (int i = 0; i < 256; ++i) {
        pairs[i][0] = '\\';
        pairs[i][1] = static_cast<char>(i);
      }
    }
  } table;
  const unsigned char u = static_cast<unsigned char>(c);
  if (c == ':' || c == ']' || c == '\\') return {table.pairs[u], 2};
  return {&table.pairs[u][1], 1};
}

}  // namespace kirato
