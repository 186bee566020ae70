// GameModel -> SGF. The layout: the root opening and the game name, one
// root property a line, then for each move "\n;" and its node, each node's
// comment and labels on lines of their own after it; a review's variations
// as branches after the main line's continuation.
#include "convert/sgf_writer.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "base/utf8.h"

namespace kirato {

void AppendEscapedSgfText(std::string& out, std::string_view text) {
  // Most text needs no escape: it is appended in runs between the bytes
  // that do, found with a table rather than a search for each kind.
  static constexpr struct Table {
    bool escaped[256] = {};
    constexpr Table() { escaped[0x3A] = escaped[0x5C] = escaped[0x5D] = true; }
  } kTable;
  const char* p = text.data();
  const size_t size = text.size();
  size_t from = 0;
  for (size_t i = 0; i < size; ++i) {
    if (!kTable.escaped[static_cast<unsigned char>(p[i])]) continue;
    out.append(p + from, i - from);
    out += '\\';
    from = i;
  }
  out.append(p + from, size - from);
}

std::string EscapeSgfText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  AppendEscapedSgfText(out, text);
  return out;
}

namespace {

constexpr std::string_view kRootOpening = "(;GM[1]FF[4]AP[kirato:1.0]\n";

// Appends one letter of a point. Off-board numbers of a record can make it
// ']' or '\', which would end the value early or swallow the next
// character, so those get a backslash.
void AppendPointLetter(std::string& out, char c) {
  if (c == ']' || c == '\\') out += '\\';
  out += c;
}

bool PlainLetter(char c) { return c != ']' && c != '\\'; }

void AppendPoint(std::string& out, char col, char row) {
  AppendPointLetter(out, col);
  AppendPointLetter(out, row);
}

// Appends the root's opening and its properties; returns where the game
// name's line ends, after which the charset is named.
size_t AppendRoot(const GameModel& game, std::string& out) {
  out += kRootOpening;
  out += "GN[";
  AppendEscapedSgfText(out, game.gameName);
  out += "]\n";
  const size_t afterName = out.size();
  for (const RootProperty& p : game.root) {
    out.append(p.ident).append("[");
    AppendEscapedSgfText(out, p.value);
    out += "]\n";
  }
  return afterName;
}

// The notes of each move number, in the record's order, found without a
// scan of all of them for every run of moves.
struct NoteRange {
  std::vector<int>::const_iterator from, to;
};

class NoteIndex {
 public:
  explicit NoteIndex(const std::vector<MoveNote>& notes) : notes_(notes) {
    order_.resize(notes.size());
    int32_t most = 0;
    for (const MoveNote& n : notes) most = std::max(most, n.number);
    if (!notes.empty() && most < kDenseNumbers) {
      // Move numbers of real games are small: a counting sort, and each
      // number's range read straight off its slot.
      starts_.assign(static_cast<size_t>(most) + 2, 0);
      for (const MoveNote& n : notes) ++starts_[n.number + 1];
      for (size_t k = 1; k < starts_.size(); ++k) starts_[k] += starts_[k - 1];
      std::vector<int> fill(starts_.begin(), starts_.end() - 1);
      for (size_t i = 0; i < notes.size(); ++i) {
        order_[fill[notes[i].number]++] = static_cast<int>(i);
      }
      return;
    }
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
      return notes[a].number < notes[b].number;
    });
  }

  NoteRange None() const { return {order_.end(), order_.end()}; }

  NoteRange Of(int32_t number) const {
    if (order_.empty() || number < 0) return None();
    if (!starts_.empty()) {
      if (static_cast<size_t>(number) + 1 >= starts_.size()) return None();
      return {order_.begin() + starts_[number],
              order_.begin() + starts_[number + 1]};
    }
    const auto numberOf = [&](int index) { return notes_[index].number; };
    const auto from = std::lower_bound(
        order_.begin(), order_.end(), number,
        [&](int index, int32_t n) { return numberOf(index) < n; });
    const auto to = std::upper_bound(
        from, order_.end(), number,
        [&](int32_t n, int index) { return n < numberOf(index); });
    return {from, to};
  }

 private:
  static constexpr int32_t kDenseNumbers = 1 << 16;
  const std::vector<MoveNote>& notes_;
  std::vector<int> order_;   // note indices ordered by number
  std::vector<int> starts_;  // dense: where each number's notes begin
};

// What a review adds to the move nodes: the comment of each main-line node
// and the variations that branch off after it.
class ReviewOutput {
 public:
  explicit ReviewOutput(const ReviewTree& tree) : tree_(tree) {}

  // The comment of main-line node k (0: the root); empty when there is
  // none.
  std::string_view TextOf(int k) const {
    if (k >= static_cast<int>(tree_.main.size())) return {};
    return tree_.text[tree_.main[k]];
  }

  // True when move k+1 must open a game tree of its own, because
  // variations follow main-line node k; remembers to write them.
  bool OpensTree(int k) {
    if (k >= static_cast<int>(tree_.main.size()) ||
        tree_.nodes[tree_.main[k]].firstBranch < 0) {
      return false;
    }
    openTrees_.push_back(k);
    return true;
  }

  // Writes the variations of the last main-line node `last`, then closes
  // the trees the main line opened, each followed by its variations.
  void AppendBranches(int last, std::string& out) {
    if (last < static_cast<int>(tree_.main.size())) AppendBranchesOf(last, out);
    while (!openTrees_.empty()) {
      const int k = openTrees_.back();
      openTrees_.pop_back();
      out += ')';
      AppendBranchesOf(k, out);
    }
  }

 private:
  void AppendNode(int index, std::string& out) const {
    const ReviewNode& n = tree_.nodes[index];
    out.append(";").append(1, n.color).append("[");
    if (!n.pass) out.append(1, n.col).append(1, n.row);
    out += ']';
    const std::string& text = tree_.text[index];
    if (!text.empty()) {
      out += "C[";
      AppendEscapedSgfText(out, text);
      out += "]\n";
    }
  }

  // The sibling written after `child` among the children of `parent`.
  int SiblingAfter(const ReviewNode& parent, int child) const {
    return child == parent.next ? parent.firstBranch
                                : tree_.nodes[child].nextBranch;
  }

  // Writes the tree of `first` and of each branch chained after it, each
  // in parentheses. Inside them a node with one child continues its
  // sequence; a node with several opens a tree for each, its own
  // continuation first. An explicit stack: variations may nest as deep as
  // the record goes.
  void AppendSiblingTrees(int first, std::string& out) const {
    const std::vector<ReviewNode>& nodes = tree_.nodes;
    // Per open tree: the sibling tree to write once it closes (-1: none).
    std::vector<int> after;
    out += "\n(";
    after.push_back(nodes[first].nextBranch);
    int node = first;
    AppendNode(node, out);
    for (;;) {
      const ReviewNode& n = nodes[node];
      const int child = n.next >= 0 ? n.next : n.firstBranch;
      if (child >= 0) {
        const int sibling = SiblingAfter(n, child);
        if (sibling >= 0) {
          out += "\n(";
          after.push_back(sibling);
        } else {
          out += '\n';
        }
        node = child;
        AppendNode(node, out);
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
      after.push_back(nodes[node].nextBranch);
      AppendNode(node, out);
    }
  }

  void AppendBranchesOf(int k, std::string& out) const {
    const int first = tree_.nodes[tree_.main[k]].firstBranch;
    if (first >= 0) AppendSiblingTrees(first, out);
  }

  const ReviewTree& tree_;
  std::vector<int> openTrees_;  // main nodes whose continuation is open
};

class MoveWriter {
 public:
  MoveWriter(const GameModel& game, std::string& out)
      : game_(game), out_(out), index_(game.notes), review_(game.review) {}

  void Write();

 private:
  void AppendNotes(std::initializer_list<NoteRange> ranges,
                   std::string_view review);
  void AppendMoveNode(const Move& move, bool opensTree);
  void AppendAddedStones(size_t from, size_t to);

  const GameModel& game_;
  std::string& out_;
  const NoteIndex index_;
  ReviewOutput review_;
};

// Writes the notes of one node: those of each range in turn, then the
// node's review comment. SGF allows a property only once in a node, so all
// comment lines become one C property, joined by line feeds, with an empty
// line before the review, and all labels one LB property; whichever kind
// the record gave first is written first.
void MoveWriter::AppendNotes(std::initializer_list<NoteRange> ranges,
                             std::string_view review) {
  bool anyComment = false;
  bool anyLabel = false;
  bool labelsFirst = false;
  for (const NoteRange& r : ranges) {
    for (auto it = r.from; it != r.to; ++it) {
      if (game_.notes[*it].label) {
        if (!anyLabel && !anyComment) labelsFirst = true;
        anyLabel = true;
      } else {
        anyComment = true;
      }
    }
  }
  if (!anyComment && !anyLabel && review.empty()) return;
  const auto appendLabels = [&] {
    out_ += "LB";
    for (const NoteRange& r : ranges) {
      for (auto it = r.from; it != r.to; ++it) {
        const MoveNote& note = game_.notes[*it];
        if (!note.label) continue;
        out_ += '[';
        AppendPoint(out_, note.col, note.row);
        out_ += ':';
        AppendEscapedSgfText(out_, note.text);
        out_ += ']';
      }
    }
    out_ += '\n';
  };
  if (labelsFirst) appendLabels();
  if (anyComment || !review.empty()) {
    out_ += "C[";
    bool first = true;
    for (const NoteRange& r : ranges) {
      for (auto it = r.from; it != r.to; ++it) {
        const MoveNote& note = game_.notes[*it];
        if (note.label) continue;
        if (!first) out_ += '\n';
        first = false;
        AppendEscapedSgfText(out_, note.text);
      }
    }
    if (!review.empty()) {
      if (anyComment) out_ += "\n\n";
      AppendEscapedSgfText(out_, review);
    }
    out_ += "]\n";
  }
  if (!labelsFirst && anyLabel) appendLabels();
}

// Every move is a node of its own, so a move property has exactly one
// value; a pass is an empty value. A node that starts a game tree of its
// own (the main line where a review's variations branch off) opens it.
void MoveWriter::AppendMoveNode(const Move& move, bool opensTree) {
  if (!opensTree && !move.pass && PlainLetter(move.col) &&
      PlainLetter(move.row)) {
    const char node[] = {'\n', ';', move.color, '[', move.col, move.row, ']'};
    out_.append(node, sizeof node);
    return;
  }
  out_.append(opensTree ? "\n(;" : "\n;").append(1, move.color).append("[");
  if (!move.pass) AppendPoint(out_, move.col, move.row);
  out_ += ']';
}

// Stones added to the open node: one property per colour, the colour met
// first written first, so that no stone changes sides and no property
// appears twice in the node. An added stone without a point is nothing.
void MoveWriter::AppendAddedStones(size_t from, size_t to) {
  const std::vector<Move>& moves = game_.moves;
  char first = 0;
  for (size_t k = from; k < to && first == 0; ++k) {
    if (!moves[k].pass) first = moves[k].color;
  }
  if (first == 0) return;
  for (const char color : {first, first == 'B' ? 'W' : 'B'}) {
    bool opened = false;
    for (size_t k = from; k < to; ++k) {
      const Move& move = moves[k];
      if (move.pass || move.color != color) continue;
      if (!opened) out_.append("A").append(1, color);
      opened = true;
      out_ += '[';
      AppendPoint(out_, move.col, move.row);
      out_ += ']';
    }
  }
}

void MoveWriter::Write() {
  const std::vector<Move>& moves = game_.moves;
  const std::string_view rootReview = review_.TextOf(0);

  // The notes of move 0 belong to the starting position. Without stones
  // added they would have no move to follow and be lost: they go on the
  // root node instead.
  const bool anyAdded = std::any_of(moves.begin(), moves.end(),
                                    [](const Move& m) { return m.number == 0; });
  if (!anyAdded) {
    AppendNotes({index_.Of(0)}, rootReview);
  } else if (moves.front().number != 0) {
    AppendNotes({}, rootReview);
  }

  int written = 0;  // move nodes so far: the main-line node of the review
  for (size_t i = 0; i < moves.size();) {
    const int32_t number = moves[i].number;
    size_t end = i;
    while (end < moves.size() && moves[end].number == number) ++end;
    if (number == 0) {
      AppendAddedStones(i, end);
      AppendNotes({index_.Of(0)}, i == 0 ? rootReview : std::string_view());
      i = end;
      continue;
    }
    for (size_t k = i; k < end; ++k) {
      AppendMoveNode(moves[k], review_.OpensTree(written));
      ++written;
      // Notes follow the last node of a run; the others stand alone.
      if (k + 1 < end) AppendNotes({}, review_.TextOf(written));
    }
    // Stones added right after a move join its node, and so do the notes
    // of move 0 written with them: all of them follow the node's stones.
    size_t added = end;
    while (added < moves.size() && moves[added].number == 0) ++added;
    AppendAddedStones(end, added);
    AppendNotes({index_.Of(number), added > end ? index_.Of(0) : index_.None()},
                review_.TextOf(written));
    i = added;
  }
  review_.AppendBranches(written, out_);
}

}  // namespace

void WriteSgfStart(const GameModel& game, std::string* out) {
  AppendRoot(game, *out);
}

void WriteSgf(const GameModel& game, std::string* out) {
  const size_t start = out->size();
  const size_t afterName = AppendRoot(game, *out);
  MoveWriter(game, *out).Write();
  *out += ")\n";
  // Readers that are not told the charset guess it, and guess wrong for
  // much Japanese text. It stands after the game name, so that the first
  // two lines of every SGF file stay the same.
  if (game.decoded &&
      !IsAscii(std::string_view(*out).substr(start))) {
    out->insert(afterName, "CA[UTF-8]\n");
  }
}

}  // namespace kirato
