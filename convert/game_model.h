// What one game record says, whatever format it was written in. The reader
// of each record format fills a GameModel; one writer (sgf_writer.h) turns
// any of them into SGF. The model holds values, never SGF text: nothing in
// it is escaped, and nothing the writer makes is read back.
//
// How a reader fills it:
//  - gameName: the name GN gives the game (the SGF file's name), as UTF-8
//    unless the record's bytes are kept. `decoded` is true when the
//    record's text was decoded to UTF-8: the writer then adds CA[UTF-8]
//    whenever the SGF holds a byte above 0x7F.
//  - root: the root node's properties in the order they are to be written,
//    after GM, FF, AP, GN (and CA). One entry per identifier, its value as
//    plain text: "19" for SZ, "B+R" for RE, "6.5" for KM, "2016-03-26" for
//    DT, a player's name for PB. The writer escapes ']', '\' and ':'; a
//    line feed in a value is written as it is.
//  - moves: every stone of the record in its order. A move or a pass is a
//    Move with number > 0 and becomes a node of its own (a pass writes
//    B[] or W[]). Number 0 is a stone added to the position: those before
//    the first move stand in the root node (AB/AW: handicap stones go
//    there), those right after a move join that move's node. Points are SGF
//    letters, 'a' at the left and at the top.
//  - notes: comment lines and board labels tied to a move number, in the
//    record's order. A comment's text may hold several lines, joined by
//    line feeds, as lines that stood together in the record. They go on the node of the last move of each run of
//    moves of that number; those of number 0 (the starting position) on
//    every node that stones are added to, or on the root when none are. A
//    node's comment lines become one C property, joined by line feeds; its
//    labels one LB. Notes of a number no move has are not written.
//  - review: a review's tree of variations (UGF review records only).
// A reader keeps the model's text views valid: they point into the
// record's text, which outlives the model, or into `kept`.
//
// A reader is a function like ReadUgf (ugf.h): the record's prepared text
// in, the model filled, false with the reason in *err for a record it
// refuses, problems that do not stop it as messages of the conversion
// (conversion.h). ConvertGame (convert.cpp) picks the reader and hands the
// model to WriteSgf.
#ifndef KIRATO_CONVERT_GAME_MODEL_H_
#define KIRATO_CONVERT_GAME_MODEL_H_

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace kirato {

struct RootProperty {
  std::string_view ident;  // a constant of the reader's: "SZ", "PB", ...
  std::string value;
  int tag = 0;  // the reader's own record of what set it; not written
};

// A move, a pass or a stone added to the position.
struct Move {
  int32_t number = 0;  // 0: added to the position rather than played
  char color = 0;      // 'B' or 'W'
  bool pass = false;   // col and row are then not meaningful
  char col = 0;        // SGF letters
  char row = 0;
};

// A comment line, or a label on a point, of the move `number`.
struct MoveNote {
  int32_t number = 0;
  bool label = false;
  char col = 0;  // a label's point, as SGF letters
  char row = 0;
  std::string_view text;
};

// One node of a review's game tree. Its children are `next`, the node that
// follows it in its own sequence (the main line for the nodes outside any
// variation), then the first nodes of the variations that branch off after
// it, chained by `nextBranch` in the record's order.
struct ReviewNode {
  int64_t id = 0;  // the record's number of the node
  int line = 0;    // the record line that made it, for messages
  char color = 0;  // 'B' or 'W'; 0 for the root
  bool pass = false;
  char col = 0;  // SGF letters
  char row = 0;
  // The main-line node this one is, or hangs from: 0 the root, k move k.
  int anchor = 0;
  int next = -1;
  int firstBranch = -1;
  int lastBranch = -1;
  int nextBranch = -1;
};

struct ReviewTree {
  std::vector<ReviewNode> nodes;  // [0] is the root once a node is read
  // The review nodes that stand for the root (main[0]) and for the game's
  // moves in their order, as far as the review repeats the game.
  std::vector<int> main;
  // The comment of each node, its lines joined by line feeds (empty: none).
  std::vector<std::string> text;
};

struct GameModel {
  std::string gameName;
  bool decoded = false;
  std::vector<RootProperty> root;
  std::vector<Move> moves;
  std::vector<MoveNote> notes;
  ReviewTree review;
  // Text a reader made rather than found in the record: its views stay
  // valid as more is kept.
  std::list<std::string> kept;

  std::string_view Keep(std::string text) {
    return kept.emplace_back(std::move(text));
  }
};

}  // namespace kirato

#endif  // KIRATO_CONVERT_GAME_MODEL_H_
