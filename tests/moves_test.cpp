#include <gtest/gtest.h>

#include "convert_helpers.h"
#include "sgf_check.h"

namespace kirato {
namespace {

TEST(MovesTest, DataLinesBecomeRecords) {
  struct Case {
    const char* name;
    int boardSize;
    std::string_view line;
    int32_t number;
    char color;
    bool pass;
    const char* point;  // col, row; empty for a pass
  } cases[] = {
      {"point, colour, number", 19, "PD,B1,12,0", 12, 'B', 0, "pp"},
      {"bottom and top rows", 19, "AA,W,3", 3, 'W', 0, "as"},
      {"top row of 19", 19, "SS,W,3", 3, 'W', 0, "sa"},
      {"9 lines", 9, "AA,B,1", 1, 'B', 0, "ai"},
      {"13 lines", 13, "MM,B,1", 1, 'B', 0, "ma"},
      {"26 lines", 26, "ZA,B,1", 1, 'B', 0, "zz"},
      {"row beyond a 9-line board", 9, "AK,B,1", 1, 'B', 0, "a_"},
      {"row beyond a 19-line board", 19, "AT,B,1", 1, 'B', 0, "a`"},
      {"whitespace after the commas", 19, "PD, B,\t5", 5, 'B', 0, "pp"},
      {"text before the comma", 19, "PDX,W,7x", 7, 'W', 0, "pp"},
      {"no number field", 19, "PD,B", 0, 'B', 0, "pp"},
      {"a number that is no number", 19, "PD,B,x", 0, 'B', 0, "pp"},
      {"pass with a row letter", 19, "YZ,W,7", 7, 'W', 1, ""},
      {"pass alone", 19, "Y,W,7", 7, 'W', 1, ""},
      {"Y is a pass on 25 lines too", 25, "YA,B,9", 9, 'B', 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    t.reader.boardSize = c.boardSize;
    ASSERT_TRUE(t.Read(ReadDataLine, c.line));
    ASSERT_EQ(1u, t.game.moves.size());
    const Move& r = t.game.moves[0];
    EXPECT_EQ(c.number, r.number);
    EXPECT_EQ(c.color, r.color);
    EXPECT_EQ(c.pass, r.pass);
    EXPECT_EQ(c.point, r.pass ? "" : std::string({r.col, r.row}));
    EXPECT_TRUE(t.Messages().empty());
  }
}

TEST(MovesTest, BoardSizeIsTakenWhenTheLineIsRead) {
  TestConversion t;
  ASSERT_TRUE(t.Read(ReadDataLine, "AA,B,1"));
  t.reader.boardSize = 9;
  ASSERT_TRUE(t.Read(ReadDataLine, "AA,W,2"));
  EXPECT_EQ('s', t.game.moves[0].row);
  EXPECT_EQ('i', t.game.moves[1].row);
}

TEST(MovesTest, MalformedLinesStopTheGame) {
  const std::string tail = " in this file. Conversion aborted.";
  struct Case {
    const char* name;
    std::string_view line;
    std::string message;
  } cases[] = {
      {"empty line", "", "Illegal column  on move 3"},
      {"lower-case column", "pd,B,1", "Illegal column p on move 3"},
      {"high byte column", "\xC3\xA9,B,1", "Illegal column \xC3 on move 3"},
      {"row missing", "P", "Illegal row  on move 3"},
      {"digit row", "P1,B,1", "Illegal row 1 on move 3"},
      {"NUL row shows nothing", std::string_view("P\0,B", 4),
       "Illegal row  on move 3"},
      {"colour missing", "PD", "Illegal color  on move 3"},
      {"lower-case colour", "PD,b,5", "Illegal color b on move 3"},
      {"empty colour field", "PD,,B", "Illegal color , on move 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    ASSERT_TRUE(t.Read(ReadDataLine, "AA,B,40"));
    ASSERT_TRUE(t.Read(ReadDataLine, "BB,W,41"));
    EXPECT_FALSE(t.Read(ReadDataLine, c.line));
    EXPECT_EQ(std::vector<std::string>{c.message + tail}, t.Messages());
    EXPECT_EQ(2u, t.game.moves.size());
  }
}

TEST(MovesTest, AGameHoldsAtMost9999Records) {
  TestConversion t;
  t.conv.options.traceLevel = 9;
  for (int i = 1; i < kMaxRecords; ++i) t.Read(ReadDataLine, "AA,B,1");
  const std::string traced = t.Trace();
  EXPECT_TRUE(t.Read(ReadDataLine, "PD,W,9999"));
  EXPECT_EQ(size_t{kMaxRecords}, t.game.moves.size());
  EXPECT_TRUE(t.Messages().empty());
  EXPECT_EQ(traced + "HandleMove PD,W,9999\r\n", t.Trace());

  EXPECT_FALSE(t.Read(ReadDataLine, "PD,B,10000"));
  EXPECT_EQ(std::vector<std::string>{"Too many variations in this file. "
                                     "Conversion aborted."},
            t.Messages());
  EXPECT_EQ(size_t{kMaxRecords}, t.game.moves.size());
  EXPECT_EQ(traced + "HandleMove PD,W,9999\r\n", t.Trace());
}

TEST(MovesTest, RecordsBecomeNodesWithTheirEntries) {
  const std::string root = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n";
  struct Case {
    const char* name;
    std::string data, figure, moves;
  } cases[] = {
      {"added stones, a move with entries, a pass",
       "PP,B,0\nDD,B,0\nQP,W,1\nY,B,2\n", ".Text,1\nGood\n.#,1,19,A\n",
       "AB[pd][dp]\n;W[qd]C[Good]\nLB[aa:A]\n\n;B[]"},
      {"passes at the end", "QP,W,1\nYZ,B,2\nY,W,3\n", "",
       "\n;W[qd]\n;B[]\n;W[]"},
      {"an added stone without a point writes nothing",
       "PP,B,0\nY,B,0\nDD,B,0\n", "", "AB[pd][dp]"},
      {"a change of colour opens the other colour's property",
       "PP,B,0\nDD,B,0\nQP,W,0\n", "", "AB[pd][dp]AW[qd]"},
      {"mixed colours give one property each, in the order first met",
       "QP,W,0\nPP,B,0\nDD,W,0\nDP,B,0\n", "", "AW[qd][dp]AB[pd][dd]"},
      {"notes of move 0 in a game without added stones go on the root",
       "PP,B,1\n", ".Text,0\nintro\n.#,1,1,A\n.Text,1\nfirst\n",
       "C[intro]\nLB[as:A]\n\n;B[pd]C[first]\n"},
      {"a repeated number gives a node per record, entries after the last",
       "PP,B,4\nDD,B,4\n", ".Text,4\nc\n", "\n;B[pd]\n;B[dp]C[c]\n"},
      {"stones added after a move join its node, one C and one LB in it",
       "QP,W,1\nPP,B,0\nDD,W,0\n",
       ".Text,0\nzero\n.#,1,1,Z\n.Text,1\n.#,2,2,O\none\n",
       "\n;W[qd]AB[pd]AW[dp]LB[br:O][as:Z]\nC[one\nzero]\n"},
      {"labels made before the comment stay first",
       "QP,W,1\n", ".Text,1\n.#,1,1,X\nx\n", "\n;W[qd]LB[as:X]\nC[x]\n"},
      {"a label off the board is none, and does not come first",
       "QP,W,1\n", ".Text,1\n.#,20,1,X\nx\n.#,1,1,Y\n",
       "\n;W[qd]C[x]\nLB[as:Y]\n"},
      {"comment lines of a move join into one property where the first is",
       "QP,W,1\n", ".Text,1\na\n.#,1,1,X\nb\n.Text,2\nz\n.Text,1\nc\n",
       "\n;W[qd]C[a\nb\nc]\nLB[as:X]\n"},
      {"entries of interleaved moves keep their list order",
       "PP,B,1\nDD,W,2\nQP,B,3\n",
       ".Text,3\nx\n.Text,2\ny\n.Text,1\n.#,1,1,L\n.Text,3\n.#,2,2,M\n"
       ".Text,1\nw\n",
       "\n;B[pd]LB[as:L]\nC[w]\n\n;W[dp]C[y]\n\n;B[qd]C[x]\nLB[br:M]\n"},
      {"entries of a move that was not played are not written", "PP,B,1\n",
       ".Text,7\nlost\n.Text,0\nkept\n", "C[kept]\n\n;B[pd]"},
      {"no records: move 0 notes still on the root", "", ".Text,0\nonly\n",
       "C[only]\n"},
      {"row letters ']' and '\\' are escaped", "AW,B,1\nAX,W,2\n", "",
       "\n;B[a\\]]\n;W[a\\\\]"},
      // Runs of data lines are read without cutting them out first, up to
      // a line that only the line readers take: all are read alike.
      {"data lines of any form, long, with many digits or none",
       "PP,B1,1,10\r\nDD,W2, 2 ,x\nQQ,B1,\t0\nDP,W2,3" +
           std::string(40, ' ') +
           "\nPD,B1,1234567890\nQD,W\nCC,B,12345678901\n",
       ".Text,2\ntwo\n.Text,0\nadded\n.Text,1234567890\nbig\n.Text,0\nnone\n",
       "\n;B[pd]\n;W[dp]AB[qc]C[two\nadded\nnone]\n\n;W[dd]\n;B[pp]AW[qp]"
       "C[big\nadded\nnone]\n\n;B[cq]"},
      // Comment lines that follow each other in the record are kept as one
      // piece of its text; line ends, blanks, labels and blocks between
      // them keep them apart.
      {"comment lines next to each other and apart", "QP,W,1\n",
       ".Text,1\na\r\nb \nc\n\n d\ne:]\n.#,1,1,X\nf\n.Text,1\ng\n.EndText\nh\n",
       "\n;W[qd]C[a\nb\nc\n\nd\ne\\:\\]\nf\ng]\nLB[as:X]\n"},
      // Lines of 1,022 bytes come whole, the rest of longer ones after
      // them as a line of its own: here an empty one.
      {"comment lines at the length of a piece", "QP,W,1\n",
       ".Text,1\n" + std::string(1022, 'x') + "\n" + std::string(1023, 'y') +
           "\nz\n",
       "\n;W[qd]C[" + std::string(1022, 'x') + "\n" + std::string(1023, 'y') +
           "\n\nz]\n"},
      // The blank that ends the first piece is no line end.
      {"the pieces of a long comment line", "QP,W,1\n",
       ".Text,1\n" + std::string(1022, 'x') + " tail\n",
       "\n;W[qd]C[" + std::string(1022, 'x') + "\ntail]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    std::string sgf;
    ASSERT_EQ(0, ConvertText(t,
                             "[Data]\n" + c.data + "[Figure]\n" + c.figure,
                             &sgf));
    EXPECT_EQ(root + c.moves + ")\n", sgf);
    EXPECT_TRUE(CheckSgf(sgf).ok()) << CheckSgf(sgf).error;
  }
}

// The log names the step that writes the moves, after every line read.
TEST(MovesTest, WritingTheMovesIsTraced) {
  TestConversion t;
  t.conv.options.traceLevel = 4;
  std::string sgf;
  ASSERT_EQ(0, ConvertText(t, "[Data]\nPD,B,1\n[Figure]\n.Text,1\n", &sgf));
  EXPECT_TRUE(sgf.ends_with("\n;B[pp])\n"));
  EXPECT_EQ("ConvertGame\r\nHandleFigureLine.Text,1\r\nPrintMoveTree\r\n",
            t.Trace());
}

}  // namespace
}  // namespace kirato
