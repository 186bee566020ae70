#include "convert/lines.h"

#include <cstring>

namespace kirato {

LineSplitter::LineSplitter(std::string_view text, bool wholeCharacters)
    : LineSplitter(CutAtEndOfFile(text), wholeCharacters, kNoEndOfFile) {}

LineSplitter::LineSplitter(std::string_view text, bool wholeCharacters,
                           NoEndOfFile)
    : text_(text),
      lineEnd_(LineEndOf(text)),
      wholeCharacters_(wholeCharacters) {}

namespace {

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A bit for each byte of text[from, from + 64) that is `c`; bytes beyond
// the text count as other bytes.
uint64_t BytesEqual(std::string_view text, size_t from, char c) {
  const char* p = text.data() + from;
  const size_t n = text.size() - from < 64 ? text.size() - from : 64;
  uint64_t bits = 0;
  for (size_t i = 0; i < n; ++i) {
    bits |= static_cast<uint64_t>(p[i] == c) << i;
  }
  return bits;
}

}  // namespace

size_t LineSplitter::FindLineEnd(size_t limit) {
  const auto endsAt = [this](size_t block) {
    return block + 64 <= text_.size() ? LineEndsAt(block)
                                      : BytesEqual(text_, block, lineEnd_);
  };
  const size_t block = pos_ & ~size_t{63};
  if (block != block_) {
    block_ = block;
    ends_ = endsAt(block_);
  }
  uint64_t ends = ends_ & (~uint64_t{0} << (pos_ - block_));
  while (ends == 0) {
    // Nothing in this block: the next, as long as the piece may reach it.
    if (block_ + 64 >= limit) return limit;
    block_ += 64;
    ends = ends_ = endsAt(block_);
  }
  const size_t end = block_ + static_cast<size_t>(__builtin_ctzll(ends));
  return end < limit ? end : limit;
}

bool LineSplitter::NextPiece(std::string_view* piece, bool* lineEnd) {
  const size_t left = text_.size() - pos_;
  if (left == 0) return false;
  const char* from = text_.data() + pos_;
  // A piece that ends in a line end takes at most kMaxPiece bytes of text
  // before it, plus the line end and a carriage return before that: the
  // search never looks further, so a line of many megabytes is not scanned
  // again for each of its pieces.
  const size_t window = left < kMaxPiece + 2 ? left : kMaxPiece + 2;
  const size_t end = FindLineEnd(pos_ + window) - pos_;
  if (end < window) {
    size_t length = end;
    if (lineEnd_ == '\n' && length > 0 && from[length - 1] == '\r') --length;
    if (length < kMaxPiece) {
      *piece = std::string_view(from, length);
      *lineEnd = true;
      pos_ += end + 1;
      return true;
    }
  }
  size_t length = left < kMaxPiece ? left : kMaxPiece;
  if (wholeCharacters_ && length < left) {
    // A UTF-8 character is at most four bytes: at most three to give back.
    size_t cut = length;
    while (cut > length - 3 && IsContinuationByte(from[cut])) --cut;
    if (!IsContinuationByte(from[cut])) length = cut;
  }
  *piece = std::string_view(from, length);
  *lineEnd = false;
  pos_ += length;
  return true;
}

}  // namespace kirato
