// Review records: the [ReviewNode] section's game tree, whose main line
// repeats the [Data] moves and whose VARIATION blocks hold the reviewers'
// alternatives, and the [ReviewComment] section's texts, one per node. The
// tree is read with explicit stacks, never by recursion, so a record nested
// a hundred thousand blocks deep costs memory, not the stack.
#include <string>
#include <string_view>
#include <vector>

#include "convert/text.h"
#include "convert/ugf.h"

namespace kirato {

namespace {

// A record gets one message: the problem on its earliest line.
void NoteProblem(ReviewReading& r, int line, std::string text) {
  if (!r.problem.empty() && r.problemLine <= line) return;
  r.problemLine = line;
  r.problem = std::move(text);
}

std::string NodeName(int64_t id) { return "node " + std::to_string(id); }

// The root and the main line exist once the section holds anything.
void StartTree(UgfReader& r) {
  if (!r.game.review.nodes.empty()) return;
  r.game.review.nodes.emplace_back();
  r.review.blocks.emplace_back();
}

struct NodeLine {
  long long id = 0;
  long long color = 0;  // 0 no stone, 1 black, 2 white
  long long x = 0;      // positions in the alphabet of a data line's letters
  long long y = 0;
};

// "NODE,id,colour,x,y"; false when a field is missing or out of range.
bool ParseNodeLine(std::string_view line, NodeLine* n) {
  long long* const fields[] = {&n->id, &n->color, &n->x, &n->y};
  size_t pos = 0;
  for (long long* field : fields) {
    pos = SkipSpace(line, AfterComma(line, pos));
    if (!DigitAt(line, pos)) return false;
    *field = ReadNumber(line, pos, &pos);
  }
  return n->id > 0 && n->color <= 2;
}

// The letters a data line would give the point; off the board is a pass.
void SetPoint(ReviewNode& node, int boardSize, long long x, long long y) {
  if (x < 1 || y < 1 || x > boardSize || y > boardSize) {
    node.pass = true;
    return;
  }
  node.col = static_cast<char>('a' + (x - 1));
  node.row = static_cast<char>('a' + (boardSize - y));
}

void LinkNode(std::vector<ReviewNode>& nodes, ReviewBlock& block, int index) {
  ReviewNode& parent = nodes[block.after];
  if (!block.first) {
    parent.next = index;
  } else if (parent.lastBranch < 0) {
    parent.firstBranch = parent.lastBranch = index;
  } else {
    nodes[parent.lastBranch].nextBranch = index;
    parent.lastBranch = index;
  }
  block.first = false;
  block.after = index;
}

void AddNode(UgfReader& r, const NodeLine& n) {
  ReviewReading& reading = r.review;
  std::vector<ReviewNode>& nodes = r.game.review.nodes;
  ReviewBlock& block = reading.blocks.back();
  // A node without a stone (the root, the end of the game) adds nothing:
  // its id names the node it follows, so its comment lands there.
  if (n.color == 0) {
    reading.ids.emplace(n.id, block.after);
    return;
  }
  if (static_cast<int>(nodes.size()) >= kMaxReviewNodes) {
    reading.full = true;
    NoteProblem(reading, r.lineNumber,
                "more than " + std::to_string(kMaxReviewNodes) +
                    " nodes; the rest of the review is left out");
    return;
  }
  ReviewNode node;
  node.id = n.id;
  node.line = r.lineNumber;
  node.color = n.color == 1 ? 'B' : 'W';
  SetPoint(node, r.boardSize, n.x, n.y);
  node.anchor = reading.blocks.size() == 1 ? ++reading.mainMoves
                                           : nodes[block.after].anchor;
  const int index = static_cast<int>(nodes.size());
  nodes.push_back(node);
  LinkNode(nodes, block, index);
  // Ids are unique; a repeated one keeps the first.
  reading.ids.emplace(n.id, index);
}

void ReadNode(UgfReader& r, std::string_view line) {
  ReviewReading& reading = r.review;
  ReviewBlock& block = reading.blocks.back();
  if (block.dead || reading.full) return;
  NodeLine n;
  if (ParseNodeLine(line, &n)) {
    AddNode(r, n);
    return;
  }
  // Without this node the ones after it in its block have no place.
  block.dead = true;
  NoteProblem(
      reading, r.lineNumber,
      std::string("unreadable node; the rest of ") +
          (reading.blocks.size() == 1 ? "the main line" : "its variation") +
          " is left out");
}

// The review's main line repeats the game's moves: a node that differs from
// its move, or has none, ends what can be placed of it.
bool SameMove(const ReviewNode& node, const Move& move, int boardSize) {
  const auto onBoard = [&](char letter) {
    return letter >= 'a' && letter < 'a' + boardSize;
  };
  // A data point off the board is no stone either.
  const bool movePass = move.pass || !onBoard(move.col) || !onBoard(move.row);
  if (node.color != move.color || node.pass != movePass) return false;
  return node.pass || (node.col == move.col && node.row == move.row);
}

// Fills the main line with the review nodes that match the game's moves.
void PlaceMainLine(UgfReader& r) {
  ReviewTree& tree = r.game.review;
  const std::vector<Move>& moves = r.game.moves;
  tree.main.push_back(0);
  size_t record = 0;
  for (int node = tree.nodes[0].next, k = 1; node >= 0;
       node = tree.nodes[node].next, ++k) {
    while (record < moves.size() && moves[record].number == 0) ++record;
    const ReviewNode& n = tree.nodes[node];
    if (record == moves.size()) {
      NoteProblem(r.review, n.line,
                  NodeName(n.id) +
                      " comes after the last move; the review from there on "
                      "is left out");
      return;
    }
    if (!SameMove(n, moves[record], r.boardSize)) {
      NoteProblem(r.review, n.line,
                  NodeName(n.id) + " is not move " + std::to_string(k) +
                      " of the game; the review from there on is left out");
      return;
    }
    tree.main.push_back(node);
    ++record;
  }
}

void PlaceComments(UgfReader& r) {
  ReviewTree& tree = r.game.review;
  tree.text.resize(tree.nodes.size());
  const int placed = static_cast<int>(tree.main.size());
  for (const ReviewComment& comment : r.review.comments) {
    const auto found = r.review.ids.find(comment.id);
    if (found == r.review.ids.end()) {
      NoteProblem(r.review, comment.line,
                  "comment on " + NodeName(comment.id) +
                      ", which the review does not hold, left out");
      continue;
    }
    const int node = found->second;
    // A node left out takes its comment with it; the message says so.
    if (tree.nodes[node].anchor >= placed) continue;
    const std::string_view text = TrimTrailingSpace(comment.text);
    if (text.empty()) continue;
    std::string& joined = tree.text[node];
    if (!joined.empty()) joined += '\n';
    joined += text;
  }
}

}  // namespace

// Every line is already traced as read, so these add no trace of their own.
bool ReadReviewNodeLine(UgfReader& r, std::string_view line, std::string*) {
  if (line.empty()) return true;
  ReviewReading& reading = r.review;
  StartTree(r);
  // VARIATIONEND first: VARIATION is a prefix of it.
  if (StartsWithNoCase(line, "VARIATIONEND")) {
    if (reading.blocks.size() > 1) {
      reading.blocks.pop_back();
    } else {
      NoteProblem(reading, r.lineNumber,
                  "VARIATIONEND without VARIATION left out");
    }
  } else if (StartsWithNoCase(line, "VARIATION")) {
    // An alternative to the node that follows the current one.
    const ReviewBlock& outer = reading.blocks.back();
    reading.blocks.push_back({outer.after, true, outer.dead, r.lineNumber});
  } else if (StartsWithNoCase(line, "NODE")) {
    ReadNode(r, line);
  } else {
    NoteProblem(reading, r.lineNumber, "unknown line left out");
  }
  return true;
}

bool ReadReviewCommentLine(UgfReader& r, std::string_view line, std::string*) {
  ReviewReading& reading = r.review;
  if (StartsWithNoCase(line, ".Comment")) {
    reading.commentOpen = false;
    const size_t pos = SkipSpace(line, AfterComma(line, 0));
    if (!DigitAt(line, pos)) {
      NoteProblem(reading, r.lineNumber,
                  "unreadable .Comment; its text is left out");
    } else if (static_cast<int>(reading.comments.size()) >= kMaxReviewNodes) {
      NoteProblem(reading, r.lineNumber,
                  "more than " + std::to_string(kMaxReviewNodes) +
                      " comments; the rest is left out");
    } else {
      reading.comments.push_back({ReadNumber(line, pos), r.lineNumber, {}});
      reading.commentOpen = true;
    }
    return true;
  }
  if (!reading.commentOpen) {
    if (!line.empty()) {
      NoteProblem(reading, r.lineNumber, "text before any .Comment left out");
    }
    return true;
  }
  // Lines are joined by line feeds; blank lines before the text are
  // dropped here, those after it when the comment is placed.
  std::string& text = reading.comments.back().text;
  if (text.empty() && line.empty()) return true;
  text.append(line).append("\n");
  return true;
}

void PlaceReview(UgfReader& r) {
  ReviewReading& reading = r.review;
  if (r.game.review.nodes.empty() && reading.comments.empty() &&
      reading.problem.empty()) {
    return;
  }
  if (reading.blocks.size() > 1) {
    NoteProblem(reading, reading.blocks[1].line,
                "VARIATION without VARIATIONEND; the review is kept as far as "
                "it goes");
  }
  if (!r.game.review.nodes.empty()) PlaceMainLine(r);
  PlaceComments(r);
  if (!reading.problem.empty()) {
    Message(r.c, "Review of " + std::string(r.c.options.recordPath) + " line " +
                     std::to_string(reading.problemLine) + ": " +
                     reading.problem);
  }
}

}  // namespace kirato
