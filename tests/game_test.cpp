#include <gtest/gtest.h>

#include "convert_helpers.h"

namespace kirato {
namespace {

constexpr char kRoot[] = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n";

TEST(GameTest, SectionsDecideWhereLinesGo) {
  struct Case {
    const char* name;
    std::string ugf;
    int result;
    std::string body;  // between the root opening and the end
  } cases[] = {
      {"no section at all", "Title=Ignored\nPD,B1,1\n", 0, ""},
      {"lines before the first section are ignored",
       "Title=Nope\n[Header]\nTitle=Yes\n", 0, "EV[Yes]\n"},
      {"an unknown section silences lines until a known one",
       "[Header]\nTitle=A\n[Remote]\nTitle=B\n[HEADER]\nTitle=C\n", 0,
       "EV[A\nC]\n"},
      {"section lines in any case, indented, with text after them",
       "  [header] trailing\nTitle=T\n\t[DATA]x\nPD,B1,1\n", 0,
       "EV[T]\n\n;B[pp]"},
      {"a blank line in the header is harmless",
       "[Header]\n\n   \nTitle=T\n", 0, "EV[T]\n"},
      {"moves follow the header wherever the sections stand",
       "[Data]\nPD,B1,1\n[Header]\nTitle=Late\n", 0, "EV[Late]\n\n;B[pp]"},
      {"a blank data line stops the game", "[Data]\nPD,B1,1\n\n", 1, ""},
      {"a failing header line ends the output after the lines before it",
       "[Header]\nTitle=A\nSize=27\nTitle=B\n", 1, "EV[A]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    std::string sgf;
    EXPECT_EQ(c.result, ConvertText(t, c.ugf, &sgf));
    EXPECT_EQ(kRoot + c.body + (c.result == 0 ? ")\n" : ""), sgf);
  }
}

TEST(GameTest, WorkedExample) {
  TestConversion t;
  std::string sgf;
  ASSERT_EQ(0, ConvertText(t,
                           "[Header]\r\nTitle=Club Cup\r\nSize=19\r\n"
                           "PlayerB=Alpha,3d\r\nPlayerW=Beta,2k\r\n"
                           "Hdcp=0,6.5\r\nWinner=B,C\r\n[Data]\r\n"
                           "PD,B1,1,0\r\nDD,W2,2,0\r\n[Figure]\r\n"
                           ".Text,1\r\nGood start\r\n.EndText\r\n",
                           &sgf));
  EXPECT_EQ(
      "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\nEV[Club Cup]\nSZ[19]\n"
      "PB[Alpha]\nBR[3d]\nPW[Beta]\nWR[2k]\nKM[6.5]\nRE[B+R]\n"
      "\n;B[pp]C[Good start]\n\n;W[dp])\n",
      sgf);
  EXPECT_TRUE(t.Messages().empty());
}

TEST(GameTest, GameNameComesFromTheOutputPath) {
  struct Case {
    const char* path;
    const char* gn;
  } cases[] = {
      {"/out/game.sgf", "GN[game.sgf]"},
      {"game.sgf", "GN[game.sgf]"},  // no directory: the whole path
      {"/out/a:b]c\\d.sgf", "GN[a\\:b\\]c\\\\d.sgf]"},
      {"C:\\sgf\\g.sgf", "GN[C\\:\\\\sgf\\\\g.sgf]"},  // '\' separates nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TestConversion t;
    std::string sgf;
    ConvertText(t, "", &sgf, c.path);
    EXPECT_EQ(std::string("(;GM[1]FF[4]AP[kirato:1.0]\n") + c.gn + "\n)\n",
              sgf);
  }
}

TEST(GameTest, LongLinesArriveInPieces) {
  TestConversion t;
  std::string sgf;
  // 6 + 1494 = 1500 characters: the handler sees 1023, then 477.
  ConvertText(t, "[Header]\nTitle=" + std::string(1494, 'x') + "\n", &sgf);
  EXPECT_EQ(std::string(kRoot) + "EV[" + std::string(1017, 'x') + "]\n)\n",
            sgf);
  EXPECT_EQ(std::vector<std::string>{"Unknown field: " +
                                     std::string(477, 'x')},
            t.Messages());
}

TEST(GameTest, HighBytesAreNeverWhitespace) {
  TestConversion t;
  std::string sgf;
  ConvertText(t, "[Header]\nTitle=\xA0" "Cup\xA0\x85\n", &sgf);
  EXPECT_EQ(std::string(kRoot) + "EV[\xA0" "Cup\xA0\x85]\n)\n", sgf);
}

TEST(GameTest, TraceLines) {
  TestConversion t;
  t.conv.options.traceLevel = 9;
  std::string sgf;
  ConvertText(t,
              "junk\r\n [Header]\n[Data]\n[Figure]\n[ReviewNode]\n"
              "[ReviewComment]\n",
              &sgf);
  EXPECT_EQ(
      "ConvertGame\r\n"
      "ConvertGame::readline junk\n\r\n"
      "ConvertGame::readline junk\r\n"
      "ConvertGame::readline  [Header]\n\r\n"
      "ConvertGame::readline  [Header]\r\n"
      "ConvertGame::inheader set\r\n"
      "ConvertGame::readline [Data]\n\r\n"
      "ConvertGame::readline [Data]\r\n"
      "ConvertGame::indata set\r\n"
      "ConvertGame::readline [Figure]\n\r\n"
      "ConvertGame::readline [Figure]\r\n"
      "ConvertGame::infigure set\r\n"
      "ConvertGame::readline [ReviewNode]\n\r\n"
      "ConvertGame::readline [ReviewNode]\r\n"
      "ConvertGame::inreviewnode set\r\n"
      "ConvertGame::readline [ReviewComment]\n\r\n"
      "ConvertGame::readline [ReviewComment]\r\n"
      "ConvertGame::inreviewcomment set\r\n"
      "PrintMoveTree\r\n",
      t.Trace());

  TestConversion quiet;
  quiet.conv.options.traceLevel = 3;
  ConvertText(quiet, "[Header]\n", &sgf);
  EXPECT_EQ("", quiet.Trace());
}

TEST(GameTest, NothingCarriesOverToTheNextGame) {
  TestConversion t;
  std::string sgf;
  // The first game fails inside an open text block on a 9-line board.
  EXPECT_EQ(1, ConvertText(t,
                           "[Header]\nSize=9\n[Data]\nPD,B1,1\n[Figure]\n"
                           ".Text,1\nfirst\n[Data]\nzz\n",
                           &sgf));
  EXPECT_EQ(0, ConvertText(t,
                           "[Figure]\nstray comment\n[Data]\nPD,B1,1\n", &sgf));
  EXPECT_EQ(std::string(kRoot) + "\n;B[pp])\n", sgf);
}

}  // namespace
}  // namespace kirato
