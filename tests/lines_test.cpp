#include "convert/lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kirato {
namespace {

// The pieces as a line buffer would hold them, each with its line feed.
std::vector<std::string> Pieces(std::string_view text,
                                bool wholeCharacters = false) {
  std::vector<std::string> out;
  LineSplitter lines(text, wholeCharacters);
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
  // 1021 bytes, then a character of three that the limit would cut.
  const std::string straddle = std::string(1021, 'u') + "表";
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> pieces;
    bool wholeCharacters = false;
  } cases[] = {
      {"empty", "", {}},
      {"plain lines", "a\nb\n", {"a\n", "b\n"}},
      {"no final line end", "a\nb", {"a\n", "b"}},
      {"crlf becomes lf", "a\r\nb\r\n", {"a\n", "b\n"}},
      {"lone cr stays", "a\rb\n", {"a\rb\n"}},
      // Without a single line feed, carriage returns end the lines.
      {"cr at the very end", "a\r", {"a\n"}},
      {"cr alone ends lines", "a\rb\r\rc", {"a\n", "b\n", "\n", "c"}},
      {"cr alone after a full piece", exact1023 + "\rz",
       {exact1023, "\n", "z"}},
      {"ctrl-z before the only line feed", "a\rb\x1A\n", {"a\n", "b"}},
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
      // Decoded text is cut before the character the limit would split.
      {"bytes cut where the buffer is full", straddle + "\n",
       {straddle.substr(0, 1023), straddle.substr(1023) + "\n"}},
      {"whole characters", straddle + "\n",
       {straddle.substr(0, 1021), "表\n"}, true},
      {"a character that ends at the limit", std::string(1020, 'u') + "表表",
       {std::string(1020, 'u') + "表", "表"}, true},
      {"four bytes", std::string(1022, 'u') + "😀",
       {std::string(1022, 'u'), "😀"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.pieces, Pieces(c.text, c.wholeCharacters));
  }
}

// The pieces of a plain line buffer, one byte at a time: what the splitter,
// which looks for line ends 64 bytes at a time, must agree with.
std::vector<std::string> BufferPieces(std::string_view text) {
  text = text.substr(0, text.find('\x1A'));
  const char end = text.find('\n') != std::string_view::npos ? '\n'
                   : text.find('\r') != std::string_view::npos ? '\r'
                                                               : '\n';
  std::vector<std::string> out;
  std::string piece;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool crlf = end == '\n' && text[i] == '\r' && i + 1 < text.size() &&
                      text[i + 1] == '\n';
    if (text[i] == end || crlf) {
      out.push_back(piece + "\n");
      piece.clear();
      i += crlf;
    } else {
      piece += text[i];
      if (piece.size() == LineSplitter::kMaxPiece) {
        out.push_back(piece);
        piece.clear();
      }
    }
  }
  if (!piece.empty()) out.push_back(piece);
  return out;
}

// Lines of every length around the blocks of 64 bytes: ends on the last
// byte of a block and on the first of the next, a carriage return and its
// line feed in two blocks, lines over one block and over two.
TEST(LineSplitterTest, LinesAcrossBlocks) {
  std::string lengths;
  for (int n = 0; n < 200; ++n) lengths += std::string(n, 'a' + n % 26) + "\n";
  std::string crlf;
  for (int n = 0; n < 200; ++n) crlf += std::string(n, 'q') + "\r\n";
  std::string cr;
  for (int n = 0; n < 140; ++n) cr += std::string(n, 'r') + "\r";
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"every length up to 199", lengths},
      {"crlf after every length", crlf},
      {"carriage returns alone", cr},
      {"a line end at the end of a block", std::string(63, 'x') + "\ny\n"},
      {"a line end at the start of a block", std::string(64, 'x') + "\ny"},
      {"crlf across blocks", std::string(63, 'x') + "\r\n" +
                                 std::string(70, 'y') + "\r\nz"},
      {"ctrl-z in the third block", lengths.substr(0, 150) + "\x1A" + lengths},
      {"short lines, then a piece limit", lengths.substr(0, 300) +
                                              std::string(3000, 'w') + "\nv\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BufferPieces(c.text), Pieces(c.text));
  }
}

// The line feeds found 64 bytes at a time, from each line start in turn,
// against a search byte by byte: only whole blocks of 64 bytes are
// searched, and no further than `most` bytes from the start.
TEST(LineFeedFinderTest, FindsWhatASearchFinds) {
  std::string lengths;
  for (int n = 0; n < 200; ++n) lengths += std::string(n, 'a' + n % 26) + "\n";
  struct Case {
    const char* name;
    std::string text;
    size_t most;
  } cases[] = {
      {"every length up to 199", lengths, 1000},
      {"lines up to 40 bytes", lengths, 40},
      {"lines up to one byte", lengths, 1},
      {"a line feed at the end of a block", std::string(63, 'x') + "\n" +
                                                std::string(64, 'y'), 100},
      {"a line feed at the start of a block", std::string(64, 'x') + "\n" +
                                                  std::string(63, 'y'), 100},
      {"a line feed in the last part block",
       std::string(64, 'x') + "\n" + std::string(64, 'y') + "\nz\n", 1000},
      {"shorter than a block", "ab\ncd\n", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t blocks = c.text.size() / 64 * 64;
    LineFeedFinder finder(c.text);
    for (size_t pos = 0; pos < c.text.size();) {
      SCOPED_TRACE(pos);
      size_t expected = c.text.find('\n', pos);
      if (expected >= blocks || expected - pos >= c.most) {
        expected = std::string_view::npos;
      }
      const size_t found = finder.Find(pos, c.most);
      EXPECT_EQ(expected, found);
      const size_t next = c.text.find('\n', pos);
      if (next == std::string::npos) break;
      pos = next + 1;
    }
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
