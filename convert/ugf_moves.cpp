// The "[Data]" section: one move a line, "PD,B1,12,0" being black at column
// P, row D, move 12.
#include <string>
#include <string_view>

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
  // A line is read only when its line feed lies within kWindow bytes of
  // its start, so the bytes up to there are read without a test of the
  // text's end for each: the rest goes to the line readers.
  constexpr size_t kWindow = 32;
  // Nine digits cannot overflow; a longer number goes to ReadDataLine.
  constexpr int kMostDigits = 9;
  const int top = r.boardSize - 1;
  int read = 0;
  while (text.size() - pos >= kWindow && moves.size() < kMaxRecords) {
    const char* p = text.data() + pos;
    if (!IsUpperLetter(p[0]) || p[0] == 'Y' || !IsUpperLetter(p[1]) ||
        p[2] != ',' || (p[3] != 'B' && p[3] != 'W')) {
      break;
    }
    size_t i = 4;
    while (i < kWindow && p[i] != ',' && p[i] != '\n') ++i;
    if (i < kWindow && p[i] == ',') ++i;
    // Blanks inside the line, never its line feed.
    while (i < kWindow && p[i] != '\n' && IsSpace(p[i])) ++i;
    int32_t number = 0;
    int digits = 0;
    for (; i < kWindow && IsDigit(p[i]); ++i, ++digits) {
      number = number * 10 + (p[i] - '0');
    }
    if (digits > kMostDigits) break;
    while (i < kWindow && p[i] != '\n') ++i;
    if (i == kWindow) break;
    Move move;
    move.col = static_cast<char>(p[0] - 'A' + 'a');
    // UGF counts rows from the bottom, SGF from the top.
    move.row = static_cast<char>('a' + top - (p[1] - 'A'));
    move.color = p[3];
    move.number = number;
    moves.push_back(move);
    pos += i + 1;
    ++read;
  }
  *lines = read;
  return pos;
}

}  // namespace kirato
