#include "convert/text.h"

#include <cstdint>
#include <cstring>

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

}  // namespace kirato
