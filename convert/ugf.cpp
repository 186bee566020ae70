// The sections of a UGF record: which reader each line goes to.
#include "convert/ugf.h"

#include <algorithm>
#include <iterator>

#include "convert/lines.h"
#include "convert/text.h"

namespace kirato {

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

bool ReadSectionLine(UgfReader& r, Section section, std::string_view line,
                     std::string* err) {
  switch (section) {
    case Section::kData:
      return ReadDataLine(r, line, err);
    case Section::kFigure:
      return ReadFigureLine(r, line, err);
    case Section::kHeader:
      return ReadHeaderLine(r, line, err);
    case Section::kReviewNode:
      return ReadReviewNodeLine(r, line, err);
    case Section::kReviewComment:
      return ReadReviewCommentLine(r, line, err);
    case Section::kNone:
      break;
  }
  return true;
}

// The section a line starting with '[' opens: none for a name this reader
// does not know, whose lines are then passed over.
Section SectionOf(Conversion& c, std::string_view line, bool* known) {
  for (const SectionLine& s : kSectionLines) {
    if (StartsWithNoCase(line, s.name)) {
      *known = true;
      if (c.options.traceLevel >= 8) Trace(c, s.trace);
      return s.section;
    }
  }
  return Section::kNone;
}

}  // namespace

bool NamesUgfSection(std::string_view line) {
  return std::any_of(
      std::begin(kSectionLines), std::end(kSectionLines),
      [&](const SectionLine& s) { return StartsWithNoCase(line, s.name); });
}

bool ReadUgf(Conversion& c, std::string_view text, GameModel* game,
             std::string* err) {
  const int level = c.options.traceLevel;
  UgfReader r(c, *game);
  r.text = text;
  // A data line is some twelve bytes, and a record has about a note for
  // every sixty: room made once saves growing step by step.
  game->moves.reserve(std::min<size_t>(text.size() / 12 + 16, kMaxRecords));
  game->notes.reserve(std::min<size_t>(text.size() / 64 + 16, kMaxRecords));
  game->root.reserve(16);
  r.labelledMoves.reserve(16);
  Section section = Section::kNone;
  // Empty files, binary files and datafiles are no records: converting
  // them into empty games would report success for a mistake.
  bool anySection = false;
  LineSplitter lines(text, game->decoded, LineSplitter::kNoEndOfFile);
  std::string_view piece;
  bool lineEnd = false;
  int nextLine = 1;
  // The data lines, and most figure lines, are taken from the text in runs
  // unless the trace log is to show each of them.
  const bool lineFeeds = lines.lineEnd() == '\n';
  const bool dataRuns = level < 9 && lineFeeds;
  const bool figureRuns = level < 4 && lineFeeds;
  for (;;) {
    if ((section == Section::kData && dataRuns) ||
        (section == Section::kFigure && figureRuns)) {
      int read = 0;
      const size_t from = lines.position();
      lines.SkipTo(section == Section::kData
                       ? ReadDataLines(r, text, from, &read)
                       : ReadFigureLines(r, text, from, &read));
      nextLine += read;
    }
    if (!lines.Next(&piece, &lineEnd)) break;
    // Messages name the record line; the pieces of a long line share its
    // number.
    r.lineNumber = nextLine;
    if (lineEnd) ++nextLine;
    std::string_view work = TrimLineEnd(piece);
    if (level >= 9) {
      Trace(c, "ConvertGame::readline ", piece, lineEnd ? "\n" : "");
      Trace(c, "ConvertGame::readline ", work);
    }
    if (work.empty()) {
      if (section == Section::kNone) continue;
    } else {
      if (IsSpace(work.front())) work.remove_prefix(SkipSpace(work, 0));
      // Every section line starts with '[', and any such line ends the
      // section it stands in.
      if (!work.empty() && work.front() == '[') {
        section = SectionOf(c, work, &anySection);
        continue;
      }
      if (section == Section::kNone) continue;
      if (!work.empty() && IsSpace(work.back())) work = TrimTrailingSpace(work);
    }
    if (!ReadSectionLine(r, section, work, err)) return false;
  }
  if (!anySection) {
    c.refused = true;
    *err = std::string("No UGF section found in ")
               .append(c.options.recordPath)
               .append(". Conversion aborted.");
    return false;
  }
  // The log has always named the step that writes the moves here.
  if (level >= 4) Trace(c, "PrintMoveTree");
  PlaceReview(r);
  return true;
}

}  // namespace kirato
