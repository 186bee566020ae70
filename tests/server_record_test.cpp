// GIB and NGF records, made up from what is known of the formats, against
// the whole SGF they must give and the messages they must show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/convert.h"

namespace kirato {
namespace {

constexpr char kTop[] = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[g.sgf]\n";

std::string Gib(std::vector<std::string> header, std::vector<std::string> game) {
  std::string out = "\\HS\r\n";
  for (const std::string& h : header) out += "\\[" + h + "\\]\r\n";
  out += "\\HE\r\n\\GS\r\n2 1 0\r\n";
  for (const std::string& g : game) out += g + "\r\n";
  return out + "\\GE\r\n";
}

// The twelve header lines of a plain NGF record, then its move lines.
std::string Ngf(std::string players, std::string handicap, std::string komi,
                std::string result, std::vector<std::string> moves) {
  std::string out = "Rated game\n19\n" + players + "\nhttp://go.example\n" +
                    handicap + "\n0\n" + komi + "\n20170316 [09:37]\n5\n" +
                    result + "\n" + std::to_string(moves.size()) + "\n";
  for (const std::string& m : moves) out += m + "\n";
  return out;
}

struct Case {
  const char* name;
  RecordFormat format;
  std::string record;
  std::string sgf;  // empty: refused
  std::vector<std::string> messages;
  CharsetMode charset = CharsetMode::kDecode;
};

void Check(const Case& c) {
  SCOPED_TRACE(c.name);
  ConvertOptions options;
  options.format = c.format;
  options.charset = c.charset;
  options.recordPath = "/in/g";
  GameResult r;
  EXPECT_EQ(!c.sgf.empty(), ConvertGame(c.record, "g.sgf", options, &r));
  if (!c.sgf.empty()) {
    EXPECT_EQ(c.sgf, r.sgf);
  }
  std::vector<std::string> messages;
  for (const Note& n : r.notes) {
    if (n.kind != NoteKind::kTrace) messages.push_back(n.text);
  }
  EXPECT_EQ(c.messages, messages);
}

TEST(ServerRecordTest, GibFieldsBecomeRootProperties) {
  const std::string top = kTop;
  const Case cases[] = {
      {"players, ranks, date, place, kind of game, komi, time, result",
       RecordFormat::kGib,
       Gib({"GAMEBLACKNAME=kim01 (15K)", "GAMEWHITENAME=park7(3D)",
            "GAMEDATE=2016- 3-26-17-29-25", "GAMEPLACE=Server",
            "GAMENAME=Free",
            "GAMEINFOMAIN=GTIME:1200-30-3,GRLT:1,ZIPSU:110,DUM:0,GONGJE:65"},
           {"INI 0 1 0 &4", "STO 0 1 1 15 3", "STO 0 2 2 3 15"}),
       top + "SZ[19]\nPB[kim01]\nBR[15k]\nPW[park7]\nWR[3d]\nDT[2016-03-26]\n"
             "EV[Free]\nPC[Server]\nKM[6.5]\nTM[1200]\nOT[3x30 byo-yomi]\n"
             "RE[W+11]\n\n;B[pd]\n;W[dp])\n", {}},
      {"handicap stones in the client's order, the compensation as komi",
       RecordFormat::kGib,
       Gib({"GAMEINFOMAIN=GRLT:3,DUM:5,GONGJE:0"},
           {"INI 0 1 3 &4", "STO 0 1 2 15 15"}),
       top + "SZ[19]\nHA[3]\nKM[0.5]\nRE[B+R]\nAB[dp][pd][dd]\n;W[pp])\n", {}},
      {"the compact tag when the main info is missing; an unknown result",
       RecordFormat::kGib,
       Gib({"GAMETAG=S1,G75,W255,Z0,T30-5-600,C2014:01:02:03:04"},
           {"STO 0 1 1 0 0"}),
       top + "SZ[19]\nDT[2014-01-02]\nKM[7.5]\nTM[600]\nOT[5x30 byo-yomi]\n"
             "\n;B[aa])\n", {}},
      {"results by time and on points", RecordFormat::kGib,
       Gib({"GAMEINFOMAIN=GRLT:8,GONGJE:65", "GAMEDATE=2012年11月22日 下午 6:3"},
           {}),
       top + "SZ[19]\nDT[2012-11-22]\nKM[6.5]\nRE[W+T]\n)\n", {}},
      {"no time limit, a pass, nine stones", RecordFormat::kGib,
       Gib({"GAMEINFOMAIN=GTIME:none,GRLT:0,ZIPSU:5"},
           {"INI 0 1 9 &4", "SKI 0 1", "STO 0 2 1 2 2"}),
       top + "SZ[19]\nHA[9]\nRE[B+0.5]\n"
             "AB[dp][pd][dd][pp][dj][pj][jd][jp][jj]\n;W[]\n;B[cc])\n", {}},
      {"what cannot be placed is left out and named once", RecordFormat::kGib,
       Gib({"GAMEFOO=1", "GAMEBLACKNAME=a"},
           {"STO 0 1 1 19 3", "XYZ 1", "STO 0 2 3 1 1", "STO 0 3 2 1 1"}),
       top + "SZ[19]\nPB[a]\n\n;W[bb])\n",
       {"Left out of /in/g: line 2 '\\[GAMEFOO=1\\]' and 3 more lines"}},
      {"moves spaced or numbered otherwise read alike; a short one is not",
       RecordFormat::kGib,
       Gib({}, {"STO\t0 1 1 15 3", "STO 0  1000 2  3 15 ", "STO 0 3 1 003 3 9",
                "STO 0 4 2 3"}),
       top + "SZ[19]\n\n;B[pd]\n;W[dp]\n;B[dd])\n",
       {"Left out of /in/g: line 8 'STO 0 4 2 3'"}},
      {"a UGF record named .gib", RecordFormat::kGib,
       "[Header]\nTitle=x\n[Data]\nPD,B1,1\n", "",
       {"No GIB game found in /in/g. Conversion aborted."}},
      {"Korean bytes told by the edition", RecordFormat::kGib,
       Gib({"GIBOKIND=Korea", "GAMEBLACKNAME=\xB9\xD9\xB5\xCF (1\xB1\xDE)"},
           {}),
       top + "CA[UTF-8]\nSZ[19]\nPB[바둑]\nBR[1k]\n)\n", {}},
      {"bytes that are no Korean text, named by their line",
       RecordFormat::kGib,
       Gib({"GIBOKIND=Korea", "GAMEBLACKNAME=\xB9\xD9\xFF"}, {}),
       top + "CA[UTF-8]\nSZ[19]\nPB[바\xEF\xBF\xBD]\n)\n",
       {"Invalid CP949 bytes in /in/g (the first in line 3) written as "
        "U+FFFD"}},
      {"Chinese bytes told by their words", RecordFormat::kGib,
       Gib({"GAMERESULT=\xB0\xD7\xD6\xD0\xC5\xCC\xCA\xA4",
            "GAMEWHITENAME=\xC0\xCF\xCA\xA6(5\xB6\xCE)"},
           {}),
       top + "CA[UTF-8]\nSZ[19]\nPW[老师]\nWR[5d]\n)\n", {}},
      {"bytes kept", RecordFormat::kGib,
       Gib({"GAMEBLACKNAME=\xB9\xD9\xB5\xCF"}, {}),
       top + "SZ[19]\nPB[\xB9\xD9\xB5\xCF]\n)\n", {}, CharsetMode::kKeep},
  };
  for (const Case& c : cases) Check(c);
}

TEST(ServerRecordTest, NgfFieldsAndMoves) {
  const std::string top = kTop;
  const std::string root = "SZ[19]\nPB[XYZ]\nBR[9p]\nPW[ABC]\nWR[7d?]\n"
                           "DT[2017-03-16]\nEV[Rated game]\n"
                           "PC[http\\://go.example]\n";
  const std::string players = "ABC         7D*\nXYZ         9DP";
  const Case cases[] = {
      {"an even game's whole komi gets its half point", RecordFormat::kNgf,
       Ngf(players, "0", "7", "Black wins by 0.5!", {"PMABBREER", "PMACWDDDD"}),
       top + root + "KM[7.5]\nRE[B+0.5]\n\n;B[qd]\n;W[cc])\n", {}},
      {"handicap stones, resignation, a pass", RecordFormat::kNgf,
       Ngf(players, "2", "0", "White wins by  resign!", {"PMABWQQQQ", "PMACBAAAA"}),
       top + root + "HA[2]\nKM[0]\nRE[W+R]\nAB[dp][pd]\n;W[pp]\n;B[])\n", {}},
      {"a loss on time, a damaged move left out", RecordFormat::kNgf,
       Ngf(players, "0", "6", "Black lose by time!", {"PMABBREEX", "PMACWDDDD"}),
       top + root + "KM[6.5]\nRE[W+T]\n\n;W[cc])\n",
       {"Left out of /in/g: line 13 'PMABBREEX'"}},
      {"the older GI lines, and what follows the moves", RecordFormat::kNgf,
       "GIClub\nGIAn 3D\nGIBo 2K\nGI\nGI\nGI2006-9-5\nGI19\nGI0\nGI6\n"
       "PMABBDDDD\nGI1\nIDB[211] B+R [EndTxt]\n",
       top + "SZ[19]\nPB[Bo]\nBR[2k]\nPW[An]\nWR[3d]\nDT[2006-09-05]\n"
             "EV[Club]\nKM[6.5]\n\n;B[cc])\n", {}},
      {"move lines cut, ended by CR LF, or by the end of the text",
       RecordFormat::kNgf,
       [&] {
         std::string record = Ngf(players, "0", "0", "",
                                  {"PMABBRE\nE", "PMACWDDDD\r", "PMADBCCCC"});
         record.pop_back();
         return record;
       }(),
       top + root + "KM[0]\n\n;W[cc]\n;B[bb])\n",
       {"Left out of /in/g: line 13 'PMABBRE' and 1 more line"}},
      {"no NGF record", RecordFormat::kNgf, "just\nsome\ntext\n", "",
       {"No NGF game found in /in/g. Conversion aborted."}},
  };
  for (const Case& c : cases) Check(c);
}

}  // namespace
}  // namespace kirato
