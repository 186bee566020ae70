// NGF records: no keys, a field's meaning is its line number; then one PM
// line a move. Older files put "GI" before each header line and hold more
// GI lines and a result text after the moves.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "convert/server_record.h"
#include "base/ascii.h"
#include "convert/text.h"

namespace kirato {

namespace {

constexpr size_t kNone = std::string_view::npos;

struct Line {
  int number;
  std::string_view text;  // without its line end and trailing blanks
};

// Where a move line ("PMABBRDDR") that starts at `pos` ends, told without
// a search, as most lines are such: no line feed among its nine bytes and
// one after them, a carriage return perhaps before it. kNone for any other
// line.
size_t MoveLineEnd(std::string_view text, size_t pos) {
  if (text.size() - pos < 10 || text[pos] != 'P') return kNone;
  uint64_t eight;
  std::memcpy(&eight, text.data() + pos + 1, 8);
  // A byte of eight is a line feed when it is zero after the exclusive or.
  const uint64_t x = eight ^ 0x0A0A0A0A0A0A0A0AULL;
  if (((x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL) != 0) {
    return kNone;
  }
  size_t end = pos + 9;
  if (text[end] == '\r' && end + 1 < text.size()) ++end;
  return text[end] == '\n' ? end : kNone;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  // Most lines are moves of nine bytes and a line end; a text of one long
  // line must not reserve room for millions.
  lines.reserve(std::min<size_t>(text.size() / 10 + 16, 4096));
  int number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = MoveLineEnd(text, pos);
    if (end == kNone) end = text.find('\n', pos);
    if (end == kNone) end = text.size();
    lines.push_back({++number, TrimTrailingSpace(text.substr(pos, end - pos))});
    pos = end + 1;
  }
  return lines;
}

using Reader = ServerReader;

// "7", "6.5", "0": the komi in tenths, or -1.
long long KomiTenths(std::string_view text) {
  text = TrimSpace(text);
  const size_t dot = text.find('.');
  const long long whole = WholeNumber(text.substr(0, dot));
  if (whole < 0) return -1;
  if (dot == kNone) return whole * 10;
  const std::string_view fraction = text.substr(dot + 1);
  if (fraction.size() != 1 || !IsDigit(fraction[0])) return -1;
  return whole * 10 + (fraction[0] - '0');
}

// "ABC         9DP": the name, blanks, the rank. A line whose last word is
// no rank is all name.
void AddPlayer(Reader& r, char colour, std::string_view text) {
  text = TrimSpace(text);
  std::string rank;
  size_t blank = text.size();
  while (blank > 0 && !IsSpace(text[blank - 1])) --blank;
  if (blank > 0) {
    rank = ShortRank(text.substr(blank));
    if (!rank.empty()) text = TrimTrailingSpace(text.substr(0, blank));
  }
  r.AddRoot(colour == 'B' ? "PB" : "PW", std::string(text));
  r.AddRoot(colour == 'B' ? "BR" : "WR", rank);
}

// "Black wins by 0.5!", "White wins by  resign!", "Black lose by time!".
std::string Result(std::string_view text) {
  char winner = 0;
  for (size_t i = 0; i < text.size() && winner == 0; ++i) {
    if (StartsWithNoCase(text.substr(i), "black")) winner = 'B';
    if (StartsWithNoCase(text.substr(i), "white")) winner = 'W';
  }
  if (winner == 0) return {};
  bool won = false, lost = false;
  for (size_t i = 0; i < text.size(); ++i) {
    won = won || StartsWithNoCase(text.substr(i), "win");
    lost = lost || StartsWithNoCase(text.substr(i), "lose");
  }
  if (won == lost) return {};
  if (lost) winner = winner == 'B' ? 'W' : 'B';
  std::string result{winner, '+'};
  for (size_t i = 0; i < text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), "resign")) return result + "R";
    if (StartsWithNoCase(text.substr(i), "time")) return result + "T";
  }
  const size_t digit = text.find_first_of("0123456789");
  if (digit != kNone) {
    size_t end = digit;
    while (end < text.size() && (IsDigit(text[end]) || text[end] == '.')) {
      ++end;
    }
    const long long tenths = KomiTenths(text.substr(digit, end - digit));
    if (tenths > 0) result += Tenths(tenths);
  }
  return result;
}

// "PMABBREER": PM, the move number in two letters, the colour, the point
// as two letters counted from 'B' = 1, and the point again reversed.
bool ReadMove(std::string_view text, int size, Move* m) {
  if (text.size() != 9 || !text.starts_with("PM")) return false;
  if (text[4] != 'B' && text[4] != 'W') return false;
  if (text[5] != text[8] || text[6] != text[7]) return false;
  m->color = text[4];
  if (text[5] == 'A' && text[6] == 'A') {
    m->pass = true;  // the point (0, 0) is no point of the board
    return true;
  }
  const int x = text[5] - 'B';
  const int y = text[6] - 'B';
  if (x < 0 || y < 0 || x >= size || y >= size) return false;
  m->col = static_cast<char>('a' + x);
  m->row = static_cast<char>('a' + y);
  return true;
}

struct Fields {
  std::string_view event, white, black, site, handicap, komi, date, result;
  int size = 19;
};

void AddGameInfo(const Fields& f, Reader& r) {
  r.boardSize = f.size;
  r.AddRoot("SZ", std::to_string(f.size));
  AddPlayer(r, 'B', f.black);
  AddPlayer(r, 'W', f.white);
  r.AddRoot("DT", DateOf(f.date));
  r.AddRoot("EV", std::string(TrimSpace(f.event)));
  r.AddRoot("PC", std::string(TrimSpace(f.site)));
  const long long handicap = WholeNumber(f.handicap);
  const std::vector<std::string> stones =
      handicap >= 2 ? HandicapPoints(f.size, static_cast<int>(handicap))
                    : std::vector<std::string>();
  if (!stones.empty()) r.AddRoot("HA", std::to_string(handicap));
  for (const std::string& p : stones) {
    r.game->moves.push_back({0, 'B', false, p[0], p[1]});
  }
  long long komi = KomiTenths(f.komi);
  // The file holds whole points; an even game's komi has its half point.
  if (komi >= 0 && handicap < 2 && komi % 10 == 0 && komi > 0) komi += 5;
  if (komi >= 0) r.AddRoot("KM", Tenths(komi));
  r.AddRoot("RE", Result(f.result));
}

// One PM line; a line that is none is left out.
void ReadMoveLine(const Line& line, Reader& r) {
  Move m;
  if (ReadMove(line.text, r.boardSize, &m)) {
    m.number = ++r.played;
    r.game->moves.push_back(m);
  } else {
    r.leftOut->Add(line.number, line.text);
  }
}

int BoardSize(std::string_view text) {
  const long long size = WholeNumber(text);
  return size >= 2 && size <= 25 ? static_cast<int>(size) : 0;
}

bool ReadPlain(const std::vector<Line>& lines, Reader& r) {
  if (lines.size() < 12 || BoardSize(lines[1].text) == 0) return false;
  Fields f;
  f.event = lines[0].text;
  f.size = BoardSize(lines[1].text);
  f.white = lines[2].text;
  f.black = lines[3].text;
  f.site = lines[4].text;
  f.handicap = lines[5].text;
  f.komi = lines[7].text;
  f.date = lines[8].text;
  f.result = lines[10].text;
  AddGameInfo(f, r);
  for (size_t i = 12; i < lines.size(); ++i) {
    if (!lines[i].text.empty()) ReadMoveLine(lines[i], r);
  }
  return true;
}

// The GI variant: what the header lines hold, by their place among the GI
// lines before the first move, where it can be told with confidence.
bool ReadTagged(const std::vector<Line>& lines, Reader& r) {
  std::vector<std::string_view> header;
  size_t i = 0;
  for (; i < lines.size() && !lines[i].text.starts_with("PM"); ++i) {
    if (!lines[i].text.starts_with("GI")) return false;
    header.push_back(lines[i].text.substr(2));
  }
  if (header.empty()) return false;
  header.resize(std::max<size_t>(header.size(), 9));
  Fields f;
  f.event = header[0];
  f.white = header[1];
  f.black = header[2];
  f.date = header[5];
  f.size = BoardSize(header[6]);
  if (f.size == 0) f.size = 19;
  f.handicap = header[7];
  f.komi = header[8];
  AddGameInfo(f, r);
  // The GI lines and the result text after the moves repeat the header in
  // a form of their own.
  for (; i < lines.size() && lines[i].text.starts_with("PM"); ++i) {
    ReadMoveLine(lines[i], r);
  }
  return true;
}

}  // namespace

bool ReadNgf(std::string_view text, GameModel* game, LeftOut* leftOut) {
  const std::vector<Line> lines = SplitLines(text);
  game->moves.reserve(lines.size());
  Reader r{game, leftOut};
  return ReadPlain(lines, r) || ReadTagged(lines, r);
}

}  // namespace kirato
