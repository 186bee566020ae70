#include <gtest/gtest.h>

#include <string>

#include "base/ascii.h"
#include "convert/sgf_writer.h"
#include "convert/text.h"

namespace kirato {
namespace {

TEST(TextTest, ByteClassesIgnoreHighBytesAndLocale) {
  const std::string whitespace = " \t\n\v\f\r";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    SCOPED_TRACE(b);
    EXPECT_EQ(whitespace.find(c) != std::string::npos && b != 0, IsSpace(c));
    EXPECT_EQ(b >= '0' && b <= '9', IsDigit(c));
    if (b >= 0x80) {
      EXPECT_EQ(c, ToUpper(c));
      EXPECT_EQ(c, ToLower(c));
    }
  }
  EXPECT_EQ('A', ToUpper('a'));
  EXPECT_EQ('z', ToLower('Z'));
  EXPECT_EQ('[', ToUpper('['));  // only letters fold
  EXPECT_EQ('{', ToUpper('{'));
  EXPECT_EQ('@', ToLower('@'));
}

TEST(TextTest, StartsWithNoCase) {
  struct Case {
    const char* text;
    const char* key;
    bool expected;
  } cases[] = {
      {"[header]", "[Header]", true},
      {"[HEADER] more", "[Header]", true},
      {"[Head", "[Header]", false},  // shorter than the key
      {"", "IN", false},
      {"Input=x", "IN", true},
      {"\xC9N=x", "IN", false},  // 0xC9 is no 'i' in any case
      {"{n", "[N", false},       // '{' is not the lower case of '['
      // Bytes 0x20 apart that are no letters of one another.
      {"\x0eText", ".Text", false},
      {"`", "@", false},
      {"@", "`", false},
      {".tExT,1", ".Text", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.expected, StartsWithNoCase(c.text, c.key));
  }
}

TEST(TextTest, Trimming) {
  struct Case {
    std::string in;
    std::string lineEnd;   // after TrimLineEnd
    std::string trailing;  // after TrimTrailingSpace
  } cases[] = {
      {"", "", ""},
      {"abc\r\n", "abc", "abc"},
      {"abc \t\r\n\r", "abc \t", "abc"},
      {"   ", "   ", ""},
      {"\n\r\n", "", ""},
      {"x\xA0", "x\xA0", "x\xA0"},  // no-break space byte is not whitespace
      {" a b \v\f", " a b \v\f", " a b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(c.lineEnd, TrimLineEnd(std::string_view(c.in)));
    std::string b = c.in;
    TrimTrailingSpace(b);
    EXPECT_EQ(c.trailing, b);
    EXPECT_EQ(c.trailing, TrimTrailingSpace(std::string_view(c.in)));
  }
}

TEST(TextTest, Escaping) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"a:b]c", "a\\:b\\]c"},
      {"\\", "\\\\"},
      {"[x]", "[x\\]"},  // an opening bracket needs nothing
      {"\x81\x5C", "\x81\\\x5C"},  // byte by byte, also inside a double-byte
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {":", "\\:"},
      {"]", "\\]"},
      // Sixteen bytes at a time: escapes at both ends of a chunk and after.
      {std::string(15, 'a') + ":" + std::string(16, 'b') + "]c",
       std::string(15, 'a') + "\\:" + std::string(16, 'b') + "\\]c"},
      {std::string(":").append(31, 'd') + "\\" + std::string(17, 'e'),
       std::string("\\:").append(31, 'd') + "\\\\" + std::string(17, 'e')},
      {std::string(48, 'f'), std::string(48, 'f')},
      // The end of a text is read as its last sixteen bytes: an escape in
      // the part already written, in the part not yet written, or none.
      {std::string(":").append(16, 'a'), std::string("\\:").append(16, 'a')},
      {std::string(16, 'a') + ":", std::string(16, 'a') + "\\:"},
      {std::string("]").append(17, 'b'), std::string("\\]").append(17, 'b')},
      {std::string(14, 'c') + "\\ddd", std::string(14, 'c') + "\\\\ddd"},
      {std::string(20, 'e') + "]f", std::string(20, 'e') + "\\]f"},
      {std::string(17, 'g'), std::string(17, 'g')},
      {"a", "a"},
      {"\xFF", "\xFF"},
      {std::string(1, '\0'), std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(c.out, EscapeSgfText(c.in));
  }
}

TEST(TextTest, ReadNumber) {
  size_t end = 0;
  EXPECT_EQ(123, ReadNumber("x123y", 1, &end));
  EXPECT_EQ(4u, end);
  EXPECT_EQ(0, ReadNumber("abc", 0, &end));
  EXPECT_EQ(0u, end);
  EXPECT_EQ(0, ReadNumber("", 0));
  // A hundred digits saturate instead of overflowing.
  EXPECT_EQ(2147483647, ReadNumber(std::string(100, '9'), 0, &end));
  EXPECT_EQ(100u, end);
  EXPECT_EQ(5u, SkipSpace(" \t\r\n\vx", 0));
  EXPECT_EQ(3u, SkipSpace("   ", 0));
}

}  // namespace
}  // namespace kirato
