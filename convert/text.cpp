#include "convert/text.h"

#include <limits>

namespace kirato {

bool StartsWithNoCase(std::string_view text, std::string_view key) {
  if (text.size() < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    if (ToUpper(text[i]) != ToUpper(key[i])) return false;
  }
  return true;
}

size_t SkipSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

size_t AfterComma(std::string_view text, size_t pos) {
  const size_t comma = text.find(',', pos);
  return comma == std::string_view::npos ? text.size() : comma + 1;
}

long long ReadNumber(std::string_view text, size_t pos, size_t* end) {
  constexpr long long kMax = std::numeric_limits<int>::max();
  long long value = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    value = value * 10 + (text[pos] - '0');
    if (value > kMax) value = kMax;
    ++pos;
  }
  if (end) *end = pos;
  return value;
}

void TrimLineEnd(std::string& text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
    text.pop_back();
  }
}

std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

void TrimTrailingSpace(std::string& text) {
  while (!text.empty() && IsSpace(text.back())) text.pop_back();
}

std::string_view TrimTrailingSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

void AppendEscapedSgfText(std::string& out, std::string_view text) {
  // Most text needs no escape: it is appended in runs between the bytes
  // that do.
  size_t from = 0;
  for (;;) {
    const size_t at = text.find_first_of(":]\\", from);
    out.append(text, from, at == std::string_view::npos ? at : at - from);
    if (at == std::string_view::npos) return;
    out += '\\';
    out += text[at];
    from = at + 1;
  }
}

void AppendSgfPointLetter(std::string& out, char c) {
  if (c == ']' || c == '\\') out += '\\';
  out += c;
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
