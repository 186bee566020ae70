// Converts a game of 9,999 moves with a comment line on every move, once
// through the program and once through a reference that finds each move's
// notes by scanning all of them, as a plain implementation would. Both must
// write the same bytes; the benchmark compares their times.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert_helpers.h"

namespace kirato {
namespace {

constexpr int kMoves = kMaxRecords;
constexpr char kRoot[] = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n";

std::string MakeGame() {
  std::string ugf = "[Data]\n";
  for (int n = 1; n <= kMoves; ++n) {
    const int point = n % 361;
    ugf += static_cast<char>('A' + point % 19);
    ugf += static_cast<char>('A' + point / 19);
    ugf += n % 2 ? ",B1," : ",W2,";
    ugf += std::to_string(n) + ",0\n";
  }
  // Comments come in reverse move order, so that the notes' order is not
  // the order of the moves. ".Text" switches blocks without ".EndText":
  // after the 9,999th comment line any further figure line ends the
  // conversion.
  ugf += "[Figure]\n";
  for (int n = kMoves; n >= 1; --n) {
    ugf += ".Text," + std::to_string(n) + "\nMove " + std::to_string(n) +
           ": a note\n";
  }
  return ugf;
}

// The notes of `number`, found by a scan of all of them, written as the
// program writes them: comment lines joined into one property, labels into
// another, whichever came first written first.
void ScanNotesOf(const std::vector<MoveNote>& notes, int32_t number,
                 std::string& out) {
  std::string comment;
  std::string labels;
  bool labelsFirst = false;
  for (const MoveNote& n : notes) {
    if (n.number != number) continue;
    if (n.label) {
      if (labels.empty() && comment.empty()) labelsFirst = true;
      labels += std::string{'[', n.col, n.row, ':'} + EscapeSgfText(n.text) +
                "]";
    } else {
      comment += (comment.empty() ? "C[" : "\n") + EscapeSgfText(n.text);
    }
  }
  if (!comment.empty()) comment += "]\n";
  if (!labels.empty()) labels = "LB" + labels + "\n";
  out += labelsFirst ? labels + comment : comment + labels;
}

void ScanMoveTree(const GameModel& game, std::string& out) {
  const std::vector<Move>& moves = game.moves;
  for (size_t i = 0; i < moves.size(); ++i) {
    const Move& m = moves[i];
    out += std::string("\n;") + m.color + "[" +
           (m.pass ? "" : std::string{m.col, m.row}) + "]";
    if (i + 1 == moves.size() || moves[i + 1].number != m.number) {
      ScanNotesOf(game.notes, m.number, out);
    }
  }
}

// The reference conversion: the program's own line readers, the scanning
// move tree. The game has moves and notes only: no header, no stones
// added, no review.
int ConvertWithScan(std::string_view ugf, std::string* sgf) {
  TestConversion t;
  *sgf = kRoot;
  LineReader read = nullptr;
  while (!ugf.empty()) {
    const size_t end = ugf.find('\n');
    const std::string_view line = ugf.substr(0, end);
    ugf.remove_prefix(end == std::string_view::npos ? ugf.size() : end + 1);
    if (line == "[Data]") {
      read = ReadDataLine;
    } else if (line == "[Figure]") {
      read = ReadFigureLine;
    } else if (read && !t.Read(read, line)) {
      return 1;
    }
  }
  ScanMoveTree(t.game, *sgf);
  *sgf += ")\n";
  return 0;
}

const std::string& Game() {
  static const std::string game = MakeGame();
  return game;
}

void BM_ConvertIndexed(benchmark::State& state) {
  TestConversion t;
  std::string sgf;
  for (auto _ : state) {
    ConvertText(t, Game(), &sgf);
    benchmark::DoNotOptimize(sgf.data());
  }
}

void BM_ConvertLinearScan(benchmark::State& state) {
  std::string sgf;
  for (auto _ : state) {
    ConvertWithScan(Game(), &sgf);
    benchmark::DoNotOptimize(sgf.data());
  }
}

BENCHMARK(BM_ConvertIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertLinearScan)->Unit(benchmark::kMillisecond);

// A faster conversion that writes other bytes would prove nothing.
int CheckSameOutput() {
  TestConversion indexed;
  std::string a, b;
  if (ConvertText(indexed, Game(), &a) != 0 ||
      ConvertWithScan(Game(), &b) != 0 || a != b ||
      a.find("C[Move 9999\\: a note]") == std::string::npos) {
    std::fprintf(stderr, "the two conversions differ\n");
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace kirato

int main(int argc, char** argv) {
  if (kirato::CheckSameOutput() != 0) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
