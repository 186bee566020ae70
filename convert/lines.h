// Splits a record held in memory into the lines its handlers see.
#ifndef KIRATO_CONVERT_LINES_H_
#define KIRATO_CONVERT_LINES_H_

#include <cstdint>
#include <string_view>

#include "base/text_file.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kirato {

// A bit for each byte `c` among the 64 bytes at `p`, the lowest for p[0].
inline uint64_t BytesAt64(const char* p, char c) {
  uint64_t bits = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(c);
  for (int i = 0; i < 4; ++i) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    bits |= static_cast<uint64_t>(static_cast<uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted))))
            << (16 * i);
  }
#else
  for (int i = 0; i < 64; ++i) bits |= static_cast<uint64_t>(p[i] == c) << i;
#endif
  return bits;
}

// Hands out the pieces a 1024-byte line buffer would read: each piece holds
// at most kMaxPiece bytes and ends after a line end or where the buffer is
// full, so a longer line arrives as several pieces.
//
// A carriage return directly before a line feed is dropped, and a Ctrl-Z
// byte ends the text, as when the file is read in the text mode of the
// systems that wrote most UGF records: "\r\n" counts as one character
// towards the piece limit, and a DOS end-of-file marker is not taken for a
// line.
class LineSplitter {
 public:
  static constexpr size_t kMaxPiece = 1023;

  // With `wholeCharacters`, the text is UTF-8 and a full piece ends before
  // the character the limit would cut in two, so that no piece holds half
  // a character.
  explicit LineSplitter(std::string_view text, bool wholeCharacters = false);

  // For text known to hold no Ctrl-Z byte (a record's text once prepared),
  // which need not be searched for one again.
  enum NoEndOfFile { kNoEndOfFile };
  LineSplitter(std::string_view text, bool wholeCharacters, NoEndOfFile);

  // The next piece without its line end; *lineEnd tells whether a line end
  // closed it. False when the text is exhausted.
  bool Next(std::string_view* piece, bool* lineEnd) {
    // Most lines are short and end in the block of line ends at hand, or
    // in the next.
    if (pos_ - block_ < 64) {
      uint64_t ends = ends_ & (~uint64_t{0} << (pos_ - block_));
      if (ends == 0 && block_ + 128 <= text_.size()) {
        block_ += 64;
        ends = ends_ = LineEndsAt(block_);
      }
      if (ends != 0) {
        const size_t end = block_ + static_cast<size_t>(__builtin_ctzll(ends));
        const char* from = text_.data() + pos_;
        size_t length = end - pos_;
        if (lineEnd_ == '\n' && length > 0 && from[length - 1] == '\r') {
          --length;
        }
        *piece = std::string_view(from, length);
        *lineEnd = true;
        pos_ = end + 1;
        return true;
      }
    }
    return NextPiece(piece, lineEnd);
  }

  // Where the next piece starts, and the byte that ends lines: '\n', or
  // '\r' in a text with carriage returns alone.
  size_t position() const { return pos_; }
  char lineEnd() const { return lineEnd_; }

  // Goes on at `pos`, just past a line end at or after position(), as if
  // the pieces in between had been handed out: for a caller that read
  // those lines by itself.
  void SkipTo(size_t pos) { pos_ = pos; }

 private:
  bool NextPiece(std::string_view* piece, bool* lineEnd);

  // A bit for each line end among the 64 bytes from `from`, which all lie
  // in the text.
  uint64_t LineEndsAt(size_t from) const {
    return BytesAt64(text_.data() + from, lineEnd_);
  }
  // The first line end at or after pos_ and before `limit`, else `limit`.
  size_t FindLineEnd(size_t limit);

  std::string_view text_;
  size_t pos_ = 0;
  char lineEnd_ = '\n';
  bool wholeCharacters_ = false;
  // The line ends of the 64 bytes from block_ (a multiple of 64), one bit
  // each: found once for all the short lines in them. At first no block,
  // and so far from any position that none is taken to lie in it.
  size_t block_ = SIZE_MAX / 2;
  uint64_t ends_ = 0;
};

// The line feeds of a text, for readers that take whole lines straight
// from it rather than from a LineSplitter: they are found 64 bytes at a
// time, once for all the lines in those bytes, so each line's end follows
// from the last one's without reading the text again. Only whole blocks of
// 64 bytes are searched: the last bytes of a text are left to the
// LineSplitter.
class LineFeedFinder {
 public:
  explicit LineFeedFinder(std::string_view text) : text_(text) {}

  // The first line feed at or after `pos` and less than `most` bytes after
  // it, or std::string_view::npos when there is none such in whole
  // blocks. Calls must come with `pos` growing.
  size_t Find(size_t pos, size_t most) {
    size_t at = pos;
    for (;;) {
      if (at - block_ >= 64) {
        block_ = at & ~size_t{63};
        if (block_ + 64 > text_.size()) return std::string_view::npos;
        feeds_ = BytesAt64(text_.data() + block_, '\n');
      }
      const uint64_t ahead = feeds_ >> (at - block_);
      if (ahead != 0) {
        const size_t end = at + static_cast<size_t>(__builtin_ctzll(ahead));
        return end - pos < most ? end : std::string_view::npos;
      }
      at = block_ + 64;
      if (at - pos >= most) return std::string_view::npos;
    }
  }

 private:
  std::string_view text_;
  // The line feeds of the 64 bytes from block_, one bit each; at first no
  // block, and so far from any position that none is taken to lie in it.
  size_t block_ = SIZE_MAX / 2;
  uint64_t feeds_ = 0;
};

}  // namespace kirato

#endif  // KIRATO_CONVERT_LINES_H_
