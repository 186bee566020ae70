// Reading UGF records (.ugf, .ugi) into a GameModel, in one pass over the
// lines: "[Header]" key=value lines become root properties, "[Data]" lines
// moves, "[Figure]" lines comment lines and labels, and a review record's
// "[ReviewNode]" and "[ReviewComment]" lines its review tree.
//
// Every line reader takes one line of its section with leading and
// trailing whitespace removed. It returns true to go on; false when the
// conversion must end, with *err saying why.
#ifndef KIRATO_CONVERT_UGF_H_
#define KIRATO_CONVERT_UGF_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/ascii.h"
#include "convert/conversion.h"
#include "convert/game_model.h"

namespace kirato {

// A game holds at most kMaxRecords moves and kMaxRecords figure entries
// (a comment line each, and one for all labels of a move); the limit test
// is at a count of kMaxRecords.
constexpr int kMaxRecords = 9999;

// A review holds at most kMaxReviewNodes nodes (its root included) and as
// many comments. Real reviews hold a few hundred nodes; the bound keeps a
// hostile record to some 20 MB of memory while leaving room for a review of
// every one of the kMaxRecords moves.
constexpr int kMaxReviewNodes = 250000;

// One ".Comment" block of a review: the node it names and its lines.
struct ReviewComment {
  int64_t id = 0;
  int line = 0;
  std::string text;  // each line followed by a line feed
};

// An open block of the review tree while it is read.
struct ReviewBlock {
  int after = 0;       // the node the next NODE line follows
  bool first = false;  // the next node starts the block: a branch of `after`
  bool dead = false;   // an unreadable node: the rest of the block is left out
  int line = 0;        // of its VARIATION line
};

// What reading a review needs beyond the tree it makes.
struct ReviewReading {
  // Node id -> node; an id without a stone names the node it follows.
  std::unordered_map<int64_t, int> ids;
  std::vector<ReviewBlock> blocks;  // [0] the main line, once a node is read
  int mainMoves = 0;                // main-line nodes with a stone
  bool full = false;                // the node limit was reached
  std::vector<ReviewComment> comments;
  bool commentOpen = false;  // text lines belong to comments.back()
  // The first thing of the review that cannot be placed (line 0: none).
  int problemLine = 0;
  std::string problem;
};

// One record's reading.
struct UgfReader {
  UgfReader(Conversion& conversion, GameModel& model)
      : c(conversion), game(model) {}
  Conversion& c;
  GameModel& game;
  // The board moves and labels are placed on, as the lines read so far set
  // it.
  int boardSize = 19;
  // The record's text being read, which the notes' views point into.
  std::string_view text;
  int lineNumber = 0;       // record line of the line being read, from 1
  int textMoveNumber = -1;  // move of the open figure text block; -1: none
  int figureEntries = 0;    // counted against kMaxRecords
  std::vector<int32_t> labelledMoves;  // moves with a label entry, in order
  ReviewReading review;
};

bool ReadHeaderLine(UgfReader& r, std::string_view line, std::string* err);
bool ReadAnyDataLine(UgfReader& r, std::string_view line, std::string* err);
bool ReadAnyFigureLine(UgfReader& r, std::string_view line, std::string* err);

// Most lines of a record are data lines of one form ("PD,B1,12,0": point,
// comma, colour) and comment lines: these two read them without a call,
// and hand every other line, and every line to be traced, to the readers
// above.
inline bool ReadDataLine(UgfReader& r, std::string_view line,
                         std::string* err) {
  const char* p = line.data();
  const size_t size = line.size();
  std::vector<Move>& moves = r.game.moves;
  if (size < 4 || p[2] != ',' || (p[3] != 'B' && p[3] != 'W') ||
      !IsUpperLetter(p[0]) || p[0] == 'Y' || !IsUpperLetter(p[1]) ||
      moves.size() >= kMaxRecords || r.c.options.traceLevel >= 9) {
    return ReadAnyDataLine(r, line, err);
  }
  Move move;
  move.col = static_cast<char>(p[0] - 'A' + 'a');
  // UGF counts rows from the bottom, SGF from the top.
  move.row = static_cast<char>('a' + (r.boardSize - 1) - (p[1] - 'A'));
  move.color = p[3];
  size_t pos = 4;
  while (pos < size && p[pos] != ',') ++pos;
  if (pos < size) ++pos;
  move.number = static_cast<int32_t>(ReadNumber(line, SkipSpace(line, pos)));
  moves.push_back(move);
  return true;
}

// Adds a comment line of the open text block. A line that follows the
// block's last one in the record with only a line feed between them
// extends its note instead: the two are then written as the one piece of
// text they already are, which costs less than two.
inline void AddCommentLine(UgfReader& r, std::string_view line) {
  ++r.figureEntries;
  std::vector<MoveNote>& notes = r.game.notes;
  // Only for a line of the record's text after its first byte: the byte
  // before the line is then a byte of the text.
  const uintptr_t start = reinterpret_cast<uintptr_t>(r.text.data());
  const uintptr_t at = reinterpret_cast<uintptr_t>(line.data());
  if (!notes.empty() && at > start && at - start <= r.text.size()) {
    MoveNote& last = notes.back();
    const size_t gap = at - start - 1;
    if (!last.label && last.number == r.textMoveNumber &&
        last.text.data() + last.text.size() == r.text.data() + gap &&
        r.text[gap] == '\n') {
      last.text = std::string_view(last.text.data(),
                                   last.text.size() + 1 + line.size());
      return;
    }
  }
  MoveNote note;
  note.number = r.textMoveNumber;
  note.text = line;
  notes.push_back(note);
}

// Reads the data lines from `pos` on, in the text of the record, for as
// long as they have the common form ("PD,B1,12,0" and what ReadDataLine
// reads alike) and end in a line feed soon after, as ReadDataLine would
// read them one by one; *lines counts them. Returns where it stopped: the
// start of the first line it leaves to the line readers. The caller reads
// the record with line feeds as line ends and without tracing each line.
size_t ReadDataLines(UgfReader& r, std::string_view text, size_t pos,
                     int* lines);

inline bool ReadFigureLine(UgfReader& r, std::string_view line,
                           std::string* err) {
  if (line.empty() || line[0] == '.' || r.textMoveNumber < 0 ||
      r.figureEntries >= kMaxRecords || r.c.options.traceLevel >= 4) {
    return ReadAnyFigureLine(r, line, err);
  }
  AddCommentLine(r, line);
  return true;
}

// Reads the lines of the "[Figure]" section from `pos` on, in the text of
// the record, as ReadUgf would hand them to ReadFigureLine one by one, for
// as long as they start with no blank, open no section and are not too
// long to come whole; *lines counts them. Returns where it stopped, as
// ReadDataLines does. The caller reads the record with line feeds as line
// ends and traces no figure line.
size_t ReadFigureLines(UgfReader& r, std::string_view text, size_t pos,
                       int* lines);

bool ReadReviewNodeLine(UgfReader& r, std::string_view line, std::string* err);
bool ReadReviewCommentLine(UgfReader& r, std::string_view line,
                           std::string* err);

// Matches the review's main line with the game's moves and gathers the
// comments onto their nodes, filling game.review.main and .text; shows one
// message for the first part of the review that cannot be placed.
void PlaceReview(UgfReader& r);

// Reads the record's text as PrepareRecordText leaves it (decoded, cut at
// its end-of-file marker: see record_text.h) into *game. False when the
// record cannot be converted, with *err saying why; *game then holds what
// the lines before the fault gave.
bool ReadUgf(Conversion& c, std::string_view text, GameModel* game,
             std::string* err);

// True when `line` (leading whitespace skipped) names a section of the UGF
// format.
bool NamesUgfSection(std::string_view line);

}  // namespace kirato

#endif  // KIRATO_CONVERT_UGF_H_
