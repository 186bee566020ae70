#include "convert/charset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/utf8.h"

namespace kirato {
namespace {

constexpr size_t kNone = std::string::npos;

// The same piece `n` times.
std::string Times(int n, const std::string& piece) {
  std::string out;
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

TEST(CharsetTest, DecodesToUtf8) {
  struct Case {
    const char* name;
    const char* charset;
    std::string bytes;
    std::string utf8;
    size_t firstInvalid;
  } cases[] = {
      // Trail bytes 5C and 5D are '\' and ']' when read one byte at a time.
      {"so and zo", "CP932", "\x83\x5c\x83\x5d", "ソゾ", kNone},
      {"ten, table, ability", "CP932", "\x8f\x5c\x95\x5c\x94\x5c", "十表能",
       kNone},
      {"ascii stays ascii", "CP932", "a\\~]\n", "a\\~]\n", kNone},
      {"windows extension", "CP932", "\x87\x40", "①", kNone},
      {"unassigned pair", "CP932", "a\x85\x40z", "a\xEF\xBF\xBD@z", 1},
      {"plain lines around", "CP932", "a\n\x95\x5c\x85\n\\",
       "a\n表\xEF\xBF\xBD\n\\", 4},
      {"lead before a line end", "CP932", "\x83\nx", "\xEF\xBF\xBD\nx", 0},
      {"lead at the end", "CP932", "ab\x83", "ab\xEF\xBF\xBD", 2},
      // One byte becomes three: the output must grow while decoding.
      {"text that grows threefold", "CP932", std::string(100, '\xb1'),
       Times(100, "ｱ"), kNone},
      {"replacements that grow threefold", "CP932", std::string(100, '\xa0'),
       Times(100, "\xEF\xBF\xBD"), 0},
      {"euc-jp", "EUC-JP", "\xa5\xbd\xc9\xbd", "ソ表", kNone},
      // Only the runs of bytes above 0x7F go to the converter, each with the
      // ASCII byte after it, which may end a character.
      {"second bytes in the ascii range", "CP932", "x\x8f\x5c\x95\x5cy",
       "x十表y", kNone},
      {"a first byte before two ascii bytes", "CP932", "\x83" "ab", "ヂb", kNone},
      {"a first byte before a blank", "CP932", "a\x83 z",
       "a\xEF\xBF\xBD z", 1},
      {"runs apart in one line", "CP932", "\x95\x5c and \x8f\x5c.",
       "表 and 十.", kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old";
    size_t firstInvalid = 7;
    ASSERT_TRUE(DecodeToUtf8(c.bytes, c.charset, &out, &firstInvalid));
    EXPECT_EQ(c.utf8, out);
    EXPECT_EQ(c.firstInvalid, firstInvalid);
    // A charset read through a table reads the same.
    if (const CharTable* table = CharTableOf(c.charset)) {
      out = "old";
      firstInvalid = 7;
      DecodeToUtf8(c.bytes, *table, &out, &firstInvalid);
      EXPECT_EQ(c.utf8, out);
      EXPECT_EQ(c.firstInvalid, firstInvalid);
    }
  }
}

// The table is made from the platform's decoder; decoding through it must
// give what decoding through the platform gives, for any bytes: here every
// pair of bytes whose first is above 0x7F, in runs that keep the pairs
// apart and in runs where each second byte may begin the next character,
// with line feeds and the end of the text cutting characters. The C
// library's CP949 steps over some invalid pairs whole where the table
// reads the second byte afresh, so for CP949 the runs hold only the pairs
// the platform reads as characters, and a lone bad pair must read the same
// up to its first U+FFFD, whichever way it is read (Windows reads 0x80
// alone as U+0080, the C library does not).
TEST(CharsetTest, TableReadsAsThePlatformDoes) {
  for (const std::string charset : {"CP932", "CP949"}) {
    SCOPED_TRACE(charset);
    const CharTable* table = CharTableOf(charset);
    ASSERT_NE(nullptr, table);
    std::unique_ptr<CharsetDecoder> decoder = OpenCharsetDecoder(charset);
    ASSERT_NE(nullptr, decoder);
    const auto decode = [&](const std::string& bytes, bool tabled,
                            size_t* firstInvalid) {
      std::string out;
      if (tabled) {
        DecodeToUtf8(bytes, *table, &out, firstInvalid);
      } else {
        DecodeToUtf8(bytes, *decoder, &out, firstInvalid);
      }
      return out;
    };
    std::string apart, joined, cut;
    for (int b = 0x80; b < 0x100; ++b) {
      for (int t = 1; t < 0x100; ++t) {
        const std::string pair = {static_cast<char>(b), static_cast<char>(t)};
        size_t platformInvalid = 0, tabledInvalid = 0;
        const std::string platform = decode(pair, false, &platformInvalid);
        if (charset == "CP949" && platformInvalid != std::string::npos) {
          const std::string tabled = decode(pair, true, &tabledInvalid);
          EXPECT_NE(std::string::npos, tabledInvalid);
          const size_t bad = platform.find("\xEF\xBF\xBD");
          EXPECT_EQ(platform.substr(0, bad + 3), tabled.substr(0, bad + 3));
          continue;
        }
        apart.append(pair).append("  ");
        joined.append(pair);
        cut.append(pair, 0, 1).append("\n").append(pair, 1, 1);
      }
    }
    // Shifted by a byte or cut by line feeds, the pairs of CP949 are no
    // longer only good ones.
    const bool exact = charset == "CP932";
    for (const std::string& bytes :
         {apart, joined, exact ? cut : "", exact ? joined.substr(1) : "",
          std::string("ab\x81")}) {
      size_t platformInvalid = 0, tabledInvalid = 0;
      const std::string platform = decode(bytes, false, &platformInvalid);
      const std::string tabled = decode(bytes, true, &tabledInvalid);
      EXPECT_EQ(platformInvalid, tabledInvalid);
      EXPECT_TRUE(platform == tabled)
          << "the first difference at byte "
          << std::mismatch(platform.begin(), platform.end(), tabled.begin(),
                           tabled.end()).first - platform.begin();
    }
  }
}

TEST(CharsetTest, UnknownCharset) {
  EXPECT_TRUE(CharsetKnown("CP932"));
  EXPECT_FALSE(CharsetKnown("NO-SUCH-CHARSET"));
  std::string out = "kept";
  size_t firstInvalid = 0;
  EXPECT_FALSE(DecodeToUtf8("x", "NO-SUCH-CHARSET", &out, &firstInvalid));
  EXPECT_EQ("kept", out);
}

TEST(CharsetTest, TellsWellFormedUtf8) {
  struct Case {
    const char* name;
    std::string text;
    size_t firstInvalid;
    std::string repaired;
  } cases[] = {
      {"empty", "", kNone, ""},
      {"ascii", "a]b", kNone, "a]b"},
      {"two to four bytes", "é表😀", kNone, "é表😀"},
      {"lone trail byte", "a\x80z", 1, "a\xEF\xBF\xBDz"},
      {"after sixteen bytes and more", std::string(40, 'a') + "\x80",
       40, std::string(40, 'a') + "\xEF\xBF\xBD"},
      {"overlong", "\xC0\xAF", 0, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate", "\xED\xA0\x80", 0, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 0,
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      // A cut character is one replacement; what follows is read afresh.
      {"cut before ascii", "x\xE8\xA1y", 1, "x\xEF\xBF\xBDy"},
      {"cut before a character", "\xE8\xA1表", 0, "\xEF\xBF\xBD表"},
      {"shift-jis is not utf-8", "\x83\x5c", 0, "\xEF\xBF\xBD\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.firstInvalid, FirstInvalidUtf8(c.text));
    std::string out = "<";
    AppendRepairedUtf8(out, c.text);
    EXPECT_EQ("<" + c.repaired, out);
  }
}

}  // namespace
}  // namespace kirato
