// One UGF game record in, one SGF game record out.
#ifndef KIRATO_CONVERT_GAME_H_
#define KIRATO_CONVERT_GAME_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/convert.h"

namespace kirato {

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
  int source = 0;  // which header key wrote it (see HandleHeaderField)
};

// One node of a review's game tree. Its children are `next`, the node that
// follows it in its own block (the main line for the nodes outside any
// block), then the first nodes of the blocks that follow it, chained by
// `nextBranch` in record order.
struct ReviewNode {
  int64_t id = 0;
  int line = 0;    // record line of its NODE line, for messages
  char color = 0;  // 'B' or 'W'; 0 for the root
  uint8_t pass = 0;
  char col = 0;    // SGF letters, as a data line gives them
  char row = 0;
  // The main-line node this one is, or hangs from: 0 the root, k move k.
  int anchor = 0;
  int next = -1;
  int firstBranch = -1;
  int lastBranch = -1;
  int nextBranch = -1;
};

// One ".Comment" block: the node it names and its lines, joined.
struct ReviewComment {
  int64_t id = 0;
  int line = 0;
  std::string text;
};

// An open block of the review tree while it is read.
struct ReviewBlock {
  int after = 0;       // the node the next NODE line follows
  bool first = false;  // the next node starts the block: a branch of `after`
  bool dead = false;   // an unreadable node: the rest of the block is left out
  int line = 0;        // of its VARIATION line
};

// A review record's [ReviewNode] and [ReviewComment] sections as read.
struct Review {
  std::vector<ReviewNode> nodes;  // [0] is the root once a node is read
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

// A review holds at most kMaxReviewNodes nodes (its root included) and as
// many comments; the limit test is at a count of kMaxReviewNodes. Real
// reviews hold a few hundred nodes; the bound keeps a hostile record to some
// 20 MB of memory while leaving room for a review of every one of the
// kMaxRecords moves.
constexpr int kMaxReviewNodes = 250000;

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
  Review review;
};

// Empties the lists and the root properties, sets the board size back to
// 19 and closes any figure text block, so that nothing of one game leaks
// into the next.
void ResetGame(GameState& game);

// Everything one conversion works on. Each conversion has its own, so any
// number of them can run side by side.
struct Conversion {
  explicit Conversion(const ConvertOptions& o = {}) : options(o) {}
  ConvertOptions options;
  GameState game;
  std::vector<Note> notes;
  int errorFlag = 0;  // 1: the failure must mark the whole run as failed
  int lineNumber = 0;  // record line of the line being handled, from 1
  // Messages made so far of each kind, and the kinds that went over the
  // limit, in the order they did.
  std::unordered_map<std::string, int> messageKinds;
  std::vector<std::string> floodedKinds;
};

// One record shows at most this many messages of one kind: a header line
// of megabytes arrives as thousands of pieces, each an unknown field.
constexpr int kMostMessagesOfAKind = 20;

// Adds a message, or a trace line joined from the pieces. The caller tests
// the trace level first. A message's kind is its text up to the first ':'
// (all of it without one), so "Unknown field: a" and "Unknown field: b" are
// of one kind; messages beyond kMostMessagesOfAKind of a kind are counted
// and not shown.
void Message(Conversion& c, std::string text);
void Trace(Conversion& c, std::string_view a, std::string_view b = {},
           std::string_view c3 = {}, std::string_view d = {});

// The section handlers. Each takes one line of its section with leading and
// trailing whitespace removed, and returns 0 to go on or 1 when the
// conversion must end now (having shown its own message).
int HandleHeaderField(Conversion& c, std::string_view line);
int HandleMove(Conversion& c, std::string_view line);
int HandleFigureLine(Conversion& c, std::string_view line);
int HandleReviewNode(Conversion& c, std::string_view line);
int HandleReviewComment(Conversion& c, std::string_view line);

// Ends a conversion from a line handler: shows `message`, marks the run as
// failed and returns 1.
int FailConversion(Conversion& c, std::string_view message);

// Shown when an entry cannot be stored for want of memory.
constexpr std::string_view kNoMemoryMessage =
    "Not enough memory for this file. Conversion aborted.";

// Appends the root properties the header lines made, each on a line.
void WriteRootProperties(const GameState& game, std::string& out);

// Appends the nodes of all collected moves, each run of a move number
// followed by that number's comment and label entries, and the review's
// comments and variations where they belong. Returns 0.
int PrintMoveTree(Conversion& c, std::string& out);

// A review placed against the game's moves, as PrintMoveTree writes it.
struct ReviewPlan {
  std::vector<int> main;            // review node of the root and of move k
  std::vector<std::string> text;    // escaped comment of each review node
  std::vector<int> openTrees;       // main nodes whose continuation is open
};

// Matches the review's main line with the game's moves, gathers the
// comments onto their nodes and shows one message for the first part that
// cannot be placed.
ReviewPlan PlaceReview(Conversion& c);

// The escaped review comment of main-line node k (0: the root); empty when
// there is none.
std::string_view ReviewText(const ReviewPlan& plan, int k);

// True when move k+1 must open a game tree of its own, because variations
// follow main-line node k; remembers to write them.
bool OpensReviewTree(const GameState& game, ReviewPlan& plan, int k);

// Writes the variations of the last main-line node `last`, then closes the
// trees the main line opened, each followed by its variations.
void AppendReviewBranches(const GameState& game, ReviewPlan& plan, int last,
                          std::string& out);

}  // namespace kirato

#endif  // KIRATO_CONVERT_GAME_H_
