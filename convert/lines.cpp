#include "convert/lines.h"

#include <cstring>

namespace kirato {

LineSplitter::LineSplitter(std::string_view text) : text_(text) {
  const void* eof = std::memchr(text.data(), 0x1A, text.size());
  if (eof) text_ = text.substr(0, static_cast<const char*>(eof) - text.data());
}

bool LineSplitter::Next(std::string_view* piece, bool* lineEnd) {
  const size_t left = text_.size() - pos_;
  if (left == 0) return false;
  const char* from = text_.data() + pos_;
  // A piece that ends in a line feed takes at most kMaxPiece bytes of text
  // before it, plus the line feed and a carriage return before that: the
  // search never looks further, so a line of many megabytes is not scanned
  // again for each of its pieces.
  const size_t window = left < kMaxPiece + 2 ? left : kMaxPiece + 2;
  const void* found = std::memchr(from, '\n', window);
  if (found) {
    const size_t newline = static_cast<const char*>(found) - from;
    size_t length = newline;
    if (length > 0 && from[length - 1] == '\r') --length;
    if (length < kMaxPiece) {
      *piece = std::string_view(from, length);
      *lineEnd = true;
      pos_ += newline + 1;
      return true;
    }
  }
  const size_t length = left < kMaxPiece ? left : kMaxPiece;
  *piece = std::string_view(from, length);
  *lineEnd = false;
  pos_ += length;
  return true;
}

}  // namespace kirato
