// The [Figure] section: text blocks tied to a move number, whose lines become
// comment entries and whose ".#" lines gather into one label entry per move.
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

namespace {

constexpr std::string_view kTooManyComments =
    "Too many comments in this file. Conversion aborted.";

// ".Text,N" opens the block of move N; without a number the block stays as
// it was.
void OpenTextBlock(GameState& game, std::string_view line) {
  const size_t pos = SkipSpace(line, AfterComma(line, 0));
  if (DigitAt(line, pos)) {
    game.textMoveNumber = static_cast<int>(ReadNumber(line, pos));
  }
}

void AddComment(GameState& game, std::string_view line) {
  CommentRecord entry;
  entry.number = game.textMoveNumber;
  entry.text.reserve(line.size() + 3);
  entry.text += "C[";
  AppendEscapedSgfText(entry.text, line);
  entry.text += ']';
  game.comments.entries.push_back(std::move(entry));
}

// A label's point letter as a character code; anything that is not
// printable ASCII (numbers far beyond any board) makes the line unusable.
bool LabelLetter(long long code, char* letter) {
  if (code < 0x20 || code > 0x7e) return false;
  *letter = static_cast<char>(code);
  return true;
}

// Reads ".#,column,row,text" into the SGF label value "[cr:text]". Returns
// false for a line that is to be ignored.
bool ParseLabel(const GameState& game, std::string_view line,
                std::string* value) {
  size_t pos = AfterComma(line, 2);
  if (!DigitAt(line, pos)) return false;
  const long long column = ReadNumber(line, pos);
  pos = AfterComma(line, pos);
  if (!DigitAt(line, pos)) return false;
  const long long row = ReadNumber(line, pos);
  const size_t comma = line.find(',', pos);
  if (comma == std::string_view::npos || comma + 1 == line.size()) {
    return false;
  }
  char col = 0;
  char rowLetter = 0;
  // Rows count from the bottom of the board, as in the data lines.
  if (!LabelLetter(column + 96, &col) ||
      !LabelLetter(game.boardSize - row + 97, &rowLetter)) {
    return false;
  }
  value->assign(1, '[');
  AppendSgfPointLetter(*value, col);
  AppendSgfPointLetter(*value, rowLetter);
  *value += ':';
  AppendEscapedSgfText(*value, line.substr(comma + 1));
  *value += ']';
  return true;
}

// All labels of one move end up as values of one "LB" entry: the one made
// first for that move, wherever later label lines stand.
void AddLabel(GameState& game, std::string_view line) {
  std::string value;
  if (!ParseLabel(game, line, &value)) return;
  std::vector<CommentRecord>& entries = game.comments.entries;
  const auto found = game.labelEntries.find(game.textMoveNumber);
  if (found != game.labelEntries.end()) {
    entries[found->second].text += value;
    return;
  }
  CommentRecord entry;
  entry.number = game.textMoveNumber;
  entry.text = "LB" + value;
  entries.push_back(std::move(entry));
  game.labelEntries.emplace(game.textMoveNumber,
                            static_cast<int>(entries.size() - 1));
}

int HandleTextLine(GameState& game, std::string_view line) {
  if (StartsWithNoCase(line, ".Text")) {
    OpenTextBlock(game, line);
    return 0;
  }
  if (StartsWithNoCase(line, ".EndText")) {
    game.textMoveNumber = -1;
    return 0;
  }
  if (game.textMoveNumber < 0) return 0;  // outside a block nothing is taken
  if (line.empty() || line[0] != '.') {
    AddComment(game, line);
  } else if (line.size() >= 2 && line[1] == '#') {
    AddLabel(game, line);
  }
  return 0;
}

}  // namespace

int HandleFigureLine(Conversion& c, std::string_view line) {
  if (c.game.comments.count() >= kMaxRecords) {
    return FailConversion(c, kTooManyComments);
  }
  try {
    if (c.options.traceLevel >= 4) Trace(c, "HandleFigureLine", line);
    return HandleTextLine(c.game, line);
  } catch (const std::bad_alloc&) {
    return FailConversion(c, kNoMemoryMessage);
  }
}

}  // namespace kirato
