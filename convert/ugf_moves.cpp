// The "[Data]" section: one move a line, "PD,B1,12,0" being black at column
// P, row D, move 12.
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/lines.h"
#include "convert/text.h"
#include "convert/ugf.h"

namespace kirato {

namespace {

// Names the offending character of a malformed line. At the end of the line
// there is none, and a NUL byte would cut the message short for any reader
// that takes it as a C string, so both show as nothing at all.
bool Illegal(const UgfReader& r, std::string_view what, std::string_view line,
             size_t pos, std::string* err) {
  *err = "Illegal ";
  err->append(what).append(" ");
  if (pos < line.size() && line[pos] != '\0') *err += line[pos];
  err->append(" on move ")
      .append(std::to_string(r.game.moves.size() + 1))
      .append(" in this file. Conversion aborted.");
  return false;
}

bool UpperLetterAt(std::string_view line, size_t pos) {
  return pos < line.size() && IsUpperLetter(line[pos]);
}

}  // namespace

bool ReadAnyDataLine(UgfReader& r, std::string_view line, std::string* err) {
  std::vector<Move>& moves = r.game.moves;
  if (moves.size() >= kMaxRecords) {
    *err = "Too many variations in this file. Conversion aborted.";
    return false;
  }
  if (r.c.options.traceLevel >= 9) Trace(r.c, "HandleMove ", line);
  Move move;
  size_t pos = 0;
  if (!line.empty() && line[0] == 'Y') {
    // Column Y is the pass marker, even on boards of 25 or 26 lines.
    move.pass = true;
  } else {
    if (!UpperLetterAt(line, 0)) return Illegal(r, "column", line, 0, err);
    if (!UpperLetterAt(line, 1)) return Illegal(r, "row", line, 1, err);
    move.col = ToLower(line[0]);
    // UGF counts rows from the bottom, SGF from the top. The letter is not
    // checked against the board: an off-board row still gives a character.
    move.row = static_cast<char>('a' + (r.boardSize - 1) - (line[1] - 'A'));
    pos = 2;
  }

  pos = SkipSpace(line, AfterComma(line, pos));
  if (pos >= line.size() || (line[pos] != 'B' && line[pos] != 'W')) {
    return Illegal(r, "color", line, pos, err);
  }
  move.color = line[pos];

  pos = SkipSpace(line, AfterComma(line, pos + 1));
  move.number =
      DigitAt(line, pos) ? static_cast<int32_t>(ReadNumber(line, pos)) : 0;
  moves.push_back(move);
  return true;
}

size_t ReadDataLines(UgfReader& r, std::string_view text, size_t pos,
                     int* lines) {
  std::vector<Move>& moves = r.game.moves;
  // Nine digits cannot overflow; a longer number goes to ReadDataLine.
  constexpr size_t kMostDigits = 9;
  const int top = r.boardSize - 1;
  const char* const base = text.data();
  int read = 0;
  // A line is read here only when it is short: no data line comes near
  // the length at which the line readers would get it in pieces.
  constexpr size_t kLongest = 128;
  LineFeedFinder feeds(text);
  while (moves.size() < kMaxRecords) {
    const size_t end = feeds.Find(pos, kLongest);
    if (end == std::string_view::npos) break;
    const char* p = base + pos;
    if (end - pos < 4 || !IsUpperLetter(p[0]) || p[0] == 'Y' ||
        !IsUpperLetter(p[1]) || p[2] != ',' || (p[3] != 'B' && p[3] != 'W')) {
      break;
    }
    // The line feed at p[end - pos] ends each scan below by itself.
    size_t i = 4;
    while (p[i] != ',' && p[i] != '\n') ++i;
    if (p[i] == ',') ++i;
    while (p[i] != '\n' && IsSpace(p[i])) ++i;
    const size_t digits = i;
    // Unsigned: a number too long for this reading wraps, harmlessly,
    // before its line goes to ReadDataLine.
    uint32_t number = 0;
    for (unsigned d; (d = static_cast<unsigned char>(p[i]) - '0') <= 9; ++i) {
      number = number * 10 + d;
    }
    if (i - digits > kMostDigits) break;
    Move move;
    move.col = static_cast<char>(p[0] - 'A' + 'a');
    // UGF counts rows from the bottom, SGF from the top.
    move.row = static_cast<char>('a' + top - (p[1] - 'A'));
    move.color = p[3];
    move.number = static_cast<int32_t>(number);
    moves.push_back(move);
    pos = end + 1;
    ++read;
  }
  *lines = read;
  return pos;
}

}  // namespace kirato
