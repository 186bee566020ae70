#include "convert/game.h"

#include <new>

#include "batch/disk.h"
#include "batch/run_state.h"
#include "convert/text.h"

namespace kirato {

int FailConversion(Run& run, std::string_view message) {
  ShowMessage(run, message);
  run.state.errorFlag = 1;
  return 1;
}

void ResetGame(GameState& game) {
  game.root.clear();
  game.moves.records.clear();
  game.comments.entries.clear();
  game.labelEntries.clear();
  game.boardSize = 19;
  game.textMoveNumber = -1;
}

namespace {

enum class Section { kNone, kHeader, kData, kFigure };

struct SectionLine {
  std::string_view name;  // compared case-insensitively, as a prefix
  Section section;
  std::string_view trace;
};

constexpr SectionLine kSectionLines[] = {
    {"[Header]", Section::kHeader, "ConvertGame::inheader set"},
    {"[Data]", Section::kData, "ConvertGame::indata set"},
    {"[Figure]", Section::kFigure, "ConvertGame::infigure set"},
};

int HandleSectionLine(Run& run, Section section, std::string_view line) {
  switch (section) {
    case Section::kHeader:
      return HandleHeaderField(run, line);
    case Section::kData:
      return HandleMove(run, line);
    case Section::kFigure:
      return HandleFigureLine(run, line);
    case Section::kNone:
      break;
  }
  return 0;
}

int ConvertLines(Run& run, LineReader& in, std::string& out,
                 std::string_view outputPath) {
  const int level = run.state.traceLevel;
  if (level >= 4) TraceWrite(run, "ConvertGame");
  ResetGame(run.game);
  out += "(;GM[1]FF[4]AP[kirato:1.0]\n";
  out += "GN[";
  // The game is named after the output file, extension included.
  AppendEscapedSgfText(out, FileNameOf(outputPath));
  out += "]\n";

  Section section = Section::kNone;
  std::string line;
  for (;;) {
    const int read = in.ReadPiece(&line);
    if (read < 0) return 1;  // a half-read game is no conversion
    if (read == 0) break;
    if (level >= 9) TraceWrite(run, "ConvertGame::readline ", line);
    TrimLineEnd(line);
    if (level >= 9) TraceWrite(run, "ConvertGame::readline ", line);

    std::string_view work(line);
    work.remove_prefix(SkipSpace(work, 0));
    // Every section line starts with '[', and any such line ends the
    // section it stands in.
    bool switched = false;
    if (!work.empty() && work.front() == '[') {
      section = Section::kNone;
      for (const SectionLine& s : kSectionLines) {
        if (StartsWithNoCase(work, s.name)) {
          section = s.section;
          if (level >= 8) TraceWrite(run, s.trace);
          switched = true;
          break;
        }
      }
    }
    if (switched || section == Section::kNone) continue;
    if (HandleSectionLine(run, section, TrimTrailingSpace(work)) != 0) {
      // What was read up to here, for the trace of a failed game.
      WriteRootProperties(run.game, out);
      return 1;
    }
  }
  WriteRootProperties(run.game, out);
  PrintMoveTree(run, out);
  ResetGame(run.game);
  out += ")\n";
  return 0;
}

}  // namespace

int ConvertGame(Run& run, LineReader& in, std::string& out,
                std::string_view outputPath) {
  // The handlers catch what they store; this catches the rest (a huge
  // output, a long line), so that no exception leaves the engine.
  try {
    return ConvertLines(run, in, out, outputPath);
  } catch (const std::bad_alloc&) {
    return FailConversion(run, kNoMemoryMessage);
  }
}

}  // namespace kirato
