#include <gtest/gtest.h>

#include "fake_disk.h"

namespace kirato {
namespace {

TEST(GameTest, Smoke) {
  TestRun t;
  std::string sgf;
  EXPECT_EQ(0, ConvertText(t.run, "[Header]\nTitle=X\n", &sgf));
  EXPECT_EQ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n)\n", sgf);
}

}  // namespace
}  // namespace kirato
