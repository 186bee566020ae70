// GameModel -> SGF. The layout: the root opening and the game name, one
// root property a line, then for each move "\n;" and its node, each node's
// comment and labels on lines of their own after it; a review's variations
// as branches after the main line's continuation.
#include "convert/sgf_writer.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/utf8.h"

namespace kirato {

namespace {

// 1 for the bytes that take a backslash before them.
constexpr struct EscapeTable {
  unsigned char backslashes[256] = {};
  constexpr EscapeTable() {
    for (const unsigned char c : {':', ']', '\\'}) backslashes[c] = 1;
  }
} kEscape;

// Writes one byte of text, with its backslash where it takes one: the
// backslash is always written and kept only then, which costs less than a
// branch on every byte.
char* PutTextByte(char* to, char c) {
  *to = '\\';
  to += kEscape.backslashes[static_cast<unsigned char>(c)];
  *to++ = c;
  return to;
}

// Writes `text` escaped from `to`, which has room for twice its size;
// returns the end of what was written. Most text needs no escape: sixteen
// bytes at a time are tested and copied whole.
char* CopyEscaped(std::string_view text, char* to) {
  const char* from = text.data();
  const size_t size = text.size();
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i colon = _mm_set1_epi8(':');
  const __m128i bracket = _mm_set1_epi8(']');
  const __m128i backslash = _mm_set1_epi8('\\');
  const auto escapes = [&](__m128i bytes) {
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, colon),
                                  _mm_cmpeq_epi8(bytes, bracket)),
                     _mm_cmpeq_epi8(bytes, backslash))));
  };
  for (; i + 16 <= size; i += 16) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    if (escapes(bytes) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
      to += 16;
      continue;
    }
    for (size_t k = i; k < i + 16; ++k) to = PutTextByte(to, from[k]);
  }
  if (i < size && size >= 16) {
    // The end, as the last sixteen bytes of the text, so that nothing
    // beyond it is read. Without an escape among them, the bytes of them
    // already written were copied as they are and end where `to` stands:
    // all sixteen are written again from there.
    const size_t again = 16 - (size - i);
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + size - 16));
    if (escapes(bytes) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to - again), bytes);
      return to + (size - i);
    }
  }
#endif
  for (; i < size; ++i) to = PutTextByte(to, from[i]);
  return to;
}

}  // namespace

void AppendEscapedSgfText(std::string& out, std::string_view text) {
  const size_t used = out.size();
  out.resize(used + 2 * text.size());
  char* const start = out.data();
  out.resize(static_cast<size_t>(CopyEscaped(text, start + used) - start));
}

std::string EscapeSgfText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  AppendEscapedSgfText(out, text);
  return out;
}

namespace {

constexpr std::string_view kRootOpening = "(;GM[1]FF[4]AP[kirato:1.0]\n";

// The SGF text as it is written: through a pointer into room made
// beforehand, so that a piece costs one test of room rather than one for
// each byte.
class Out {
 public:
  explicit Out(std::string& text) : text_(text), used_(text.size()) {}
  ~Out() { text_.resize(used_); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  size_t size() const { return used_; }

  // Room for `n` bytes at the end; Done(end) takes what was written there.
  char* Room(size_t n) {
    if (text_.size() - used_ < n) Grow(n);
    return text_.data() + used_;
  }
  void Done(char* end) { used_ = static_cast<size_t>(end - text_.data()); }

  void Put(char c) {
    *Room(1) = c;
    ++used_;
  }
  void Put(std::string_view piece) {
    char* to = Room(piece.size());
    std::memcpy(to, piece.data(), piece.size());
    used_ += piece.size();
  }
  void PutEscaped(std::string_view text) {
    Done(CopyEscaped(text, Room(2 * text.size())));
  }

 private:
  // Doubles the room: a string zeroes all it grows by, so growing to its
  // capacity at once would clear far more than a game needs when the
  // caller's string once held a larger one.
  void Grow(size_t n) {
    constexpr size_t kFirstRoom = 1024;
    text_.resize(std::max({kFirstRoom, 2 * text_.size(), used_ + n}));
  }

  std::string& text_;
  size_t used_;
};

// Writes one letter of a point. Off-board numbers of a record can make it
// ']' or '\', which would end the value early or swallow the next
// character, so those get a backslash.
char* PutPointLetter(char* to, char c) {
  if (c == ']' || c == '\\') *to++ = '\\';
  *to++ = c;
  return to;
}

// A letter that needs no backslash: any of a point on the board.
bool PlainLetter(char c) { return c != ']' && c != '\\'; }

void PutPoint(Out& out, char col, char row) {
  out.Done(PutPointLetter(PutPointLetter(out.Room(4), col), row));
}

// Writes the root's opening and its properties; returns where the game
// name's line ends, after which the charset is named.
size_t PutRoot(const GameModel& game, Out& out) {
  out.Put(kRootOpening);
  out.Put("GN[");
  out.PutEscaped(game.gameName);
  out.Put("]\n");
  const size_t afterName = out.size();
  for (const RootProperty& p : game.root) {
    out.Put(p.ident);
    out.Put('[');
    out.PutEscaped(p.value);
    out.Put("]\n");
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
      // number's range read straight off its slot. Counted two slots on,
      // each slot then serves as the place to put the next note of its
      // number, and ends as the start of the number after it.
      slots_.assign(static_cast<size_t>(most) + 3, 0);
      for (const MoveNote& n : notes) ++slots_[n.number + 2];
      for (size_t k = 2; k < slots_.size(); ++k) slots_[k] += slots_[k - 1];
      for (size_t i = 0; i < notes.size(); ++i) {
        order_[slots_[notes[i].number + 1]++] = static_cast<int>(i);
      }
      slots_.pop_back();
      return;
    }
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
      return notes[a].number < notes[b].number;
    });
  }

  NoteRange None() const { return {order_.end(), order_.end()}; }

  bool Any(int32_t number) const {
    if (!slots_.empty()) {
      // A negative number wraps beyond every slot.
      const size_t n = static_cast<uint32_t>(number);
      return n + 1 < slots_.size() && slots_[n] != slots_[n + 1];
    }
    const NoteRange r = Of(number);
    return r.from != r.to;
  }

  NoteRange Of(int32_t number) const {
    if (order_.empty() || number < 0) return None();
    if (!slots_.empty()) {
      if (static_cast<size_t>(number) + 1 >= slots_.size()) return None();
      return {order_.begin() + slots_[number],
              order_.begin() + slots_[number + 1]};
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
  std::vector<int> order_;  // note indices ordered by number
  // Dense: where the notes of each number begin, and after the last
  // number, where they end.
  std::vector<int> slots_;
};

// What a review adds to the move nodes: the comment of each main-line node
// and the variations that branch off after it.
class ReviewOutput {
 public:
  explicit ReviewOutput(const ReviewTree& tree) : tree_(tree) {}

  // The main-line nodes the review has: from move `placed() - 1` on it
  // adds nothing.
  int placed() const { return placed_; }

  // The comment of main-line node k (0: the root); empty when there is
  // none.
  std::string_view TextOf(int k) const {
    if (k >= placed_) return {};
    return tree_.text[tree_.main[k]];
  }

  // True when move k+1 must open a game tree of its own, because
  // variations follow main-line node k; remembers to write them.
  bool OpensTree(int k) {
    if (k >= placed_ || tree_.nodes[tree_.main[k]].firstBranch < 0) {
      return false;
    }
    openTrees_.push_back(k);
    return true;
  }

  // Writes the variations of the last main-line node `last`, then closes
  // the trees the main line opened, each followed by its variations.
  void PutBranches(int last, Out& out) {
    if (last < static_cast<int>(tree_.main.size())) PutBranchesOf(last, out);
    while (!openTrees_.empty()) {
      const int k = openTrees_.back();
      openTrees_.pop_back();
      out.Put(')');
      PutBranchesOf(k, out);
    }
  }

 private:
  void PutNode(int index, Out& out) const {
    const ReviewNode& n = tree_.nodes[index];
    out.Put(';');
    out.Put(n.color);
    out.Put('[');
    if (!n.pass) PutPoint(out, n.col, n.row);
    out.Put(']');
    const std::string& text = tree_.text[index];
    if (!text.empty()) {
      out.Put("C[");
      out.PutEscaped(text);
      out.Put("]\n");
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
  void PutSiblingTrees(int first, Out& out) const {
    const std::vector<ReviewNode>& nodes = tree_.nodes;
    // Per open tree: the sibling tree to write once it closes (-1: none).
    std::vector<int> after;
    out.Put("\n(");
    after.push_back(nodes[first].nextBranch);
    int node = first;
    PutNode(node, out);
    for (;;) {
      const ReviewNode& n = nodes[node];
      const int child = n.next >= 0 ? n.next : n.firstBranch;
      if (child >= 0) {
        const int sibling = SiblingAfter(n, child);
        if (sibling >= 0) {
          out.Put("\n(");
          after.push_back(sibling);
        } else {
          out.Put('\n');
        }
        node = child;
        PutNode(node, out);
        continue;
      }
      // A leaf: close trees until one has a sibling still to write.
      node = -1;
      while (!after.empty() && node < 0) {
        node = after.back();
        after.pop_back();
        out.Put(')');
      }
      if (node < 0) return;
      out.Put("\n(");
      after.push_back(nodes[node].nextBranch);
      PutNode(node, out);
    }
  }

  void PutBranchesOf(int k, Out& out) const {
    const int first = tree_.nodes[tree_.main[k]].firstBranch;
    if (first >= 0) PutSiblingTrees(first, out);
  }

  const ReviewTree& tree_;
  const int placed_ = static_cast<int>(tree_.main.size());
  std::vector<int> openTrees_;  // main nodes whose continuation is open
};

class MoveWriter {
 public:
  MoveWriter(const GameModel& game, Out& out)
      : game_(game), out_(out), index_(game.notes), review_(game.review) {}

  // False when the text passes `most` bytes; it is then cut short.
  bool Write(size_t most);

 private:
  void PutNotes(std::initializer_list<NoteRange> ranges,
                std::string_view review);
  void PutLabels(std::initializer_list<NoteRange> ranges);
  void PutMoveNode(const Move& move, bool opensTree);
  size_t PutPlainMoves(size_t from, int* written);
  void PutAddedStones(size_t from, size_t to);

  const GameModel& game_;
  Out& out_;
  const NoteIndex index_;
  ReviewOutput review_;
};

void MoveWriter::PutLabels(std::initializer_list<NoteRange> ranges) {
  out_.Put("LB");
  for (const NoteRange& r : ranges) {
    for (auto it = r.from; it != r.to; ++it) {
      const MoveNote& note = game_.notes[*it];
      if (!note.label) continue;
      out_.Put('[');
      PutPoint(out_, note.col, note.row);
      out_.Put(':');
      out_.PutEscaped(note.text);
      out_.Put(']');
    }
  }
  out_.Put('\n');
}

// Writes the notes of one node: those of each range in turn, then the
// node's review comment. SGF allows a property only once in a node, so all
// comment lines become one C property, joined by line feeds, with an empty
// line before the review, and all labels one LB property; whichever kind
// the record gave first is written first.
void MoveWriter::PutNotes(std::initializer_list<NoteRange> ranges,
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
  if (labelsFirst) PutLabels(ranges);
  if (anyComment || !review.empty()) {
    out_.Put("C[");
    bool first = true;
    for (const NoteRange& r : ranges) {
      for (auto it = r.from; it != r.to; ++it) {
        const MoveNote& note = game_.notes[*it];
        if (note.label) continue;
        if (!first) out_.Put('\n');
        first = false;
        out_.PutEscaped(note.text);
      }
    }
    if (!review.empty()) {
      if (anyComment) out_.Put("\n\n");
      out_.PutEscaped(review);
    }
    out_.Put("]\n");
  }
  if (anyLabel && !labelsFirst) PutLabels(ranges);
}

// Every move is a node of its own, so a move property has exactly one
// value; a pass is an empty value. A node that starts a game tree of its
// own (the main line where a review's variations branch off) opens it.
void MoveWriter::PutMoveNode(const Move& move, bool opensTree) {
  char* to = out_.Room(11);
  *to++ = '\n';
  if (opensTree) *to++ = '(';
  *to++ = ';';
  *to++ = move.color;
  *to++ = '[';
  if (!move.pass) to = PutPointLetter(PutPointLetter(to, move.col), move.row);
  *to++ = ']';
  out_.Done(to);
}

// Most moves are plain: a number of their own, on a point, no stones added
// after them, no notes and no review. Their nodes are written from `from`
// on, seven bytes each, in room made once; returns the first move that is
// not plain.
size_t MoveWriter::PutPlainMoves(size_t from, int* written) {
  const std::vector<Move>& moves = game_.moves;
  if (*written < review_.placed()) return from;
  char* to = out_.Room(7 * (moves.size() - from));
  size_t i = from;
  for (; i < moves.size(); ++i) {
    const Move& m = moves[i];
    const int32_t next = i + 1 < moves.size() ? moves[i + 1].number : -1;
    // Letters of a point on the board never take a backslash: only other
    // letters are tested for one.
    const bool onBoard = static_cast<unsigned char>(m.col - 'a') < 26 &&
                         static_cast<unsigned char>(m.row - 'a') < 26;
    if (m.number == 0 || next == m.number || next == 0 || m.pass ||
        (!onBoard && (!PlainLetter(m.col) || !PlainLetter(m.row))) ||
        index_.Any(m.number)) {
      break;
    }
    const char node[] = {'\n', ';', m.color, '[', m.col, m.row, ']'};
    std::memcpy(to, node, sizeof node);
    to += sizeof node;
  }
  out_.Done(to);
  *written += static_cast<int>(i - from);
  return i;
}

// Stones added to the open node: one property per colour, the colour met
// first written first, so that no stone changes sides and no property
// appears twice in the node. An added stone without a point is nothing.
void MoveWriter::PutAddedStones(size_t from, size_t to) {
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
      if (!opened) {
        out_.Put('A');
        out_.Put(color);
      }
      opened = true;
      out_.Put('[');
      PutPoint(out_, move.col, move.row);
      out_.Put(']');
    }
  }
}

bool MoveWriter::Write(size_t most) {
  const std::vector<Move>& moves = game_.moves;
  const std::string_view rootReview = review_.TextOf(0);

  // The notes of move 0 belong to the starting position. Without stones
  // added they would have no move to follow and be lost: they go on the
  // root node instead.
  const bool anyAdded = std::any_of(
      moves.begin(), moves.end(), [](const Move& m) { return m.number == 0; });
  if (!anyAdded) {
    PutNotes({index_.Of(0)}, rootReview);
  } else if (moves.front().number != 0) {
    PutNotes({}, rootReview);
  }

  int written = 0;  // move nodes so far: the main-line node of the review
  for (size_t i = 0; i < moves.size();) {
    // The notes of one node never pass twice the record's size: looking
    // once a node is enough.
    if (out_.size() > most) return false;
    i = PutPlainMoves(i, &written);
    if (i == moves.size()) break;
    const int32_t number = moves[i].number;
    size_t end = i + 1;
    while (end < moves.size() && moves[end].number == number) ++end;
    if (number == 0) {
      PutAddedStones(i, end);
      PutNotes({index_.Of(0)}, i == 0 ? rootReview : std::string_view());
      i = end;
      continue;
    }
    for (size_t k = i; k < end; ++k) {
      PutMoveNode(moves[k], review_.OpensTree(written));
      ++written;
      // Notes follow the last node of a run; the others stand alone.
      if (k + 1 < end) PutNotes({}, review_.TextOf(written));
    }
    // Stones added right after a move join its node, and so do the notes
    // of move 0 written with them: all of them follow the node's stones.
    size_t added = end;
    while (added < moves.size() && moves[added].number == 0) ++added;
    const NoteRange own = index_.Of(number);
    const std::string_view review = review_.TextOf(written);
    if (added > end) {
      PutAddedStones(end, added);
      PutNotes({own, index_.Of(0)}, review);
    } else if (own.from != own.to || !review.empty()) {
      // Most moves have no notes.
      PutNotes({own}, review);
    }
    i = added;
  }
  review_.PutBranches(written, out_);
  return out_.size() <= most;
}

}  // namespace

void WriteSgfStart(const GameModel& game, std::string* text) {
  Out out(*text);
  PutRoot(game, out);
}

bool WriteSgf(const GameModel& game, size_t most, std::string* text,
              std::string* err) {
  const size_t start = text->size();
  size_t afterName = 0;
  {
    Out out(*text);
    afterName = PutRoot(game, out);
    if (!MoveWriter(game, out).Write(start + most)) {
      *err = "The SGF of this file would be too large. Conversion aborted.";
      return false;
    }
    out.Put(")\n");
  }
  // Readers that are not told the charset guess it, and guess wrong for
  // much Japanese text. It stands after the game name, so that the first
  // two lines of every SGF file stay the same.
  if (game.decoded && !IsAscii(std::string_view(*text).substr(start))) {
    text->insert(afterName, "CA[UTF-8]\n");
  }
  return true;
}

}  // namespace kirato
