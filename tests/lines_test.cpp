#include "convert/lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kirato {
namespace {

// The pieces as a line buffer would hold them, each with its line feed.
std::vector<std::string> Pieces(std::string_view text) {
  std::vector<std::string> out;
  LineSplitter lines(text);
  std::string_view piece;
  bool lineEnd = false;
  while (lines.Next(&piece, &lineEnd)) {
    out.push_back(std::string(piece) + (lineEnd ? "\n" : ""));
  }
  return out;
}

TEST(LineSplitterTest, SplitsLikeALineBuffer) {
  const std::string long1500(1500, 'x');
  const std::string exact1022(1022, 'y');
  const std::string exact1023(1023, 'w');
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"empty", "", {}},
      {"plain lines", "a\nb\n", {"a\n", "b\n"}},
      {"no final line end", "a\nb", {"a\n", "b"}},
      {"crlf becomes lf", "a\r\nb\r\n", {"a\n", "b\n"}},
      {"lone cr stays", "a\rb\n", {"a\rb\n"}},
      {"cr at the very end", "a\r", {"a\r"}},
      {"empty lines", "\n\r\n\n", {"\n", "\n", "\n"}},
      {"long line in pieces",
       long1500 + "\n",
       {std::string(1023, 'x'), std::string(477, 'x') + "\n"}},
      // With CRLF counted as one character, 1022 characters and their line
      // end fit into one piece, as they do for the systems the files come
      // from: no stray empty line follows.
      {"crlf at the piece limit", exact1022 + "\r\nz\r\n",
       {exact1022 + "\n", "z\n"}},
      // 1023 characters fill the buffer: the line end comes as a piece of
      // its own.
      {"lf after a full piece", exact1023 + "\nz", {exact1023, "\n", "z"}},
      {"crlf after a full piece", exact1023 + "\r\nz", {exact1023, "\n", "z"}},
      {"lone cr fills a piece", exact1022 + "\rq\n", {exact1022 + "\r", "q\n"}},
      {"ctrl-z ends the text", "a\n\x1A" "b\n", {"a\n"}},
      {"ctrl-z inside a line", "ab\x1A\n", {"ab"}},
      {"high bytes and nul pass", std::string("\xE4\0\xFF\n", 4),
       {std::string("\xE4\0\xFF\n", 4)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.pieces, Pieces(c.text));
  }
}

// A line of megabytes is cut into pieces without searching the rest of it
// again for each piece: this finishes at once rather than in minutes.
TEST(LineSplitterTest, HugeLineIsCutInPieces) {
  const std::string huge(20u << 20, 'h');
  LineSplitter lines(huge);
  std::string_view piece;
  bool lineEnd = true;
  size_t count = 0;
  size_t total = 0;
  while (lines.Next(&piece, &lineEnd)) {
    ++count;
    total += piece.size();
    EXPECT_FALSE(lineEnd);
  }
  EXPECT_EQ(huge.size(), total);
  EXPECT_EQ((huge.size() + 1022) / 1023, count);
}

}  // namespace
}  // namespace kirato
