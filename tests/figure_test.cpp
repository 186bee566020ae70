#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <new>

#include "convert_helpers.h"

// Lets a test make one allocation fail, as a full memory would: the one
// after this many more (-1: none).
static long g_allocationsBeforeFailure = -1;

// Out of line, like the deletes below: inlined, the malloc() would meet the
// library's sized deletes and look like a mismatch to the compiler.
[[gnu::noinline]] void* operator new(size_t size) {
  if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0) {
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
// Kept out of line: inlined, the free() would meet the new expressions of
// this file and look like a mismatch to the compiler.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace kirato {
namespace {

using Entries = std::vector<std::pair<int32_t, std::string>>;

// The notes as SGF pieces in the order the record made them: a C property
// for each comment line, and for each move one LB property, where its
// first label stands, holding all its labels.
Entries EntriesOf(const GameModel& game) {
  Entries out;
  std::map<int32_t, size_t> labels;
  for (const MoveNote& n : game.notes) {
    if (!n.label) {
      out.emplace_back(n.number, "C[" + EscapeSgfText(n.text).append("]"));
      continue;
    }
    std::string value = {'[', n.col, n.row, ':'};
    value.append(EscapeSgfText(n.text)).append("]");
    const auto [entry, made] = labels.emplace(n.number, out.size());
    if (made) {
      out.emplace_back(n.number, "LB" + value);
    } else {
      out[entry->second].second += value;
    }
  }
  return out;
}

TEST(FigureTest, LinesBecomeEntries) {
  struct Case {
    const char* name;
    std::vector<std::string_view> lines;
    Entries entries;
    int textMoveNumber;  // after the last line
  } cases[] = {
      {"nothing is taken before a block opens",
       {"stray", ".#,1,1,A", ".EndText", ".Text,x", "x"}, {}, -1},
      {"one entry per line, an empty one too",
       {".Text,12", "a", "", "b"}, {{12, "C[a]"}, {12, "C[]"}, {12, "C[b]"}},
       12},
      {"escaping in comments and labels",
       {".Text,1", "a]b\\c:d", ".#,1,1,e]f\\g:h"},
       {{1, "C[a\\]b\\\\c\\:d]"}, {1, "LB[as:e\\]f\\\\g\\:h]"}}, 1},
      {"labels of a move gather in one entry",
       {".Text,5", ".#,1,1,A", ".#,19,19,B"}, {{5, "LB[as:A][sa:B]"}}, 5},
      {"labels given in two blocks for the move",
       {".Text,5", ".#,1,1,A", ".EndText", ".Text,6", "x", ".EndText",
        ".Text,5", ".#,2,2,B"},
       {{5, "LB[as:A][br:B]"}, {6, "C[x]"}}, 5},
      {"malformed label lines are ignored",
       {".Text,2", ".#,1,1,", ".#,1,1", ".#, 1,1,A", ".#,x,1,A", ".#,1,,A",
        ".#"},
       {}, 2},
      {"label text keeps its commas", {".Text,2", ".#,1,1,A,B"},
       {{2, "LB[as:A,B]"}}, 2},
      {"the corners of the board", {".Text,2", ".#,19,1,A", ".#,1,19,B"},
       {{2, "LB[ss:A][aa:B]"}}, 2},
      {"labels beyond the board are passed over",
       {".Text,3", ".#,0,1,A", ".#,20,1,B", ".#,1,0,C", ".#,1,20,D",
        ".#,1,23,E", ".#,1,24,F", ".#,31,1,G", ".#,1,85,H",
        ".#,99999999999,1,I", ".#,30,84,J"},
       {}, 3},
      {"markers in any case, spaces before the number",
       {".text,7", "a", ".TEXT, 8", "b", ".ENDTEXT", "c"},
       {{7, "C[a]"}, {8, "C[b]"}}, -1},
      {"a .Text line without a number keeps the block",
       {".Text,4", ".Text", ".Text,x", "a", ".Foo", ".", "b"},
       {{4, "C[a]"}, {4, "C[b]"}}, 4},
      {"a block for move 0", {".Text,0", "root"}, {{0, "C[root]"}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    for (std::string_view line : c.lines) {
      ASSERT_TRUE(t.Read(ReadFigureLine, line));
    }
    EXPECT_EQ(c.entries, EntriesOf(t.game));
    EXPECT_EQ(c.textMoveNumber, t.reader.textMoveNumber);
    EXPECT_TRUE(t.Messages().empty());
  }
}

TEST(FigureTest, AGameHoldsAtMost9999Entries) {
  TestConversion t;
  t.conv.options.traceLevel = 4;
  t.Read(ReadFigureLine, ".Text,1");
  for (int i = 1; i < kMaxRecords; ++i) t.Read(ReadFigureLine, "c");
  EXPECT_TRUE(t.Read(ReadFigureLine, ".#,1,1,L"));
  EXPECT_EQ(kMaxRecords, t.reader.figureEntries);
  EXPECT_TRUE(t.Messages().empty());
  const std::string traced = t.Trace();
  EXPECT_TRUE(traced.ends_with("\r\nHandleFigureLine.#,1,1,L\r\n"));

  EXPECT_FALSE(t.Read(ReadFigureLine, ".EndText"));
  EXPECT_EQ(std::vector<std::string>{"Too many comments in this file. "
                                     "Conversion aborted."},
            t.Messages());
  EXPECT_EQ(1, t.reader.textMoveNumber);
  EXPECT_EQ(traced, t.Trace());
}

TEST(FigureTest, NoBlockOutlivesItsFile) {
  struct Case {
    const char* name;
    std::string first;
  } cases[] = {
      {"a file that ends inside a block", "[Figure]\n.Text,3\nx\n"},
      {"a file that fails inside a block",
       "[Figure]\n.Text,3\nx\n[Data]\nbad\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    std::string sgf;
    ConvertText(t, c.first, &sgf);
    ASSERT_EQ(0, ConvertText(t, "[Data]\nPD,B,3\n[Figure]\nstray\n", &sgf));
    EXPECT_EQ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n\n;B[pp])\n", sgf);
  }
}

// Whichever allocation fails, the record fails with the one message and
// nothing thrown; where none fails, it converts as usual.
TEST(FigureTest, RunningOutOfMemoryFailsTheGame) {
  const std::string record =
      "[Header]\nTitle=Cup\nPlayerB=Ann,2d\n[Data]\nPD,B,1\nDD,W,2\n"
      "[Figure]\n.Text,1\na comment\n.#,1,1,A\n";
  TestConversion plain;
  std::string expected;
  ASSERT_EQ(0, ConvertText(plain, record, &expected));
  int failures = 0;
  for (long k = 0;; ++k) {
    SCOPED_TRACE(k);
    TestConversion t;
    std::string sgf;
    g_allocationsBeforeFailure = k;
    const int result = ConvertText(t, record, &sgf);
    const bool failed = g_allocationsBeforeFailure < 0;
    g_allocationsBeforeFailure = -1;
    if (!failed) {
      EXPECT_EQ(0, result);
      EXPECT_EQ(expected, sgf);
      break;
    }
    ++failures;
    EXPECT_EQ(1, result);
    EXPECT_EQ(std::vector<std::string>{"Not enough memory for this file. "
                                       "Conversion aborted."},
              t.Messages());
  }
  EXPECT_LT(5, failures);
}

}  // namespace
}  // namespace kirato
