// One UGF game record in, one SGF game record out.
#ifndef KIRATO_CONVERT_GAME_H_
#define KIRATO_CONVERT_GAME_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kirato {

struct Run;
class LineReader;

// One stored data line.
struct MoveRecord {
  int32_t number = 0;  // 0: a stone added to the position, not played
  char color = 0;      // 'B' or 'W', as read
  uint8_t pass = 0;    // 1: a pass; row and col are then not meaningful
  char row = 0;        // SGF row letter
  char col = 0;        // SGF column letter
};

// A game holds at most kMaxRecords moves and kMaxRecords comment entries;
// the limit test is at a count of kMaxRecords.
constexpr int kMaxRecords = 9999;

struct MoveList {
  std::vector<MoveRecord> records;  // input order
  int count() const { return static_cast<int>(records.size()); }
};

// A finished piece of SGF tied to a move number: "C[...]" or "LB[..:..]...".
struct CommentRecord {
  int32_t number = 0;
  std::string text;
};

struct CommentList {
  std::vector<CommentRecord> entries;  // in the order they were made
  int count() const { return static_cast<int>(entries.size()); }
};

// A property of the root node, its value escaped as it will be written.
struct RootProperty {
  std::string ident;
  std::string value;
};

struct GameState {
  int boardSize = 19;
  // Written from the header, in the order first met; a key met again
  // changes its property instead of writing a second one into the node.
  std::vector<RootProperty> root;
  MoveList moves;
  CommentList comments;
  int textMoveNumber = -1;  // move of the open figure text block; -1: none
  // Move number -> index of its "LB" entry in comments, so that a label line
  // finds the entry it joins without scanning the whole list.
  std::unordered_map<int32_t, int> labelEntries;
};

// Empties the lists and the root properties, sets the board size back to
// 19 and closes any figure text block, so that nothing of one game leaks
// into the next.
void ResetGame(GameState& game);

// Reads one UGF record from `in` and appends its SGF form to `out`. The game
// is named after the part of `outputPath` behind its last '/'. Returns 0 when
// the whole input was converted, 1 when a line handler stopped the
// conversion or the input could not be read; `out` then holds only what was
// written before the failure. The caller counts the game as converted once
// its output is safely stored.
int ConvertGame(Run& run, LineReader& in, std::string& out,
                std::string_view outputPath);

// The section handlers. Each takes one line of its section with leading and
// trailing whitespace removed, and returns 0 to go on or 1 when the
// conversion must end now (having shown its own message).
int HandleHeaderField(Run& run, std::string_view line);
int HandleMove(Run& run, std::string_view line);
int HandleFigureLine(Run& run, std::string_view line);

// Ends a conversion from a line handler: shows `message`, marks the run as
// failed and returns 1.
int FailConversion(Run& run, std::string_view message);

// Shown when an entry cannot be stored for want of memory.
constexpr std::string_view kNoMemoryMessage =
    "Not enough memory for this file. Conversion aborted.";

// Appends the root properties the header lines made, each on a line.
void WriteRootProperties(const GameState& game, std::string& out);

// Appends the nodes of all collected moves, each run of a move number
// followed by that number's comment and label entries. Returns 0.
int PrintMoveTree(Run& run, std::string& out);

}  // namespace kirato

#endif  // KIRATO_CONVERT_GAME_H_
