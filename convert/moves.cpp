// The [Data] section: one stored MoveRecord per line, and at the end of the
// game the SGF nodes of all records with their comment and label entries.
#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "batch/run_state.h"
#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

namespace {

constexpr std::string_view kTooManyMoves =
    "Too many variations in this file. Conversion aborted.";
constexpr std::string_view kNoMemory =
    "Not enough memory for this file. Conversion aborted.";

int Fail(Run& run, std::string_view message) {
  ShowMessage(run, message);
  run.state.errorFlag = 1;
  return 1;
}

// Names the offending character of a malformed line. At the end of the line
// there is none, and a NUL byte would cut the message short for any reader
// that takes it as a C string, so both show as nothing at all.
int FailIllegal(Run& run, std::string_view what, std::string_view line,
                size_t pos) {
  std::string message = "Illegal ";
  message.append(what).append(" ");
  if (pos < line.size() && line[pos] != '\0') message += line[pos];
  message.append(" on move ")
      .append(std::to_string(run.game.moves.count() + 1))
      .append(" in this file. Conversion aborted.");
  return Fail(run, message);
}

// Index just past the first ',' at or after `pos`, or the end of the line.
size_t AfterComma(std::string_view line, size_t pos) {
  const size_t comma = line.find(',', pos);
  return comma == std::string_view::npos ? line.size() : comma + 1;
}

bool UpperLetterAt(std::string_view line, size_t pos) {
  return pos < line.size() && IsUpperLetter(line[pos]);
}

// Fills `rec` from the line; returns 1 (message shown) when it is malformed.
int ParseMove(Run& run, std::string_view line, MoveRecord& rec) {
  size_t pos = 0;
  if (!line.empty() && line[0] == 'Y') {
    // Column Y is the pass marker, even on boards of 25 or 26 lines.
    rec.pass = 1;
  } else {
    if (!UpperLetterAt(line, 0)) return FailIllegal(run, "column", line, 0);
    if (!UpperLetterAt(line, 1)) return FailIllegal(run, "row", line, 1);
    rec.pass = 0;
    rec.col = ToLower(line[0]);
    // UGF counts rows from the bottom, SGF from the top. The letter is not
    // checked against the board: an off-board row still gives a character.
    rec.row = static_cast<char>('a' + (run.game.boardSize - 1) -
                                (line[1] - 'A'));
    pos = 2;
  }

  pos = SkipSpace(line, AfterComma(line, pos));
  if (pos >= line.size() || (line[pos] != 'B' && line[pos] != 'W')) {
    return FailIllegal(run, "color", line, pos);
  }
  rec.color = line[pos];

  pos = SkipSpace(line, AfterComma(line, pos));
  rec.number = (pos < line.size() && IsDigit(line[pos]))
                   ? static_cast<int32_t>(ReadNumber(line, pos))
                   : 0;
  return 0;
}

// A computed row letter can be ']' or '\' on an odd board; escaping it keeps
// the property value closed where it should be.
void AppendPointLetter(std::string& out, char c) {
  if (c == ']' || c == '\\') out += '\\';
  out += c;
}

void AppendPoint(std::string& out, const MoveRecord& rec) {
  AppendPointLetter(out, rec.col);
  AppendPointLetter(out, rec.row);
}

bool IsCommentEntry(const std::string& text) {
  return text.size() >= 3 && text.compare(0, 2, "C[") == 0 &&
         text.back() == ']';
}

// Entry indices ordered by move number, list order kept within a number, so
// that the entries of one number are found by a binary search instead of a
// scan of the whole list for every run of records.
std::vector<int> EntriesByNumber(const CommentList& comments) {
  std::vector<int> order(comments.entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return comments.entries[a].number < comments.entries[b].number;
  });
  return order;
}

// Writes the entries of `number` in list order. SGF allows one comment per
// node, so all comment lines of the number become one C property, joined by
// line feeds, where the first of them stands; label entries stay as they are.
void AppendEntriesOf(const CommentList& comments,
                     const std::vector<int>& order, int32_t number,
                     std::string& out) {
  const auto numberOf = [&](int index) { return comments.entries[index].number; };
  const auto from = std::lower_bound(
      order.begin(), order.end(), number,
      [&](int index, int32_t n) { return numberOf(index) < n; });
  const auto to = std::upper_bound(
      from, order.end(), number,
      [&](int32_t n, int index) { return n < numberOf(index); });
  bool commentWritten = false;
  for (auto it = from; it != to; ++it) {
    const std::string& text = comments.entries[*it].text;
    if (!IsCommentEntry(text)) {
      out.append(text).append("\n");
      continue;
    }
    if (commentWritten) continue;
    commentWritten = true;
    out += "C[";
    bool firstLine = true;
    for (auto line = it; line != to; ++line) {
      const std::string& part = comments.entries[*line].text;
      if (!IsCommentEntry(part)) continue;
      if (!firstLine) out += '\n';
      out.append(part, 2, part.size() - 3);
      firstLine = false;
    }
    out += "]\n";
  }
}

}  // namespace

int HandleMove(Run& run, std::string_view line) {
  MoveList& moves = run.game.moves;
  if (moves.count() >= kMaxRecords) return Fail(run, kTooManyMoves);
  try {
    if (run.state.traceLevel >= 9) TraceWrite(run, "HandleMove ", line);
    MoveRecord rec;
    if (ParseMove(run, line, rec) != 0) return 1;
    moves.records.push_back(rec);
  } catch (const std::bad_alloc&) {
    return Fail(run, kNoMemory);
  }
  return 0;
}

int PrintMoveTree(Run& run, std::string& out) {
  if (run.state.traceLevel >= 4) TraceWrite(run, "PrintMoveTree");
  const std::vector<MoveRecord>& records = run.game.moves.records;
  const CommentList& comments = run.game.comments;
  const std::vector<int> order = EntriesByNumber(comments);

  int32_t previous = -1;
  char openAdded = 0;  // colour of the AB/AW property still open, or 0
  for (size_t i = 0; i < records.size(); ++i) {
    const MoveRecord& rec = records[i];
    if (rec.number != 0) {
      // Every move is a node of its own, a pass an empty value.
      out.append("\n;").append(1, rec.color).append("[");
      if (!rec.pass) AppendPoint(out, rec);
      out += ']';
      openAdded = 0;
    } else if (!rec.pass) {
      // Added stones join the property open for their colour; a change of
      // colour opens the other colour's, so no stone changes sides.
      if (previous != 0 || openAdded != rec.color) {
        out.append("A").append(1, rec.color);
        openAdded = rec.color;
      }
      out += '[';
      AppendPoint(out, rec);
      out += ']';
    }
    // An added stone without a point is nothing to write.
    previous = rec.number;
    if (i + 1 == records.size() || records[i + 1].number != rec.number) {
      AppendEntriesOf(comments, order, rec.number, out);
    }
  }
  return 0;
}

}  // namespace kirato
