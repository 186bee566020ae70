#include "app/cli/progress_line.h"

#include <gtest/gtest.h>

namespace kirato {
namespace {

TEST(ProgressLineTest, ShownAfterASecondRedrawnSparinglyErasedWhole) {
  std::string terminal;
  ProgressLine line(true, 40, [&](std::string_view s) { terminal += s; });
  line.Update(10, "/srv/ugf/2019", 0.5);
  EXPECT_EQ("", terminal);
  line.Update(300, {}, 1.5);  // the folder told before still stands
  EXPECT_EQ("\r300 records, 200/s, /srv/ugf/2019", terminal);
  line.Update(301, {}, 1.55);
  EXPECT_EQ("\r300 records, 200/s, /srv/ugf/2019", terminal);
  terminal.clear();
  line.Update(320, "/a", 1.6);  // shorter: blanks cover the rest
  EXPECT_EQ("\r320 records, 200/s, /a" + std::string(11, ' '), terminal);
  terminal.clear();
  line.Erase();
  EXPECT_EQ("\r" + std::string(22, ' ') + "\r", terminal);
  terminal.clear();
  line.Erase();
  EXPECT_EQ("", terminal);

  ProgressLine off(false, 40, [&](std::string_view s) { terminal += s; });
  off.Update(5, "/x", 9);
  off.Erase();
  EXPECT_EQ("", terminal);
}

TEST(ProgressLineTest, TextFitsTheTerminalKeepingTheDeepestFolders) {
  struct Case {
    const char* name;
    const char* folder;
    int columns;
    std::string text;
  } cases[] = {
      {"fits", "/ugf/a", 80, "7 records, 2/s, /ugf/a"},
      {"tail of a long path", "/srv/archive/ugf/2019/club", 30,
       "7 records, 2/s, .../2019/club"},
      {"wide characters count twice", "/ugf/\xE5\xAF\xBE\xE5\xB1\x80", 25,
       "7 records, 2/s, .../\xE5\xAF\xBE\xE5\xB1\x80"},
      {"no room for a folder", "/ugf/a", 18, "7 records, 2/s"},
      {"figures cut to the width", "/ugf/a", 8, "7 recor"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.text, ProgressLine::Text(7, c.folder, 3.5, c.columns));
  }
}

}  // namespace
}  // namespace kirato
