// The "[Figure]" section: text blocks tied to a move number, whose lines
// are the move's comment and whose ".#" lines its labels.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "convert/lines.h"
#include "convert/text.h"
#include "convert/ugf.h"

namespace kirato {

namespace {

// ".Text,N" opens the block of move N; without a number the block stays as
// it was.
void OpenTextBlock(UgfReader& r, std::string_view line) {
  // ".Text" itself holds no comma.
  const size_t pos = SkipSpace(line, AfterComma(line, 5));
  if (DigitAt(line, pos)) {
    r.textMoveNumber = static_cast<int>(ReadNumber(line, pos));
  }
}

// The SGF letter of a 1-based line number of the board, or 0 for a number
// beyond it.
char BoardLetter(const UgfReader& r, long long number) {
  if (number < 1 || number > r.boardSize) return 0;
  return static_cast<char>('a' + (number - 1));
}

// ".#,column,row,text": a label on a point of the board. Lines that do not
// fit, and labels beyond the board, are passed over.
void AddLabel(UgfReader& r, std::string_view line) {
  size_t pos = AfterComma(line, 2);
  if (!DigitAt(line, pos)) return;
  const long long column = ReadNumber(line, pos);
  pos = AfterComma(line, pos);
  if (!DigitAt(line, pos)) return;
  // Rows count from the bottom of the board, as in the data lines.
  const long long row = ReadNumber(line, pos);
  const size_t comma = line.find(',', pos);
  if (comma == std::string_view::npos || comma + 1 == line.size()) return;
  MoveNote note;
  note.col = BoardLetter(r, column);
  note.row = BoardLetter(r, r.boardSize + 1 - row);
  if (note.col == 0 || note.row == 0) return;
  note.number = r.textMoveNumber;
  note.label = true;
  note.text = line.substr(comma + 1);
  // All labels of a move are one figure entry, made with its first label.
  std::vector<int32_t>& labelled = r.labelledMoves;
  const auto at =
      std::lower_bound(labelled.begin(), labelled.end(), note.number);
  if (at == labelled.end() || *at != note.number) {
    labelled.insert(at, note.number);
    ++r.figureEntries;
  }
  r.game.notes.push_back(note);
}

// A line of the section that starts with '.'.
void ReadMarkLine(UgfReader& r, std::string_view line) {
  // The byte after the '.' tells the marks apart.
  if (line.size() < 2) return;
  switch (line[1]) {
    case 'T':
    case 't':
      if (StartsWithNoCase(line, ".Text")) OpenTextBlock(r, line);
      break;
    case 'E':
    case 'e':
      if (StartsWithNoCase(line, ".EndText")) r.textMoveNumber = -1;
      break;
    case '#':
      if (r.textMoveNumber >= 0) AddLabel(r, line);
      break;
    default:
      break;
  }
}

// A line of the section: a comment line of the open block (outside a
// block nothing is taken), or a line that starts with '.'.
void ReadLine(UgfReader& r, std::string_view line) {
  if (line.empty() || line[0] != '.') {
    if (r.textMoveNumber >= 0) AddCommentLine(r, line);
  } else {
    ReadMarkLine(r, line);
  }
}

}  // namespace

bool ReadAnyFigureLine(UgfReader& r, std::string_view line, std::string* err) {
  if (r.figureEntries >= kMaxRecords) {
    *err = "Too many comments in this file. Conversion aborted.";
    return false;
  }
  if (r.c.options.traceLevel >= 4) Trace(r.c, "HandleFigureLine", line);
  ReadLine(r, line);
  return true;
}

size_t ReadFigureLines(UgfReader& r, std::string_view text, size_t pos,
                       int* lines) {
  // Lines up to this long, and their line feed, arrive as one piece from
  // the line readers; longer ones are theirs.
  constexpr size_t kLongest = 1022;
  LineFeedFinder feeds(text);
  int read = 0;
  while (r.figureEntries < kMaxRecords) {
    const size_t end = feeds.Find(pos, kLongest + 1);
    if (end == std::string_view::npos) break;
    std::string_view line = text.substr(pos, end - pos);
    // Lines the loop of ReadUgf would trim at the front, or that open a
    // section; blanks at the end, a carriage return among them, it would
    // trim as here.
    if (line.empty() || IsSpace(line.front()) || line.front() == '[') break;
    if (IsSpace(line.back())) line = TrimTrailingSpace(line);
    if (line.front() != '.') {
      if (r.textMoveNumber >= 0) AddCommentLine(r, line);
    } else {
      ReadMarkLine(r, line);
    }
    pos = end + 1;
    ++read;
  }
  *lines = read;
  return pos;
}

}  // namespace kirato
