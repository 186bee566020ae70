// Review records: the [ReviewNode] section's game tree, whose main line
// repeats the [Data] moves and whose VARIATION blocks hold the reviewers'
// alternatives, and the [ReviewComment] section's texts, one per node. The
// tree is read and written with explicit stacks, never by recursion, so a
// record nested a hundred thousand blocks deep costs memory, not the stack.
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

namespace {

// A record gets one message: the problem on its earliest line.
void NoteProblem(Review& r, int line, std::string text) {
  if (!r.problem.empty() && r.problemLine <= line) return;
  r.problemLine = line;
  r.problem = std::move(text);
}

std::string NodeName(int64_t id) { return "node " + std::to_string(id); }

// The root and the main line exist once the section holds anything.
void StartTree(Review& r) {
  if (!r.nodes.empty()) return;
  r.nodes.emplace_back();
  r.blocks.emplace_back();
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
    node.pass = 1;
    return;
  }
  node.col = static_cast<char>('a' + (x - 1));
  node.row = static_cast<char>('a' + (boardSize - y));
}

void LinkNode(Review& r, ReviewBlock& block, int index) {
  ReviewNode& parent = r.nodes[block.after];
  if (!block.first) {
    parent.next = index;
  } else if (parent.lastBranch < 0) {
    parent.firstBranch = parent.lastBranch = index;
  } else {
    r.nodes[parent.lastBranch].nextBranch = index;
    parent.lastBranch = index;
  }
  block.first = false;
  block.after = index;
}

void AddNode(Conversion& c, const NodeLine& n) {
  Review& r = c.game.review;
  ReviewBlock& block = r.blocks.back();
  // A node without a stone (the root, the end of the game) adds nothing:
  // its id names the node it follows, so its comment lands there.
  if (n.color == 0) {
    r.ids.emplace(n.id, block.after);
    return;
  }
  if (static_cast<int>(r.nodes.size()) >= kMaxReviewNodes) {
    r.full = true;
    NoteProblem(r, c.lineNumber,
                "more than " + std::to_string(kMaxReviewNodes) +
                    " nodes; the rest of the review is left out");
    return;
  }
  ReviewNode node;
  node.id = n.id;
  node.line = c.lineNumber;
  node.color = n.color == 1 ? 'B' : 'W';
  SetPoint(node, c.game.boardSize, n.x, n.y);
  node.anchor = r.blocks.size() == 1 ? ++r.mainMoves
                                     : r.nodes[block.after].anchor;
  const int index = static_cast<int>(r.nodes.size());
  r.nodes.push_back(node);
  LinkNode(r, block, index);
  r.ids.emplace(n.id, index);  // ids are unique; a repeated one keeps the first
}

void HandleNodeLine(Conversion& c, std::string_view line) {
  Review& r = c.game.review;
  ReviewBlock& block = r.blocks.back();
  if (block.dead || r.full) return;
  NodeLine n;
  if (ParseNodeLine(line, &n)) {
    AddNode(c, n);
    return;
  }
  // Without this node the ones after it in its block have no place.
  block.dead = true;
  NoteProblem(r, c.lineNumber,
              std::string("unreadable node; the rest of ") +
                  (r.blocks.size() == 1 ? "the main line" : "its variation") +
                  " is left out");
}

int ReadTreeLine(Conversion& c, std::string_view line) {
  if (line.empty()) return 0;
  Review& r = c.game.review;
  StartTree(r);
  // VARIATIONEND first: VARIATION is a prefix of it.
  if (StartsWithNoCase(line, "VARIATIONEND")) {
    if (r.blocks.size() > 1) {
      r.blocks.pop_back();
    } else {
      NoteProblem(r, c.lineNumber, "VARIATIONEND without VARIATION left out");
    }
  } else if (StartsWithNoCase(line, "VARIATION")) {
    // An alternative to the node that follows the current one.
    const ReviewBlock& outer = r.blocks.back();
    r.blocks.push_back({outer.after, true, outer.dead, c.lineNumber});
  } else if (StartsWithNoCase(line, "NODE")) {
    HandleNodeLine(c, line);
  } else {
    NoteProblem(r, c.lineNumber, "unknown line left out");
  }
  return 0;
}

int ReadCommentLine(Conversion& c, std::string_view line) {
  Review& r = c.game.review;
  if (StartsWithNoCase(line, ".Comment")) {
    r.commentOpen = false;
    const size_t pos = SkipSpace(line, AfterComma(line, 0));
    if (!DigitAt(line, pos)) {
      NoteProblem(r, c.lineNumber, "unreadable .Comment; its text is left out");
    } else if (static_cast<int>(r.comments.size()) >= kMaxReviewNodes) {
      NoteProblem(r, c.lineNumber,
                  "more than " + std::to_string(kMaxReviewNodes) +
                      " comments; the rest is left out");
    } else {
      r.comments.push_back({ReadNumber(line, pos), c.lineNumber, {}});
      r.commentOpen = true;
    }
    return 0;
  }
  if (!r.commentOpen) {
    if (!line.empty()) {
      NoteProblem(r, c.lineNumber, "text before any .Comment left out");
    }
    return 0;
  }
  // Lines are joined by line feeds; blank lines before the text are
  // dropped here, those after it when the comment is placed.
  std::string& text = r.comments.back().text;
  if (text.empty() && line.empty()) return 0;
  text.append(line).append("\n");
  return 0;
}

// The review's main line repeats the game's moves: a node that differs from
// its move, or has none, ends what can be placed of it.
bool SameMove(const ReviewNode& node, const MoveRecord& move, int boardSize) {
  const auto onBoard = [&](char letter) {
    return letter >= 'a' && letter < 'a' + boardSize;
  };
  // A data point off the board is no stone either.
  const bool movePass = move.pass || !onBoard(move.col) || !onBoard(move.row);
  if (node.color != move.color || node.pass != movePass) return false;
  return node.pass || (node.col == move.col && node.row == move.row);
}

// Fills plan.main with the main-line nodes that match the game's moves.
void PlaceMainLine(Conversion& c, ReviewPlan& plan) {
  Review& r = c.game.review;
  const std::vector<MoveRecord>& records = c.game.moves.records;
  plan.main.push_back(0);
  size_t record = 0;
  for (int node = r.nodes[0].next, k = 1; node >= 0;
       node = r.nodes[node].next, ++k) {
    while (record < records.size() && records[record].number == 0) ++record;
    const ReviewNode& n = r.nodes[node];
    if (record == records.size()) {
      NoteProblem(r, n.line, NodeName(n.id) +
                                 " comes after the last move; the review from "
                                 "there on is left out");
      return;
    }
    if (!SameMove(n, records[record], c.game.boardSize)) {
      NoteProblem(r, n.line, NodeName(n.id) + " is not move " +
                                 std::to_string(k) +
                                 " of the game; the review from there on is "
                                 "left out");
      return;
    }
    plan.main.push_back(node);
    ++record;
  }
}

void PlaceComments(Review& r, ReviewPlan& plan) {
  plan.text.resize(r.nodes.size());
  const int placed = static_cast<int>(plan.main.size());
  for (const ReviewComment& comment : r.comments) {
    const auto found = r.ids.find(comment.id);
    if (found == r.ids.end()) {
      NoteProblem(r, comment.line,
                  "comment on " + NodeName(comment.id) +
                      ", which the review does not hold, left out");
      continue;
    }
    const int node = found->second;
    // A node left out takes its comment with it; the message says so.
    if (r.nodes[node].anchor >= placed) continue;
    const std::string_view text = TrimTrailingSpace(comment.text);
    if (text.empty()) continue;
    std::string& out = plan.text[node];
    if (!out.empty()) out += '\n';
    AppendEscapedSgfText(out, text);
  }
}

void AppendComment(std::string_view text, std::string& out) {
  if (!text.empty()) out.append("C[").append(text).append("]\n");
}

void AppendReviewNode(const GameState& game, const ReviewPlan& plan, int index,
                      std::string& out) {
  const ReviewNode& n = game.review.nodes[index];
  out.append(";").append(1, n.color).append("[");
  if (!n.pass) out.append(1, n.col).append(1, n.row);
  out += ']';
  AppendComment(plan.text[index], out);
}

// The sibling written after `child` among the children of `parent`.
int SiblingAfter(const Review& r, const ReviewNode& parent, int child) {
  return child == parent.next ? parent.firstBranch : r.nodes[child].nextBranch;
}

// Writes the tree of `first` and of each branch chained after it, each
// in parentheses. Inside them a node with one child continues its
// sequence; a node with several opens a tree for each, its own
// continuation first.
void AppendSiblingTrees(const GameState& game, const ReviewPlan& plan,
                        int first, std::string& out) {
  const Review& r = game.review;
  // Per open tree: the sibling tree to write once it closes (-1: none).
  std::vector<int> after;
  out += "\n(";
  after.push_back(r.nodes[first].nextBranch);
  int node = first;
  AppendReviewNode(game, plan, node, out);
  for (;;) {
    const ReviewNode& n = r.nodes[node];
    const int child = n.next >= 0 ? n.next : n.firstBranch;
    if (child >= 0) {
      const int sibling = SiblingAfter(r, n, child);
      if (sibling >= 0) {
        out += "\n(";
        after.push_back(sibling);
      } else {
        out += '\n';
      }
      node = child;
      AppendReviewNode(game, plan, node, out);
      continue;
    }
    // A leaf: close trees until one has a sibling still to write.
    node = -1;
    while (!after.empty() && node < 0) {
      node = after.back();
      after.pop_back();
      out += ')';
    }
    if (node < 0) return;
    out += "\n(";
    after.push_back(r.nodes[node].nextBranch);
    AppendReviewNode(game, plan, node, out);
  }
}

void AppendBranchesOf(const GameState& game, const ReviewPlan& plan, int k,
                      std::string& out) {
  const int first = game.review.nodes[plan.main[k]].firstBranch;
  if (first >= 0) AppendSiblingTrees(game, plan, first, out);
}

}  // namespace

// Every line is already traced as read, so these add no trace of their own.
int HandleReviewNode(Conversion& c, std::string_view line) {
  try {
    return ReadTreeLine(c, line);
  } catch (const std::bad_alloc&) {
    return FailConversion(c, kNoMemoryMessage);
  }
}

int HandleReviewComment(Conversion& c, std::string_view line) {
  try {
    return ReadCommentLine(c, line);
  } catch (const std::bad_alloc&) {
    return FailConversion(c, kNoMemoryMessage);
  }
}

ReviewPlan PlaceReview(Conversion& c) {
  ReviewPlan plan;
  Review& r = c.game.review;
  if (r.nodes.empty() && r.comments.empty() && r.problem.empty()) return plan;
  if (r.blocks.size() > 1) {
    NoteProblem(r, r.blocks[1].line,
                "VARIATION without VARIATIONEND; the review is kept as far as "
                "it goes");
  }
  if (!r.nodes.empty()) PlaceMainLine(c, plan);
  PlaceComments(r, plan);
  if (!r.problem.empty()) {
    Message(c, "Review of " + std::string(c.options.recordPath) + " line " +
                   std::to_string(r.problemLine) + ": " + r.problem);
  }
  return plan;
}

std::string_view ReviewText(const ReviewPlan& plan, int k) {
  if (k >= static_cast<int>(plan.main.size())) return {};
  return plan.text[plan.main[k]];
}

bool OpensReviewTree(const GameState& game, ReviewPlan& plan, int k) {
  if (k >= static_cast<int>(plan.main.size()) ||
      game.review.nodes[plan.main[k]].firstBranch < 0) {
    return false;
  }
  plan.openTrees.push_back(k);
  return true;
}

void AppendReviewBranches(const GameState& game, ReviewPlan& plan, int last,
                          std::string& out) {
  if (last < static_cast<int>(plan.main.size())) {
    AppendBranchesOf(game, plan, last, out);
  }
  while (!plan.openTrees.empty()) {
    const int k = plan.openTrees.back();
    plan.openTrees.pop_back();
    out += ')';
    AppendBranchesOf(game, plan, k, out);
  }
}

}  // namespace kirato
