// Field rules that GIB and NGF records share: ranks, dates, komi and
// margins in tenths, and where the clients put handicap stones.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "convert/server_record.h"
#include "base/ascii.h"
#include "convert/text.h"

namespace kirato {

namespace {

struct RankWord {
  std::string_view word;  // after the number, compared case-blind for ASCII
  char letter;
};

// Korean and Chinese clients write kyu and dan in their own script.
constexpr RankWord kRankWords[] = {
    {"k", 'k'},           {"\xEA\xB8\x89", 'k'} /* 급 */,
    {"\xE7\xBA\xA7", 'k'} /* 级 */, {"\xE7\xB4\x9A", 'k'} /* 級 */,
    {"dp", 'p'},          {"d", 'd'},
    {"\xEB\x8B\xA8", 'd'} /* 단 */, {"\xE6\xAE\xB5", 'd'} /* 段 */,
    {"p", 'p'},
};

}  // namespace

long long WholeNumber(std::string_view text) {
  text = TrimSpace(text);
  size_t end = 0;
  const long long value = ReadNumber(text, 0, &end);
  return text.empty() || end != text.size() ? -1 : value;
}

std::string ShortRank(std::string_view rank) {
  rank = TrimSpace(rank);
  size_t pos = 0;
  while (DigitAt(rank, pos)) ++pos;
  if (pos == 0 || pos > 2) return {};
  std::string_view rest = rank.substr(pos);
  for (const RankWord& w : kRankWords) {
    if (!StartsWithNoCase(rest, w.word)) continue;
    std::string_view after = rest.substr(w.word.size());
    std::string out(rank.substr(0, pos));
    out += w.letter;
    // A mark the server puts on a rank it is not sure of.
    if (after == "*" || after == "?") out += '?';
    else if (!after.empty()) return {};
    return out;
  }
  return {};
}

std::string DateOf(std::string_view text) {
  long long parts[3] = {};
  size_t digits[3] = {};
  size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    while (pos < text.size() && !IsDigit(text[pos])) ++pos;
    if (pos == text.size()) return {};
    const size_t start = pos;
    while (DigitAt(text, pos)) ++pos;
    // Eight digits in a row are a whole date ("20170316").
    if (i == 0 && pos - start == 8) {
      parts[0] = ReadNumber(text.substr(start, 4), 0);
      parts[1] = ReadNumber(text.substr(start + 4, 2), 0);
      parts[2] = ReadNumber(text.substr(start + 6, 2), 0);
      digits[0] = 4;
      break;
    }
    parts[i] = ReadNumber(text, start);
    digits[i] = pos - start;
  }
  if (digits[0] != 4 || parts[1] < 1 || parts[1] > 12 || parts[2] < 1 ||
      parts[2] > 31) {
    return {};
  }
  char out[16];
  std::snprintf(out, sizeof out, "%04lld-%02lld-%02lld", parts[0], parts[1],
                parts[2]);
  return out;
}

std::string Tenths(long long tenths) {
  std::string out = tenths < 0 ? "-" : "";
  const long long magnitude = tenths < 0 ? -tenths : tenths;
  out += std::to_string(magnitude / 10);
  if (magnitude % 10 != 0) {
    out += '.';
    out += static_cast<char>('0' + magnitude % 10);
  }
  return out;
}

std::vector<std::string> HandicapPoints(int size, int count) {
  if (count < 2 || size < 7) return {};
  const int edge = size >= 13 ? 3 : 2;
  const int far = size - 1 - edge;
  const bool middle = size % 2 == 1;
  const int mid = size / 2;
  const auto point = [](int x, int y) {
    return std::string{static_cast<char>('a' + x), static_cast<char>('a' + y)};
  };
  // Bottom left and top right first, then top left, then bottom right;
  // beyond four the sides, and the centre whenever the count is odd.
  std::vector<std::string> stones = {point(edge, far), point(far, edge),
                                     point(edge, edge), point(far, far)};
  if (!middle) {
    if (count > 4) return {};
    stones.resize(count);
    return stones;
  }
  if (count > 9) return {};
  std::vector<std::string> sides = {point(edge, mid), point(far, mid),
                                    point(mid, edge), point(mid, far)};
  const int corners = count >= 4 ? 4 : count;
  stones.resize(corners);
  const int onSides = count >= 6 ? (count - (count % 2)) - 4 : 0;
  stones.insert(stones.end(), sides.begin(), sides.begin() + onSides);
  if (count >= 5 && count % 2 == 1) stones.push_back(point(mid, mid));
  return stones;
}

}  // namespace kirato
