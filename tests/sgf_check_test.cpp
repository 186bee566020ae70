// The SGF checker is what the fuzz targets and end-to-end tests trust, so
// it is shown to tell good text from bad on its own.
#include "sgf_check.h"

#include <gtest/gtest.h>

namespace kirato {
namespace {

TEST(SgfCheckTest, AcceptsWellFormedCollections) {
  const char* good[] = {
      "(;)",
      "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n)\n",
      " \r\n(;B[aa];W[])",
      "(;C[a \\] b \\\\]LB[aa:1][bb:x])",
      "(;B[aa](;W[bb])(;W[cc];B[dd]))",
      "(;B[aa](;W[bb](;B[cc])(;B[dd]))(;W[ee]))",
      "(;)(;)",
      "(;C[line\nfeed])",
      "(;C[\xe4\xf6 \x80])",
  };
  for (const char* text : good) {
    const SgfCheck c = CheckSgf(text);
    EXPECT_TRUE(c.ok()) << text << ": " << c.error << " at " << c.errorAt;
  }
}

TEST(SgfCheckTest, FindsTheFirstFault) {
  struct Case {
    const char* text;
    size_t at;
    const char* error;
  } cases[] = {
      {"", 0, "no game tree"},
      {"x(;)", 0, "expected '(' to open a game tree"},
      {"()", 1, "empty game tree"},
      {"(;B[aa]B[bb])", 7, "property appears twice in one node"},
      {"(;C[a]C[b])", 6, "property appears twice in one node"},
      {"(;b[aa])", 2, "expected a property identifier (upper-case letters)"},
      {"(;B)", 3, "property without a value"},
      {"(;B [aa] x)", 9, "expected a property identifier (upper-case letters)"},
      {"(;B[aa](;W[bb]);B[cc])", 15, "a node after a variation"},
      {"(;B[aa]((;W[bb])))", 8, "a game tree must start with a node"},
      {"(;)x", 3, "expected '(' to open a game tree"},
      {"(;))", 3, "expected '(' to open a game tree"},
  };
  for (const Case& c : cases) {
    const SgfCheck r = CheckSgf(c.text);
    EXPECT_FALSE(r.validPrefix) << c.text;
    EXPECT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(c.at, r.errorAt) << c.text;
    EXPECT_EQ(c.error, r.error) << c.text;
  }
}

// A text that stops early is no fault yet, but it is not whole either:
// that is how a failed conversion's partial text must look.
TEST(SgfCheckTest, TellsATruncatedTextFromABrokenOne) {
  const std::string whole = "(;GM[1]C[a\\]b]LB[aa:x];B[cd](;W[])(;W[ee]))";
  for (size_t n = 1; n < whole.size(); ++n) {
    const SgfCheck c = CheckSgf(whole.substr(0, n));
    EXPECT_TRUE(c.validPrefix) << n << ": " << c.error;
    EXPECT_FALSE(c.complete) << n;
  }
  EXPECT_TRUE(CheckSgf(whole).ok());
  EXPECT_FALSE(CheckSgf("(;C[ends with a backslash\\").complete);
}

TEST(SgfCheckTest, DeepNestingDoesNotExhaustTheStack) {
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "(;";
  for (int i = 0; i < 200000; ++i) deep += ")";
  EXPECT_TRUE(CheckSgf(deep).ok());
}

}  // namespace
}  // namespace kirato
