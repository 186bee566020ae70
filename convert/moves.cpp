// The [Data] section: one stored MoveRecord per line, and at the end of the
// game the SGF nodes of all records with their comment and label entries.
#include <algorithm>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

namespace {

constexpr std::string_view kTooManyMoves =
    "Too many variations in this file. Conversion aborted.";

// Names the offending character of a malformed line. At the end of the line
// there is none, and a NUL byte would cut the message short for any reader
// that takes it as a C string, so both show as nothing at all.
int FailIllegal(Conversion& c, std::string_view what, std::string_view line,
                size_t pos) {
  std::string message = "Illegal ";
  message.append(what).append(" ");
  if (pos < line.size() && line[pos] != '\0') message += line[pos];
  message.append(" on move ")
      .append(std::to_string(c.game.moves.count() + 1))
      .append(" in this file. Conversion aborted.");
  return FailConversion(c, message);
}

bool UpperLetterAt(std::string_view line, size_t pos) {
  return pos < line.size() && IsUpperLetter(line[pos]);
}

// Fills `rec` from the line; returns 1 (message shown) when it is malformed.
int ParseMove(Conversion& c, std::string_view line, MoveRecord& rec) {
  size_t pos = 0;
  if (!line.empty() && line[0] == 'Y') {
    // Column Y is the pass marker, even on boards of 25 or 26 lines.
    rec.pass = 1;
  } else {
    if (!UpperLetterAt(line, 0)) return FailIllegal(c, "column", line, 0);
    if (!UpperLetterAt(line, 1)) return FailIllegal(c, "row", line, 1);
    rec.pass = 0;
    rec.col = ToLower(line[0]);
    // UGF counts rows from the bottom, SGF from the top. The letter is not
    // checked against the board: an off-board row still gives a character.
    rec.row = static_cast<char>('a' + (c.game.boardSize - 1) -
                                (line[1] - 'A'));
    pos = 2;
  }

  pos = SkipSpace(line, AfterComma(line, pos));
  if (pos >= line.size() || (line[pos] != 'B' && line[pos] != 'W')) {
    return FailIllegal(c, "color", line, pos);
  }
  rec.color = line[pos];

  pos = SkipSpace(line, AfterComma(line, pos + 1));
  rec.number = DigitAt(line, pos) ? static_cast<int32_t>(ReadNumber(line, pos))
                                 : 0;
  return 0;
}

void AppendPoint(std::string& out, const MoveRecord& rec) {
  AppendSgfPointLetter(out, rec.col);
  AppendSgfPointLetter(out, rec.row);
}

bool PlainLetter(char c) { return c != ']' && c != '\\'; }

bool IsCommentEntry(const std::string& text) {
  return text.size() >= 3 && text.compare(0, 2, "C[") == 0 &&
         text.back() == ']';
}

// The entries of each move number, in list order, found without a scan of
// the whole list for every run of records.
struct EntryRange {
  std::vector<int>::const_iterator from, to;
};

class EntryIndex {
 public:
  explicit EntryIndex(const CommentList& comments) : comments_(comments) {
    const std::vector<CommentRecord>& entries = comments.entries;
    order_.resize(entries.size());
    int32_t most = 0;
    for (const CommentRecord& e : entries) most = std::max(most, e.number);
    if (!entries.empty() && most < kDenseNumbers) {
      // Move numbers of real games are small: a counting sort, and each
      // number's range read straight off its slot.
      starts_.assign(static_cast<size_t>(most) + 2, 0);
      for (const CommentRecord& e : entries) ++starts_[e.number + 1];
      for (size_t n = 1; n < starts_.size(); ++n) starts_[n] += starts_[n - 1];
      std::vector<int> fill(starts_.begin(), starts_.end() - 1);
      for (size_t i = 0; i < entries.size(); ++i) {
        order_[fill[entries[i].number]++] = static_cast<int>(i);
      }
      return;
    }
    for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<int>(i);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
      return entries[a].number < entries[b].number;
    });
  }

  EntryRange None() const { return {order_.end(), order_.end()}; }

  EntryRange Of(int32_t number) const {
    if (order_.empty() || number < 0) return None();
    if (!starts_.empty()) {
      if (static_cast<size_t>(number) + 1 >= starts_.size()) return None();
      return {order_.begin() + starts_[number],
              order_.begin() + starts_[number + 1]};
    }
    const auto numberOf = [&](int index) {
      return comments_.entries[index].number;
    };
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
  const CommentList& comments_;
  std::vector<int> order_;   // entry indices ordered by number
  std::vector<int> starts_;  // dense: where each number's entries begin
};

// Writes the entries of one node: those of each range in turn, then the
// node's escaped review comment. SGF allows a property only once in a node,
// so all comment lines become one C property, joined by line feeds, with an
// empty line before the review, and all labels one LB property.
void AppendNodeEntries(const CommentList& comments,
                       std::initializer_list<EntryRange> ranges,
                       std::string_view review, std::string& out) {
  // Most nodes have nothing to add.
  if (review.empty() &&
      std::all_of(ranges.begin(), ranges.end(),
                  [](const EntryRange& r) { return r.from == r.to; })) {
    return;
  }
  std::string comment;
  std::string labels;
  bool anyComment = false;
  bool labelsFirst = false;
  for (const EntryRange& r : ranges) {
    for (auto it = r.from; it != r.to; ++it) {
      const std::string& text = comments.entries[*it].text;
      if (IsCommentEntry(text)) {
        if (anyComment) comment += '\n';
        comment.append(text, 2, text.size() - 3);
        anyComment = true;
      } else {
        // "LB[..][..]": the values of a later entry join the first one.
        if (labels.empty() && !anyComment) labelsFirst = true;
        labels.append(text, labels.empty() ? 0 : 2, std::string::npos);
      }
    }
  }
  if (!review.empty()) {
    if (anyComment) comment += "\n\n";
    comment.append(review);
    anyComment = true;
  }
  // Whichever kind of entry was made first is written first.
  if (labelsFirst) out.append(labels).append("\n");
  if (anyComment) out.append("C[").append(comment).append("]\n");
  if (!labelsFirst && !labels.empty()) out.append(labels).append("\n");
}

// Every move is a node of its own, so a move property has exactly one
// value; a pass is an empty value. A node that starts a game tree of its
// own (the main line where a review's variations branch off) opens it.
void AppendMoveNode(const MoveRecord& rec, bool opensTree, std::string& out) {
  if (!opensTree && !rec.pass && PlainLetter(rec.col) &&
      PlainLetter(rec.row)) {
    const char node[] = {'\n', ';', rec.color, '[', rec.col, rec.row, ']'};
    out.append(node, sizeof node);
    return;
  }
  out.append(opensTree ? "\n(;" : "\n;").append(1, rec.color).append("[");
  if (!rec.pass) AppendPoint(out, rec);
  out += ']';
}

// Stones added to the open node: one property per colour, the colour met
// first written first, so that no stone changes sides and no property
// appears twice in the node. An added stone without a point is nothing.
void AppendAddedStones(const std::vector<MoveRecord>& records, size_t from,
                       size_t to, std::string& out) {
  char first = 0;
  for (size_t k = from; k < to && first == 0; ++k) {
    if (!records[k].pass) first = records[k].color;
  }
  if (first == 0) return;
  for (const char color : {first, first == 'B' ? 'W' : 'B'}) {
    bool opened = false;
    for (size_t k = from; k < to; ++k) {
      const MoveRecord& rec = records[k];
      if (rec.pass || rec.color != color) continue;
      if (!opened) out.append("A").append(1, color);
      opened = true;
      out += '[';
      AppendPoint(out, rec);
      out += ']';
    }
  }
}

}  // namespace

int HandleMove(Conversion& c, std::string_view line) {
  MoveList& moves = c.game.moves;
  if (moves.count() >= kMaxRecords) return FailConversion(c, kTooManyMoves);
  try {
    if (c.options.traceLevel >= 9) Trace(c, "HandleMove ", line);
    MoveRecord rec;
    if (ParseMove(c, line, rec) != 0) return 1;
    moves.records.push_back(rec);
  } catch (const std::bad_alloc&) {
    return FailConversion(c, kNoMemoryMessage);
  }
  return 0;
}

int PrintMoveTree(Conversion& c, std::string& out) {
  if (c.options.traceLevel >= 4) Trace(c, "PrintMoveTree");
  const std::vector<MoveRecord>& records = c.game.moves.records;
  const CommentList& comments = c.game.comments;
  const EntryIndex index(comments);
  ReviewPlan review = PlaceReview(c);
  const std::string_view rootReview = ReviewText(review, 0);

  // The notes of move 0 belong to the starting position. Without stones
  // added they would have no record to follow and be lost: they go on the
  // root node instead.
  const bool anyAdded =
      std::any_of(records.begin(), records.end(),
                  [](const MoveRecord& r) { return r.number == 0; });
  if (!anyAdded) {
    AppendNodeEntries(comments, {index.Of(0)}, rootReview,
                      out);
  } else if (records.front().number != 0) {
    AppendNodeEntries(comments, {}, rootReview, out);
  }

  int written = 0;  // move nodes so far: the main-line node of the review
  for (size_t i = 0; i < records.size();) {
    const int32_t number = records[i].number;
    size_t end = i;
    while (end < records.size() && records[end].number == number) ++end;
    if (number == 0) {
      AppendAddedStones(records, i, end, out);
      AppendNodeEntries(comments, {index.Of(0)},
                        i == 0 ? rootReview : std::string_view(), out);
      i = end;
      continue;
    }
    for (size_t k = i; k < end; ++k) {
      AppendMoveNode(records[k], OpensReviewTree(c.game, review, written),
                     out);
      ++written;
      // Entries follow the last node of a run; the others stand alone.
      if (k + 1 < end) {
        AppendNodeEntries(comments, {}, ReviewText(review, written), out);
      }
    }
    // Stones added right after a move join its node, and so do the entries
    // of move 0 written with them: all of them follow the node's stones.
    size_t added = end;
    while (added < records.size() && records[added].number == 0) ++added;
    AppendAddedStones(records, end, added, out);
    // The entries of a number follow the last record of each of its runs.
    const EntryRange none = index.None();
    AppendNodeEntries(comments,
                      {index.Of(number),
                       added > end ? index.Of(0) : none},
                      ReviewText(review, written), out);
    i = added;
  }
  AppendReviewBranches(c.game, review, written, out);
  return 0;
}

}  // namespace kirato
