#include <gtest/gtest.h>

#include "convert_helpers.h"

namespace kirato {
namespace {

using namespace std::literals;

constexpr char kRoot[] = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n";

std::string Repeated(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out.append(piece);
  return out;
}

TEST(GameTest, SectionsDecideWhereLinesGo) {
  struct Case {
    const char* name;
    std::string ugf;
    int result;
    std::string body;  // between the root opening and the end
  } cases[] = {
      {"no section at all", "Title=Ignored\nPD,B1,1\n", 1, ""},
      {"an empty record", "", 1, ""},
      {"a section this converter does not read is still a record",
       "[ReviewNode]\nx\n", 0, ""},
      {"lines end in cr alone", "[Header]\rTitle=T\r[Data]\rPD,B1,1\r", 0,
       "EV[T]\n\n;B[pp]"},
      {"nul bytes never reach the sgf",
       "[Header]\nTitle=a\0b\n[Figure]\n.Text,0\n\0\n"s, 0,
       "EV[ab]\nC[]\n"},
      {"nothing after a ctrl-z byte counts, however far in",
       "[Header]\nTitle=" + std::string(40, 'x') + "\x1A\x95\x5c\0\n[x]\n"s,
       0, "EV[" + std::string(40, 'x') + "]\n"},
      {"a nul byte far into the record", "[Header]\nTitle=" +
       std::string(40, 'y') + "\0z\n"s, 0, "EV[" + std::string(40, 'y') +
       "z]\n"},
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
      // Lines read without the line readers count against the limit too.
      {"9999 comment lines are a game",
       "[Figure]\n.Text,0\n" + Repeated("c\n", kMaxRecords), 0,
       "C[" + Repeated("c\n", kMaxRecords - 1) + "c]\n"},
      {"one comment line more is too many",
       "[Figure]\n.Text,0\n" + Repeated("c\n", kMaxRecords + 1), 1, ""},
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
      // A name that is not UTF-8 is read as the records are.
      {"/out/囲碁.sgf", "GN[囲碁.sgf]\nCA[UTF-8]"},
      {"/out/\x88\xcd\x8c\xe9.sgf", "GN[囲碁.sgf]\nCA[UTF-8]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TestConversion t;
    std::string sgf;
    ConvertText(t, "[Header]\n", &sgf, c.path);
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
  t.conv.options.charset = CharsetMode::kKeep;
  std::string sgf;
  ConvertText(t, "[Header]\nTitle=\xA0" "Cup\xA0\x85\n", &sgf);
  EXPECT_EQ(std::string(kRoot) + "EV[\xA0" "Cup\xA0\x85]\n)\n", sgf);
}

// Japanese text as club software writes it, in Shift-JIS (CP932): ソ and ゾ
// end in the bytes '\' and ']', 表 in '\'.
constexpr char kSjisGame[] =
    "[Header]\r\nLang=SJIS\r\nPlayerB=\x83\x5c\x83\x5d,\x8e\xb5\x92\x69\r\n"
    "[Data]\r\nPD,B1,1\r\n[Figure]\r\n.Text,1\r\n\x95\x5c]\r\n"
    ".#,1,1,\x8f\x5c\r\n";

// `n` copies of `piece`, one after the other.
std::string Times(int n, std::string_view piece) {
  std::string out;
  for (int i = 0; i < n; ++i) out.append(piece);
  return out;
}

TEST(GameTest, TextAndItsMessages) {
  const std::string kNoSection =
      "No UGF section found in /in/game.ugf. Conversion aborted.";
  struct Case {
    const char* name;
    std::string ugf;
    std::string body;  // what follows the game name; empty: refused
    std::vector<std::string> messages = {};
    CharsetMode mode = CharsetMode::kDecode;
  } cases[] = {
      {"shift-jis names, ranks, comments and labels", kSjisGame,
       "CA[UTF-8]\nPB[ソゾ]\nBR[七段]\n\n;B[pp]C[表\\]]\nLB[as:十]\n)\n"},
      {"raw bytes kept", kSjisGame,
       "PB[\x83\\\\\x83\\]]\nBR[\x8e\xb5\x92\x69]\n"
       "\n;B[pp]C[\x95\\\\\\]]\nLB[as:\x8f\\\\]\n)\n",
       {}, CharsetMode::kKeep},
      {"pure ascii is written as it is", "[Header]\nLang=SJIS\nTitle=a]b\n",
       "EV[a\\]b]\n)\n"},
      {"high bytes only where nothing is read",
       "\x83\x5c\n[Header]\nTitle=T\n", "EV[T]\n)\n"},
      {"utf-8 without Lang", "[Header]\nTitle=表 Cup\n",
       "CA[UTF-8]\nEV[表 Cup]\n)\n"},
      {"no utf-8 without Lang: shift-jis", "[Header]\nTitle=\x95\x5c\n",
       "CA[UTF-8]\nEV[表]\n)\n"},
      {"unknown Lang: detected", "[Header]\nLang=JPN\nTitle=\x95\x5c\n",
       "CA[UTF-8]\nEV[表]\n)\n"},
      {"Lang in any case, after the text",
       "[Header]\nTitle=\xc9\xbd\nLang=euc-jp\n", "CA[UTF-8]\nEV[表]\n)\n"},
      {"Lang outside the header is not the record's",
       "[Figure]\nLang=EUC-JP\n[Header]\nTitle=\x95\x5c\n",
       "CA[UTF-8]\nEV[表]\n)\n"},
      {"bad shift-jis",
       "[Header]\nLang=Shift_JIS\nTitle=a\nPlace=\x85\x40\x83\n",
       "CA[UTF-8]\nEV[a]\nPC[\xEF\xBF\xBD@\xEF\xBF\xBD]\n)\n",
       {"Invalid CP932 bytes in /in/game.ugf (the first in line 4) written "
        "as U+FFFD"}},
      // Line ends are counted sixteen bytes at a time, 4,080 bytes a round.
      {"bad shift-jis after 6,000 bytes",
       "[Header]\nLang=SJIS\n" + Times(300, "Title=abcdefghijklmn\n") +
           "Place=\x85\x40\n",
       "CA[UTF-8]\nEV[" + Times(299, "abcdefghijklmn\n") +
           "abcdefghijklmn]\nPC[\xEF\xBF\xBD@]\n)\n",
       {"Invalid CP932 bytes in /in/game.ugf (the first in line 303) written "
        "as U+FFFD"}},
      {"bad utf-8", "[Header]\rLang=utf8\rTitle=\x95\x5c\r",
       "CA[UTF-8]\nEV[\xEF\xBF\xBD\\\\]\n)\n",
       {"Invalid UTF-8 bytes in /in/game.ugf (the first in line 3) written "
        "as U+FFFD"}},
      // 7 + 338 * 3 = 1021 bytes fit into the first piece, the next
      // character does not.
      {"long lines are cut between characters",
       "[Header]\nTitle=x" + Times(400, "表"),
       "CA[UTF-8]\nEV[x" + Times(338, "表") + "]\n)\n",
       {"Unknown field: " + Times(62, "表")}},
      // Windows Notepad puts a byte order mark before UTF-8 text.
      {"a byte order mark is left out and means utf-8",
       "\xEF\xBB\xBF[Header]\nSize=9\nPlayerB=山田,2d\n[Data]\nCC,B,1\n",
       "CA[UTF-8]\nSZ[9]\nPB[山田]\nBR[2d]\n\n;B[cg])\n"},
      {"a byte order mark outweighs Lang",
       "\xEF\xBB\xBF[Header]\nLang=SJIS\nTitle=表\n", "CA[UTF-8]\nEV[表]\n)\n"},
      {"bytes that are no utf-8 after a byte order mark",
       "\xEF\xBB\xBF[Header]\nTitle=\x95\x5c\n",
       "CA[UTF-8]\nEV[\xEF\xBF\xBD\\\\]\n)\n",
       {"Invalid UTF-8 bytes in /in/game.ugf (the first in line 2) written "
        "as U+FFFD"}},
      {"a byte order mark left out of kept bytes",
       "\xEF\xBB\xBF[Header]\nSize=9\n", "SZ[9]\n)\n", {},
       CharsetMode::kKeep},
      {"a coded record after a byte order mark is refused",
       "\xEF\xBB\xBF[Header]\nCrypt=x\n[Data]\nPD,B,1\n", "",
       {"Coded ugf file: Crypt=x"}},
      {"a byte order mark only counts at the start",
       "[Header]\n\xEF\xBB\xBFTitle=x\n", ")\n",
       {"Unknown field: \xEF\xBB\xBFTitle=x"}},
      // The notes of move 0 go on every node with stones added: 2,000 such
      // nodes and 40 KB of notes would ask for 80 MB.
      {"notes repeated past any game's size",
       "[Data]\n" + Times(2000, "AA,B,1\nBB,W,0\n") + "[Figure]\n.Text,0\n" +
           Times(40, std::string(1000, 'x') + "\n"),
       "", {"The SGF of this file would be too large. Conversion aborted."}},
      {"binary bytes are no record", "binary\x01\xff\n", "", {kNoSection}},
      {"nor is a datafile", "OUT=/sgf\nIN=/ugf\n[x]\n", "", {kNoSection}},
      {"no record is decoded", "\x85\x40\n", "", {kNoSection}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    t.conv.options.recordPath = "/in/game.ugf";
    t.conv.options.charset = c.mode;
    std::string sgf;
    EXPECT_EQ(c.body.empty() ? 1 : 0, ConvertText(t, c.ugf, &sgf));
    EXPECT_EQ(kRoot + c.body, sgf);
    EXPECT_EQ(c.messages, t.Messages());
  }
}

// A header line of megabytes arrives as thousands of pieces, each an
// unknown field: twenty are shown, then their number.
TEST(GameTest, MessagesOfOneKindAreCounted) {
  const std::string piece(1023, 'x');
  struct Case {
    int pieces;
    std::string after;
    std::vector<std::string> last;
  } cases[] = {
      {20, "", {}},
      {25, "", {"... and 5 more like this in /in/game.ugf"}},
      {22, "\nSize=1",
       {"Illegal board size: 1", "... and 2 more like this in /in/game.ugf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pieces);
    TestConversion t;
    t.conv.options.recordPath = "/in/game.ugf";
    std::string sgf;
    ConvertText(t, "[Header]\n" + Times(c.pieces, piece) + c.after, &sgf);
    std::vector<std::string> shown(20, "Unknown field: " + piece);
    shown.insert(shown.end(), c.last.begin(), c.last.end());
    EXPECT_EQ(shown, t.Messages());
  }
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
