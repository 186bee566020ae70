#include "batch/path.h"

#include <gtest/gtest.h>

namespace kirato {
namespace {

TEST(PathTest, RootsAndFileNames) {
  struct Case {
    const PathRules* rules;
    const char* path;
    size_t root;
    const char* fileName;
  } cases[] = {
      {&kPosixPaths, "/srv/go/game.ugf", 1, "game.ugf"},
      {&kPosixPaths, "go/a\\b.ugf", 0, "a\\b.ugf"},
      {&kPosixPaths, "C:/x", 0, "x"},
      {&kWindowsPaths, "C:\\go/game.ugf", 3, "game.ugf"},
      {&kWindowsPaths, "go\\a.b\\c", 0, "c"},
      {&kWindowsPaths, "D:game.ugf", 2, "game.ugf"},
      {&kWindowsPaths, "\\go\\x", 1, "x"},
      {&kWindowsPaths, "\\\\srv\\share\\go\\x", 12, "x"},
      {&kWindowsPaths, "//srv/share", 11, ""},
      {&kWindowsPaths, "\\\\srv", 5, ""},
      {&kWindowsPaths, "\\\\?\\C:\\go", 7, "go"},
      {&kWindowsPaths, "\\\\?\\unc\\srv\\share\\go", 18, "go"},
      {&kWindowsPaths, "1:\\x", 0, "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.root, c.rules->RootLength(c.path));
    EXPECT_EQ(c.fileName, c.rules->FileName(c.path));
  }
  EXPECT_EQ("go/", kPosixPaths.WithSeparator("go"));
  EXPECT_EQ("go\\/", kPosixPaths.WithSeparator("go\\"));
  EXPECT_EQ("go/", kWindowsPaths.WithSeparator("go/"));
  EXPECT_EQ("C:\\", kWindowsPaths.WithSeparator("C:"));
}

}  // namespace
}  // namespace kirato
