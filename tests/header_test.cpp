#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "convert_helpers.h"
#include "sgf_check.h"

namespace kirato {
namespace {

using namespace std::literals;

struct Outcome {
  int result = 0;
  std::string out;
};

// Hands the handler an exact-size heap copy of the line, so that a read past
// its end lands in the sanitizer's red zone instead of a string's spare room.
Outcome Handle(TestConversion& t, std::string_view line) {
  std::unique_ptr<char[]> copy(new char[line.size()]);
  line.copy(copy.get(), line.size());
  Outcome o;
  o.result = t.Read(ReadHeaderLine, {copy.get(), line.size()}) ? 0 : 1;
  o.out = t.RootProperties();
  return o;
}

struct Case {
  const char* name;
  std::string_view line;
  std::string_view out;
  int result = 0;
  std::string_view message = {};
  int boardSize = 19;
};

// Numbers far beyond any integer type.
const std::string kNines(100, '9');
const std::string kHugeHandicap = "Hdcp=" + kNines + ",6.5";
const std::string kHugeTime = "Ptime=;" + kNines;
const std::string kHugeSize = "Size=" + kNines;

const Case kCases[] = {
    // Keys: prefixes, in any ASCII letter case, first match wins.
    {"longer key", "Titles=X", "EV[X]\n"},
    {"upper case key", "TITLE=X", "EV[X]\n"},
    {"Ver matches Version", "Version=2", ""},
    {"key without =", "Title", ""},
    {"unknown key", "Foo", "", 0, "Unknown field: Foo"},
    {"key cut short", "Tit=X", "", 0, "Unknown field: Tit=X"},
    {"high byte is no letter", "Titl\xC5=X", "", 0, "Unknown field: Titl\xC5=X"},
    {"NUL kept in message", "Fo\0o=1"sv, "", 0, "Unknown field: Fo\0o=1"sv},
    {"empty line", "", ""},
    {"Commentator", "Commentator=Kim", "AN[Kim]\n"},
    {"Comment", "Comment=nice", "GC[nice]\n"},
    {"Commentato is a Comment", "Commentato=x", "GC[x]\n"},
    {"Code before Coded", "Coded=1", ""},
    {"ignored keys", "Lang=JPN", ""},
    // Free text.
    {"Copyright", "Copyright=(c) me", "CP[(c) me]\n"},
    {"Place escaped", "Place=a:b]c\\d", "PC[a\\:b\\]c\\\\d]\n"},
    {"Writer", "Writer=w", "US[w]\n"},
    {"leading commas and blanks", "Title=, , Cup", "EV[Cup]\n"},
    {"inner commas kept", "Title=Cup, final", "EV[Cup, final]\n"},
    {"only padding", "Title=, ,,", ""},
    {"blank around =", "Title =\tCup", "EV[Cup]\n"},
    {"high bytes untouched", "Title=\xA0" "Cup\xE9", "EV[\xA0" "Cup\xE9]\n"},
    {"NUL kept", "Title=a\0b"sv, "EV[a\0b]\n"sv},
    // Date.
    {"date", "Date=2006/01/15", "DT[2006-01-15]\n"},
    {"second date", "Date=2006-01-15,10:00,2006-01-16", "DT[2006-01-15,2006-01-16]\n"},
    {"same second date", "Date=2006.01.15,,2006.01.15", "DT[2006-01-15]\n"},
    {"one comma only", "Date=2006-01-15,2006-01-16", "DT[2006-01-15]\n"},
    {"short month", "Date=2006/1/15", ""},
    {"no separators", "Date=20060115", ""},
    {"digits as separators", "Date=2006101015", "DT[2006-01-15]\n"},
    {"ends where separator due", "Date=2006-01", ""},
    {"ends after separator", "Date=2006-01-", ""},
    {"second date cut", "Date=2006-01-15,x,2006-01", "DT[2006-01-15]\n"},
    {"no digit after comma", "Date=2006-01-15,x,", "DT[2006-01-15]\n"},
    {"words before second", "Date=2006-01-15,x,to 2006-01-16", "DT[2006-01-15,2006-01-16]\n"},
    // Handicap and komi.
    {"komi", "Hdcp=0,6.5", "KM[6.5]\n"},
    {"handicap and komi", "Hdcp=2,0.5", "HA[2]\nKM[0.5]\n"},
    {"comma as decimal mark", "Hdcp=1,6,5", "KM[6.5]\n"},
    {"negative komi", "Hdcp=0,-3.5", "KM[-3.5]\n"},
    {"no handicap", "Hdcp=,6.5", "KM[6.5]\n"},
    {"handicap only", "Hdcp=3", "HA[3]\n"},
    {"handicap 1", "Hdcp=1", ""},
    {"komi not a number", "Hdcp=0,x", ""},
    {"komi of a decimal mark", "Hdcp=0,.", ""},
    // KM holds an SGF number: digits before the decimal mark, some after it.
    {"komi after the mark", "Hdcp=0,.5", "KM[0.5]\n"},
    {"negative komi after the mark", "Hdcp=0,-.5", "KM[-0.5]\n"},
    {"komi ending in the mark", "Hdcp=0,5.", "KM[5]\n"},
    {"komi ending in a comma mark", "Hdcp=2,5,", "HA[2]\nKM[5]\n"},
    {"ends after comma", "Hdcp=2,", "HA[2]\n"},
    {"ends after minus", "Hdcp=0,-", ""},
    {"blank before comma", "Hdcp=2 ,,6.5", "HA[2]\nKM[6.5]\n"},
    {"high byte is no digit", "Hdcp=\xB2,6.5", "KM[6.5]\n"},
    {"huge handicap", kHugeHandicap, "HA[2147483647]\nKM[6.5]\n"},
    // Players.
    {"rank letter folded", "PlayerB=Black,5D", "PB[Black]\nBR[5d]\n"},
    {"blank and mark", "PlayerW=White, 3k*", "PW[White]\nWR[3k*]\n"},
    {"mark after letters", "PlayerB=Black,5dan?", "PB[Black]\nBR[5d?]\n"},
    {"comma before mark", "PlayerW=White,1p,+", "PW[White]\nWR[1p]\n"},
    {"rank in words", "PlayerB=Black,4 dan", "PB[Black]\nBR[4 dan]\n"},
    {"rank in words", "PlayerB=Black,pro", "PB[Black]\nBR[pro]\n"},
    {"title as rank", "PlayerW=K.Yamashita,Gosei,0,", "PW[K.Yamashita]\nWR[Gosei]\n"},
    {"rank in kanji", "PlayerB=山田,七段", "PB[山田]\nBR[七段]\n"},
    {"rank words trimmed", "PlayerW=W, Meijin \t,x", "PW[W]\nWR[Meijin]\n"},
    {"rank words escaped", "PlayerB=B,a]b:c", "PB[B]\nBR[a\\]b\\:c]\n"},
    {"blank rank", "PlayerB=B,  ,3d", "PB[B]\n"},
    {"no name", "PlayerB=,5d", ""},
    {"name escaped", "PlayerW=a:b", "PW[a\\:b]\n"},
    {"digits end rank", "PlayerB=Black,5", "PB[Black]\nBR[5]\n"},
    {"comma ends value", "PlayerB=Black,", "PB[Black]\n"},
    {"empty name", "PlayerW", "PW[]\n"},
    {"colour folded", "playerb=x", "PB[x]\n"},
    {"other letter", "PlayerX=x", ""},
    {"PlayerC is no place", "PlayerC=Carl,2k", ""},
    {"bare Player", "Player", ""},
    {"no colour", "Player=Black,5d", ""},
    {"colour opens node", "Player;=x", ""},
    {"colour opens tree", "Player(=x", ""},
    {"colour high byte", "Player\xE9=x", ""},
    {"bracket in rank words", "PlayerB=Black,4 da]n", "PB[Black]\nBR[4 da\\]n]\n"},
    {"high byte no rank digit", "PlayerB=x,\xB2" "d", "PB[x]\nBR[\xB2" "d]\n"},
    // Rule set.
    {"Japanese", "Rule=jpn", "RU[Japanese]\n"},
    {"Chinese", "Rules=Chinese", "RU[Chinese]\n"},
    {"Other", "Rule=AR", "RU[Other]\n"},
    {"PairGo", "Rule=N", "RU[PairGo]\n"},
    {"unknown rules", "Rule=ING", ""},
    {"rule cut short", "Rule=JP", ""},
    // Time limit.
    {"minutes to seconds", "Ptime=1;90", "TM[5400]\n"},
    {"no semicolon", "Ptime=90", ""},
    {"leading zero", "Ptime=1;090", ""},
    {"ends after semicolon", "Ptime=1;", ""},
    {"huge time", kHugeTime, "TM[128849018820]\n"},
    // Board size.
    {"size 19", "Size=19", "SZ[19]\n", 0, {}, 19},
    {"size 2", "Size=2", "SZ[2]\n", 0, {}, 2},
    {"size 26", "Size=26", "SZ[26]\n", 0, {}, 26},
    {"size 13x13", "Size=13x13", "SZ[13]\n", 0, {}, 13},
    {"size 1", "Size=1", "", 1, "Illegal board size: 1", 1},
    {"size 27", "Size=27", "", 1, "Illegal board size: 27", 27},
    {"size not a number", "Size=x", ""},
    {"huge size", kHugeSize, "", 1,
     "Illegal board size: 2147483647", 2147483647},
    // Result.
    {"resignation", "Winner=B,C", "RE[B+R]\n"},
    {"margin", "Winner=w,3.5", "RE[W+3.5]\n"},
    {"plus and comma", "Winner=W,+6,5", "RE[W+6.5]\n"},
    {"time", "Winner=B,T", "RE[B+T]\n"},
    {"margin then time", "Winner=W,3.5t", "RE[W+3.5T]\n"},
    {"winner only", "Winner=B", "RE[B+]\n"},
    {"winner and comma", "Winner=B,", "RE[B+]\n"},
    {"draw", "Winner=Draw", "RE[Draw]\n"},
    {"void", "Winner=o", "RE[void]\n"},
    {"unknown result", "Winner=X", ""},
    {"bracket stops margin", "Winner=B,3]5", "RE[B+3]\n"},
    // Checks.
    {"plain file", "Crypt=xPLAIN_UGFx", ""},
    {"coded file", "Crypt=plain_ugf", "", 1, "Coded ugf file: Crypt=plain_ugf"},
    {"coded without value", "Crypt", "", 1, "Coded ugf file: Crypt"},
    {"IGS coordinates", "CoordinateType=igs", ""},
    {"JPN coordinates", "CoordinateType=JPNX", ""},
    {"other coordinates", "CoordinateType=IG", "", 1, "Unknown coordinatetype"},
};

TEST(HeaderTest, Cases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    const Outcome o = Handle(t, c.line);
    EXPECT_EQ(c.result, o.result);
    EXPECT_EQ(c.out, o.out);
    if (c.message.empty()) {
      EXPECT_TRUE(t.Messages().empty());
    } else {
      ASSERT_EQ(1u, t.Messages().size());
      EXPECT_EQ(c.message, t.Messages()[0]);
    }
    EXPECT_EQ(c.boardSize, t.reader.boardSize);
  }
}

// Property lines NAME[value], NAME of capital letters, ']' and '\' in the
// value escaped: what an SGF reader needs to find the properties again.
bool IsWellFormed(std::string_view sgf) {
  size_t pos = 0;
  while (pos < sgf.size()) {
    const size_t start = pos;
    while (pos < sgf.size() && IsUpperLetter(sgf[pos])) ++pos;
    if (pos == start || pos >= sgf.size() || sgf[pos++] != '[') return false;
    while (pos < sgf.size() && sgf[pos] != ']') pos += sgf[pos] == '\\' ? 2 : 1;
    if (pos >= sgf.size() || sgf.substr(pos, 2) != "]\n") return false;
    pos += 2;
  }
  return true;
}

// Every case and a few hostile lines, cut at every length: the handler must
// never read past the end and never write a broken property.
TEST(HeaderTest, EveryPrefixStaysInsideAndWellFormed) {
  std::vector<std::string> lines = {
      "PlayerB=a]b\\,4 ]\\:,x", "Title=]\\", "Winner=W,+]", "Hdcp=9,-]",
      "Date=2006]01]15,],2006]01]16", "Player\\=x", "Player]=x",
      "Ptime=x;9]", "Size=2]",
  };
  for (const Case& c : kCases) lines.emplace_back(c.line);
  for (const std::string& line : lines) {
    for (size_t n = 0; n <= line.size(); ++n) {
      const std::string_view prefix = std::string_view(line).substr(0, n);
      SCOPED_TRACE(std::string(prefix));
      TestConversion t;
      EXPECT_TRUE(IsWellFormed(Handle(t, prefix).out));
    }
  }
}

TEST(HeaderTest, TraceLine) {
  struct {
    const char* name;
    int level;
    std::string_view line;
    std::string_view log;
  } cases[] = {
      {"line then value", 8, "Title=Cup", "HandleHeaderField: Title=CupCup\r\n"},
      {"no value", 9, "Foo", "HandleHeaderField: Foo\r\n"},
      {"empty line", 9, "", ""},
      {"below level", 7, "Title=Cup", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    t.conv.options.traceLevel = c.level;
    Handle(t, c.line);
    EXPECT_EQ(c.log, t.Trace());
  }
}

constexpr std::string_view kRootStart =
    "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n";

TEST(HeaderTest, ConvertedGames) {
  struct {
    const char* name;
    std::string ugf;
    int result;
    std::string root;  // what follows the game name
  } cases[] = {
      {"worked example",
       "[Header]\nTitle=Club Cup\nSize=19\nPlayerB=Alpha,3d\nPlayerW=Beta,2k\n"
       "Hdcp=0,6.5\nWinner=B,C\n[Data]\nPD,B1,1,0\nDD,W2,2,0\n[Figure]\n"
       ".Text,1\nGood start\n.EndText\n",
       0, "EV[Club Cup]\nSZ[19]\nPB[Alpha]\nBR[3d]\nPW[Beta]\nWR[2k]\n"
          "KM[6.5]\nRE[B+R]\n"},
      {"repeated text key adds a line where the key first stood",
       "[Header]\nComment=a\nCommentator=b\nComment=c]\n", 0,
       "GC[a\nc\\]]\nAN[b]\n"},
      {"other repeated keys replace all the earlier line wrote",
       "[Header]\nSize=9\nHdcp=2,0.5\nWinner=B,C\nSize=13\nHdcp=3\n", 0,
       "SZ[13]\nHA[3]\nRE[B+R]\n"},
      {"no stale handicap", "[Header]\nHdcp=3,0.5\nHdcp=0,6.5\n", 0,
       "KM[6.5]\n"},
      {"a repeated player without a rank has none",
       "[Header]\nPlayerB=Ann,2d\nPlayerW=Bo,1k\nPlayerB=Cy\n", 0,
       "PB[Cy]\nPW[Bo]\nWR[1k]\n"},
      {"a line that writes nothing replaces all",
       "[Header]\nDate=2006-01-15\nTitle=T\nDate=soon\n", 0, "EV[T]\n"},
      {"an unreadable size keeps the board moves are read on",
       "[Header]\nSize=9\nSize=x\n", 0, "SZ[9]\n"},
      {"other letters after Player replace nothing",
       "[Header]\nPlace=Tokyo\nPlayerB=Ann,2d\nPlayerC=Carl,2k\n", 0,
       "PC[Tokyo]\nPB[Ann]\nBR[2d]\n"},
      {"illegal size ends the game", "[Header]\nTitle=A\nSize=27\nTitle=B\n",
       1, "EV[A]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    std::string sgf;
    EXPECT_EQ(c.result, ConvertText(t, c.ugf, &sgf));
    const std::string root = std::string(kRootStart) + c.root;
    ASSERT_TRUE(sgf.starts_with(root)) << sgf;
    const std::string_view rest = std::string_view(sgf).substr(root.size());
    // Nothing but move nodes or the end may follow the root properties.
    if (c.result == 0) {
      EXPECT_TRUE(rest.starts_with("\n;") || rest == ")\n") << rest;
      EXPECT_TRUE(CheckSgf(sgf).ok()) << CheckSgf(sgf).error;
    } else {
      EXPECT_EQ("", rest);
      EXPECT_TRUE(CheckSgf(sgf).validPrefix) << CheckSgf(sgf).error;
    }
  }
}

}  // namespace
}  // namespace kirato
