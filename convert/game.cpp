#include "convert/game.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "base/utf8.h"
#include "convert/lines.h"
#include "convert/record_text.h"
#include "convert/text.h"

namespace kirato {

void Message(Conversion& c, std::string text) {
  const std::string kind = text.substr(0, text.find(':'));
  int& count = c.messageKinds[kind];
  if (++count > kMostMessagesOfAKind) {
    if (count == kMostMessagesOfAKind + 1) c.floodedKinds.emplace_back(kind);
    return;
  }
  c.notes.push_back({NoteKind::kProblem, std::move(text)});
}

void Trace(Conversion& c, std::string_view a, std::string_view b,
           std::string_view c3, std::string_view d) {
  std::string line;
  line.reserve(a.size() + b.size() + c3.size() + d.size());
  line.append(a).append(b).append(c3).append(d);
  c.notes.push_back({NoteKind::kTrace, std::move(line)});
}

int FailConversion(Conversion& c, std::string_view message) {
  Message(c, std::string(message));
  c.errorFlag = 1;
  return 1;
}

void ResetGame(GameState& game) {
  game.root.clear();
  game.moves.records.clear();
  game.comments.entries.clear();
  game.labelEntries.clear();
  game.boardSize = 19;
  game.textMoveNumber = -1;
  game.review = Review{};
}

namespace {

enum class Section {
  kNone,
  kHeader,
  kData,
  kFigure,
  kReviewNode,
  kReviewComment
};

struct SectionLine {
  std::string_view name;  // compared case-insensitively, as a prefix
  Section section;
  std::string_view trace;
};

constexpr SectionLine kSectionLines[] = {
    {"[Header]", Section::kHeader, "ConvertGame::inheader set"},
    {"[Data]", Section::kData, "ConvertGame::indata set"},
    {"[Figure]", Section::kFigure, "ConvertGame::infigure set"},
    {"[ReviewNode]", Section::kReviewNode, "ConvertGame::inreviewnode set"},
    {"[ReviewComment]", Section::kReviewComment,
     "ConvertGame::inreviewcomment set"},
};

int HandleSectionLine(Conversion& c, Section section, std::string_view line) {
  switch (section) {
    case Section::kHeader:
      return HandleHeaderField(c, line);
    case Section::kData:
      return HandleMove(c, line);
    case Section::kFigure:
      return HandleFigureLine(c, line);
    case Section::kReviewNode:
      return HandleReviewNode(c, line);
    case Section::kReviewComment:
      return HandleReviewComment(c, line);
    case Section::kNone:
      break;
  }
  return 0;
}

// The trace of a piece as read, its line end included.
void TraceRead(Conversion& c, std::string_view piece, bool lineEnd) {
  Trace(c, "ConvertGame::readline ", piece, lineEnd ? "\n" : "");
}

// Readers that are not told the charset guess it, and guess wrong for
// much Japanese text. It stands after the game name, so that the first two
// lines of every SGF file stay the same.
void NameCharset(const RecordText& r, size_t afterName, std::string& out) {
  if (r.ascii && IsAscii(r.gameName)) return;
  if (!IsAscii(out)) out.insert(afterName, "CA[UTF-8]\n");
}

int ConvertLines(Conversion& c, std::string_view record, std::string& out,
                 std::string_view gameName) {
  const int level = c.options.traceLevel;
  if (level >= 4) Trace(c, "ConvertGame");
  RecordText r;
  PrepareRecordText(c, record, gameName, &r);
  // The SGF is about as long as the record; a data line is some twelve
  // bytes. Room made once saves growing step by step.
  out.reserve(record.size() + 512);
  c.game.moves.records.reserve(
      std::min<size_t>(record.size() / 12 + 16, kMaxRecords));
  const bool decoding = c.options.charset == CharsetMode::kDecode;
  out += "(;GM[1]FF[4]AP[kirato:1.0]\n";
  out += "GN[";
  // The game is named after the output file, extension included.
  AppendEscapedSgfText(out, r.gameName);
  out += "]\n";
  const size_t afterName = out.size();

  Section section = Section::kNone;
  // Empty files, binary files and datafiles are no records: converting
  // them into empty games would report success for a mistake.
  bool anySection = false;
  LineSplitter lines(r.text(), decoding);
  std::string_view piece;
  bool lineEnd = false;
  int nextLine = 1;
  while (lines.Next(&piece, &lineEnd)) {
    // Review messages name the record line; the pieces of a long line
    // share its number.
    c.lineNumber = nextLine;
    if (lineEnd) ++nextLine;
    if (level >= 9) {
      TraceRead(c, piece, lineEnd);
      Trace(c, "ConvertGame::readline ", TrimLineEnd(piece));
    }
    std::string_view work = TrimLineEnd(piece);
    work.remove_prefix(SkipSpace(work, 0));
    // Every section line starts with '[', and any such line ends the
    // section it stands in.
    if (!work.empty() && work.front() == '[') {
      section = Section::kNone;
      for (const SectionLine& s : kSectionLines) {
        if (StartsWithNoCase(work, s.name)) {
          section = s.section;
          anySection = true;
          if (level >= 8) Trace(c, s.trace);
          break;
        }
      }
      continue;
    }
    if (section == Section::kNone) continue;
    if (HandleSectionLine(c, section, TrimTrailingSpace(work)) != 0) {
      // What was read up to here, for the trace of a failed game.
      WriteRootProperties(c.game, out);
      return 1;
    }
  }
  if (!anySection) {
    return FailConversion(c, std::string("No UGF section found in ")
                                 .append(c.options.recordPath)
                                 .append(". Conversion aborted."));
  }
  WriteRootProperties(c.game, out);
  PrintMoveTree(c, out);
  out += ")\n";
  if (decoding) NameCharset(r, afterName, out);
  return 0;
}

// One line for each kind of message that went over the limit, after all
// the record's other messages.
void ReportFloods(Conversion& c) {
  for (const std::string& kind : c.floodedKinds) {
    const int more = c.messageKinds[kind] - kMostMessagesOfAKind;
    c.notes.push_back({NoteKind::kProblem, "... and " + std::to_string(more) +
                                 " more like this in " +
                                 std::string(c.options.recordPath)});
  }
}

}  // namespace

bool NamesUgfSection(std::string_view line) {
  return std::any_of(
      std::begin(kSectionLines), std::end(kSectionLines),
      [&](const SectionLine& s) { return StartsWithNoCase(line, s.name); });
}

bool ConvertGame(std::string_view record, std::string_view gameName,
                 const ConvertOptions& options, GameResult* result) {
  GameResult& r = *result;
  r = GameResult();
  int stopped = 1;
  // The handlers catch what they store; this catches the rest (a huge
  // output, a long line), so that no exception leaves the engine.
  try {
    Conversion c(options);
    try {
      stopped = ConvertLines(c, record, r.sgf, gameName);
    } catch (const std::bad_alloc&) {
      stopped = FailConversion(c, kNoMemoryMessage);
    }
    ReportFloods(c);
    r.notes = std::move(c.notes);
  } catch (const std::bad_alloc&) {
    stopped = 1;
  }
  r.converted = stopped == 0;
  return r.converted;
}

}  // namespace kirato
