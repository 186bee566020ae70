// Converts a game of 9,999 moves with a comment entry on every move, once
// through the program and once through a reference that finds each move's
// entries by scanning the whole comment list, as a plain implementation
// would. Both must write the same bytes; the benchmark compares their times.
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
  // Comments come in reverse move order, so that the list order is not the
  // order of the moves. ".Text" switches blocks without ".EndText":
  // after the 9,999th entry any further figure line ends the conversion.
  ugf += "[Figure]\n";
  for (int n = kMoves; n >= 1; --n) {
    ugf += ".Text," + std::to_string(n) + "\nMove " + std::to_string(n) +
           ": a note\n";
  }
  return ugf;
}

// The entries of `number`, found by a scan of the whole list, written as the
// program writes them: comment lines joined into one property where the
// first stands, label entries as they are.
void ScanEntriesOf(const CommentList& comments, int32_t number,
                   std::string& out) {
  const auto isComment = [](const std::string& t) {
    return t.compare(0, 2, "C[") == 0;
  };
  bool commentWritten = false;
  for (int i = 0; i < comments.count(); ++i) {
    const CommentRecord& e = comments.entries[i];
    if (e.number != number) continue;
    if (!isComment(e.text)) {
      out += e.text + "\n";
    } else if (!commentWritten) {
      commentWritten = true;
      std::string joined;
      for (int j = i; j < comments.count(); ++j) {
        const CommentRecord& f = comments.entries[j];
        if (f.number != number || !isComment(f.text)) continue;
        if (j != i) joined += '\n';
        joined.append(f.text, 2, f.text.size() - 3);
      }
      out += "C[" + joined + "]\n";
    }
  }
}

void ScanMoveTree(const GameState& game, std::string& out) {
  const std::vector<MoveRecord>& records = game.moves.records;
  int32_t previous = -1;
  char openAdded = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const MoveRecord& r = records[i];
    const std::string point = r.pass ? "" : std::string{r.col, r.row};
    if (r.number != 0) {
      out += std::string("\n;") + r.color + "[" + point + "]";
      openAdded = 0;
    } else if (!r.pass) {
      if (previous != 0 || openAdded != r.color) {
        out += std::string("A") + r.color;
        openAdded = r.color;
      }
      out += "[" + point + "]";
    }
    previous = r.number;
    if (i + 1 == records.size() || records[i + 1].number != r.number) {
      ScanEntriesOf(game.comments, r.number, out);
    }
  }
}

// The reference conversion: the program's own line handlers, the scanning
// move tree.
int ConvertWithScan(std::string_view ugf, std::string* sgf) {
  Conversion c;
  *sgf = kRoot;
  int (*handler)(Conversion&, std::string_view) = nullptr;
  while (!ugf.empty()) {
    const size_t end = ugf.find('\n');
    const std::string_view line = ugf.substr(0, end);
    ugf.remove_prefix(end == std::string_view::npos ? ugf.size() : end + 1);
    if (line == "[Data]") {
      handler = HandleMove;
    } else if (line == "[Figure]") {
      handler = HandleFigureLine;
    } else if (handler && handler(c, line) != 0) {
      return 1;
    }
  }
  ScanMoveTree(c.game, *sgf);
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
