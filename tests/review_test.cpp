#include <gtest/gtest.h>

#include <algorithm>

#include "convert_helpers.h"
#include "sgf_check.h"

namespace kirato {
namespace {

// Review lines come first, so that node line i (from 1) is record line i + 3;
// the game's three moves on nine lines are B[cg], W[gc], B[gg].
constexpr char kHead[] = "[Header]\nSize=9\n[ReviewNode]\n";
constexpr char kMoves[] = "[Data]\nCC,B,1\nGG,W,2\nGC,B,3\n";
constexpr char kRoot[] = "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\nSZ[9]\n";

std::string ConvertReview(TestConversion& t, const std::string& record) {
  t.conv.options.recordPath = "r.ugi";
  std::string sgf;
  EXPECT_EQ(0, ConvertText(t, record, &sgf));
  EXPECT_TRUE(CheckSgf(sgf).ok()) << CheckSgf(sgf).error;
  return sgf;
}

TEST(ReviewTest, VariationsAndCommentsJoinTheGame) {
  struct Case {
    const char* name;
    std::string nodes, comments, data, body, message;
  } cases[] = {
      {"one variation after the main continuation",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nNODE,3,2,7,7\nVARIATION,\n NODE,9,1,5,5\n"
       " NODE,8,2,4,4\nVARIATIONEND,\nNODE,4,1,7,3\nNODE,5,0,0,0\n",
       "", kMoves, "\n;B[cg]\n;W[gc]\n(;B[gg])\n(;B[ee]\n;W[df])", ""},
      {"nested variations, a pass off the board",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATION,\n"
       "NODE,7,1,20,20\nVARIATIONEND,\nNODE,8,1,4,4\nVARIATIONEND,\n"
       "NODE,3,2,7,7\nNODE,4,1,7,3\n",
       "", kMoves, "\n;B[cg]\n(;W[gc]\n;B[gg])\n(;W[ee]\n(;B[df])\n(;B[]))",
       ""},
      {"variations at the root and after the last move",
       "NODE,1,0,0,0\nVARIATION,\nNODE,9,1,5,5\nVARIATIONEND,\nNODE,2,1,3,3\n"
       "NODE,3,2,7,7\nNODE,4,1,7,3\nVARIATION,\nNODE,8,2,4,4\nVARIATIONEND,\n",
       "", kMoves, "\n(;B[cg]\n;W[gc]\n;B[gg]\n(;W[df]))\n(;B[ee])", ""},
      {"comments on the root, on moves with and without figure text, on a "
       "variation node and on the end node",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATIONEND,\n"
       "NODE,3,2,7,7\nNODE,4,1,7,3\nNODE,5,0,0,0\n",
       "[ReviewComment]\n.Comment,1\n\n A 2k?: hi  \n\n B: hello\n\n"
       ".Comment,2\nc:]\\\n.Comment,9\nvar\n.Comment,3\nreview\n.comment,2\n"
       "again\n.Comment,5\nend\n",
       std::string(kMoves) + "[Figure]\n.Text,2\nfig\n.#,1,1,X\n",
       "C[A 2k?\\: hi\n\nB\\: hello]\n\n;B[cg]C[c\\:\\]\\\\\nagain]\n"
       "\n(;W[gc]C[fig\n\nreview]\nLB[ai:X]\n\n;B[gg]C[end]\n)\n(;W[ee]C[var]\n)",
       ""},
      {"root comment with the starting stones and their notes",
       "NODE,1,0,0,0\n", "[ReviewComment]\n.Comment,1\nroot\n",
       "[Data]\nEE,B,0\nCC,B,1\n[Figure]\n.Text,0\nzero\n",
       "AB[ee]C[zero\n\nroot]\n\n;B[cg]", ""},
      {"root comment when stones are added only after a move",
       "NODE,1,0,0,0\n", "[ReviewComment]\n.Comment,1\nroot\n",
       "[Data]\nCC,B,1\nEE,B,0\n", "C[root]\n\n;B[cg]AB[ee]", ""},
      {"a node inside a run of one move number has its own comment",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nNODE,3,2,7,7\n",
       "[ReviewComment]\n.Comment,2\nfirst\n.Comment,3\nsecond\n",
       "[Data]\nCC,B,1\nGG,W,1\n[Figure]\n.Text,1\nfig\n",
       "\n;B[cg]C[first]\n\n;W[gc]C[fig\n\nsecond]\n", ""},
      {"a node that is not its move: the review from there on is left out",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATIONEND,\n"
       "NODE,3,2,7,6\nVARIATION,\nNODE,8,1,4,4\nVARIATIONEND,\nNODE,4,1,7,3\n",
       "[ReviewComment]\n.Comment,2\nkept\n.Comment,3\nlost\n.Comment,4\nlost\n",
       kMoves, "\n;B[cg]C[kept]\n\n(;W[gc]\n;B[gg])\n(;W[ee])",
       "Review of r.ugi line 9: node 3 is not move 2 of the game; the review "
       "from there on is left out"},
      {"a section cut off inside a variation keeps what it holds",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nVARIATION,\n"
       "NODE,8,1,4,4\n",
       "", kMoves, "\n;B[cg]\n(;W[gc]\n;B[gg])\n(;W[ee]\n;B[df])",
       "Review of r.ugi line 6: VARIATION without VARIATIONEND; the review is "
       "kept as far as it goes"},
      {"an unreadable node leaves out the rest of its variation only",
       "NODE,1,0,0,0\nNODE,2,1,3,3\nVARIATION,\nNODE,9,2,5,5\nNODE,8,1\n"
       "NODE,7,2,4,4\nVARIATION,\nNODE,6,2,1,1\nVARIATIONEND,\nVARIATIONEND,\n"
       "NODE,3,2,7,7\n",
       "", kMoves, "\n;B[cg]\n(;W[gc]\n;B[gg])\n(;W[ee])",
       "Review of r.ugi line 8: unreadable node; the rest of its variation is "
       "left out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestConversion t;
    const std::string sgf =
        ConvertReview(t, kHead + c.nodes + c.comments + c.data);
    EXPECT_EQ(kRoot + c.body + ")\n", sgf);
    const std::vector<std::string> none;
    EXPECT_EQ(c.message.empty() ? none : std::vector{c.message},
              t.Messages());
  }
}

// Problems that leave out review parts which do not touch the game: the
// record converts with its moves alone and one message, for the earliest.
TEST(ReviewTest, EachProblemGivesOneMessage) {
  struct Case {
    std::string review, message;
  } cases[] = {
      {"NODE,1,0,0,0\nNODE,2,2,3,3\n",
       "line 5: node 2 is not move 1 of the game; the review from there on is "
       "left out"},
      {"NODE,2,1,3,3\nNODE,3,2,7,7\nNODE,4,1,7,3\nNODE,5,2,1,1\n",
       "line 7: node 5 comes after the last move; the review from there on is "
       "left out"},
      {"[ReviewComment]\n.Comment,77\nx\n",
       "line 5: comment on node 77, which the review does not hold, left out"},
      {"NODE,x\nVARIATIONEND,\n[ReviewComment]\ntext\n.Comment,\n",
       "line 4: unreadable node; the rest of the main line is left out"},
      {"VARIATIONEND,\nMARK,1\n",
       "line 4: VARIATIONEND without VARIATION left out"},
      {"MARK,1\n", "line 4: unknown line left out"},
      {"[ReviewComment]\n\ntext\n.Comment\nlost\n",
       "line 6: text before any .Comment left out"},
      {"[ReviewComment]\n.Comment,x\n",
       "line 5: unreadable .Comment; its text is left out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.review);
    TestConversion t;
    EXPECT_EQ(std::string(kRoot) + "\n;B[cg]\n;W[gc]\n;B[gg])\n",
              ConvertReview(t, kHead + c.review + kMoves));
    EXPECT_EQ(std::vector<std::string>{"Review of r.ugi " + c.message},
              t.Messages());
  }
}

// Each block holds a node with a continuation and a nested block, so the
// tree is as deep as the record: neither reading nor writing may recurse.
TEST(ReviewTest, DeepNestingAndTheLimits) {
  const int depth = 100000;
  std::string record = std::string(kHead) + "NODE,1,0,0,0\nNODE,2,1,1,1\n";
  for (int i = 0; i < depth; ++i) {
    record += "VARIATION,\nNODE," + std::to_string(10 + 2 * i) + ",2,2,1\n";
  }
  for (int i = depth; i-- > 0;) {
    record += "NODE," + std::to_string(11 + 2 * i) + ",1,3,1\nVARIATIONEND,\n";
  }
  record += "[ReviewComment]\n.Comment," + std::to_string(8 + 2 * depth) +
            "\ndeep\n[Data]\nAA,B,1\n";
  TestConversion t;
  const std::string sgf = ConvertReview(t, record);
  EXPECT_EQ(2 * depth, std::count(sgf.begin(), sgf.end(), '('));
  EXPECT_NE(std::string::npos, sgf.find("(;W[bi]C[deep]\n\n;B[ci])))"));
  EXPECT_TRUE(t.Messages().empty());

  // Root and main line included, the limit is reached exactly.
  record = std::string(kHead) + "NODE,1,0,0,0\nNODE,2,1,1,1\nVARIATION,\n";
  for (int i = 2; i <= kMaxReviewNodes; ++i) record += "NODE,7,2,2,2\n";
  record += "VARIATIONEND,\n[Data]\nAA,B,1\n";
  TestConversion full;
  const std::string cut = ConvertReview(full, record);
  EXPECT_EQ(kMaxReviewNodes, std::count(cut.begin(), cut.end(), ';'));
  EXPECT_EQ(std::vector<std::string>{"Review of r.ugi line " +
                                     std::to_string(kMaxReviewNodes + 5) +
                                     ": more than 250000 nodes; the rest of "
                                     "the review is left out"},
            full.Messages());

  record = std::string(kHead) + "NODE,1,0,0,0\n[ReviewComment]\n";
  for (int i = 0; i <= kMaxReviewNodes; ++i) record += ".Comment,1\n";
  TestConversion many;
  ConvertReview(many, record);
  EXPECT_EQ(std::vector<std::string>{"Review of r.ugi line " +
                                     std::to_string(kMaxReviewNodes + 6) +
                                     ": more than 250000 comments; the rest "
                                     "is left out"},
            many.Messages());
}

}  // namespace
}  // namespace kirato
