#include "batch/walk.h"

#include <gtest/gtest.h>

#include "fake_disk.h"

namespace kirato {
namespace {

using Lines = std::vector<std::string>;

constexpr char kGame[] = "[Data]\nPD,B1,1\n";
constexpr char kBadGame[] = "[Header]\nSize=40\n";

TEST(WalkTest, EveryDepthLandsInOneOutputDirectory) {
  TestRun t;
  t.disk.AddDir("/ugf/x/y");
  t.disk.AddFile("/ugf/a.ugf", kGame);
  t.disk.AddFile("/ugf/x/b.ugi", kGame);
  t.disk.AddFile("/ugf/x/y/c.ugf", kGame);
  EXPECT_EQ(0, ProcessDir(t.run, 7, "/ugf", "/sgf"));
  EXPECT_EQ((Lines{"convert /ugf/a.ugf -> /sgf/a.sgf",
                   "convert /ugf/x/b.ugi -> /sgf/b.sgf",
                   "convert /ugf/x/y/c.ugf -> /sgf/c.sgf"}),
            t.messages);
  EXPECT_EQ(3, t.run.state.directoriesScanned);
  EXPECT_EQ(3, t.run.state.filesConverted);
  std::vector<DirEntry> out;
  t.disk.ListDir("/sgf", &out);
  EXPECT_EQ(3u, out.size());  // no subdirectories are made
  EXPECT_EQ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[b.sgf]\n\n;B[pp])\n",
            t.disk.Content("/sgf/b.sgf"));
}

TEST(WalkTest, OnlyExactExtensionsAreCandidates) {
  TestRun t;
  t.disk.AddDir("/ugf");
  for (const char* name : {"A.UGF", "b.Ugi", "c.ug", "d.ugx", "e.ugf.bak",
                           "ugf", "game.2006.ugf", "f.ugi"}) {
    t.disk.AddFile(std::string("/ugf/") + name, kGame);
  }
  ProcessDir(t.run, 1, "/ugf/", "/sgf/");
  EXPECT_EQ((Lines{"convert /ugf/f.ugi -> /sgf/f.sgf",
                   "convert /ugf/game.2006.ugf -> /sgf/game.2006.sgf"}),
            t.messages);
  EXPECT_EQ(0, t.run.state.filesFailed + t.run.state.filesUpToDate);
}

TEST(WalkTest, NamesAreHandledInByteOrder) {
  TestRun t;
  // The fake disk lists newest first; the walk must not depend on that.
  for (const char* name : {"b.ugf", "B.ugf", "a.ugf", "\xC3\xA9.ugf", "_.ugf"}) {
    t.disk.AddFile(std::string("/in/") + name, kGame);
  }
  t.disk.AddDir("/in/z");
  t.disk.AddDir("/in/Z");
  t.disk.AddFile("/in/z/z.ugf", kGame);
  t.disk.AddFile("/in/Z/Z.ugf", kGame);
  ProcessDir(t.run, 1, "/in", "/out");
  EXPECT_EQ((Lines{"convert /in/B.ugf -> /out/B.sgf",
                   "convert /in/_.ugf -> /out/_.sgf",
                   "convert /in/a.ugf -> /out/a.sgf",
                   "convert /in/b.ugf -> /out/b.sgf",
                   "convert /in/\xC3\xA9.ugf -> /out/\xC3\xA9.sgf",
                   "convert /in/Z/Z.ugf -> /out/Z.sgf",
                   "convert /in/z/z.ugf -> /out/z.sgf"}),
            t.messages);
}

TEST(WalkTest, HiddenAndCandidateDirectories) {
  TestRun t;
  t.disk.AddDir("/ugf/.cache");
  t.disk.AddFile("/ugf/.cache/hidden.ugf", kGame);
  t.disk.AddDir("/ugf/old.ugf");
  t.disk.AddFile("/ugf/old.ugf/inner.ugf", kGame);
  ProcessDir(t.run, 1, "/ugf", "/sgf");
  // old.ugf is a candidate that cannot be read, and a directory walked.
  EXPECT_EQ((Lines{"convert /ugf/old.ugf/inner.ugf -> /sgf/inner.sgf"}),
            t.messages);
  EXPECT_EQ(1, t.run.state.filesFailed);
  EXPECT_EQ(2, t.run.state.directoriesScanned);
}

TEST(WalkTest, SharedOutputIsTestedWhenItsTurnComes) {
  TestRun t;
  t.disk.AddFile("/ugf/a.ugf", kGame, 10);
  t.disk.AddFile("/ugf/a.ugi", kGame, 10);
  t.disk.now = 20;
  ProcessDir(t.run, 1, "/ugf", "/sgf");
  // a.ugi finds the a.sgf just written from a.ugf newer than itself.
  EXPECT_EQ((Lines{"convert /ugf/a.ugf -> /sgf/a.sgf"}), t.messages);
  EXPECT_EQ(1, t.run.state.filesUpToDate);
}

TEST(WalkTest, UpToDateDecisions) {
  constexpr int64_t k2040 = 2208988800LL;  // beyond 32-bit seconds
  struct Case {
    const char* name;
    int64_t input;
    int64_t output;  // -1: no output yet
    int64_t program;
    bool upToDate;
  } cases[] = {
      {"newer output", 100, 200, 50, true},
      {"same second as the input", 100, 100, 50, false},
      {"older output", 200, 100, 50, false},
      {"not newer than the program", 100, 200, 200, false},
      {"program time unknown", 100, 200, 0, true},
      {"missing output", 100, -1, 0, false},
      {"after 2038", k2040, k2040 + 1, k2040 - 5, true},
      {"after 2038, same second", k2040, k2040, 0, false},
      {"input before 1970", -100, 5, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    t.run.state.executableTime = c.program;
    t.disk.AddFile("/ugf/g.ugf", kGame, c.input);
    t.disk.AddDir("/sgf");
    if (c.output != -1) t.disk.AddFile("/sgf/g.sgf", "old", c.output);
    ProcessDir(t.run, 1, "/ugf", "/sgf");
    EXPECT_EQ(c.upToDate ? 1 : 0, t.run.state.filesUpToDate);
    EXPECT_EQ(c.upToDate ? 0 : 1, t.run.state.filesConverted);
    EXPECT_EQ(c.upToDate, t.messages.empty());
  }
}

TEST(WalkTest, FailuresAndTheirCounters) {
  struct Case {
    const char* name;
    void (*setUp)(FakeDisk&);
    Lines messages;
    int converted, failed, errorFlag;
    std::string output;  // what /sgf/g.sgf holds afterwards
  } cases[] = {
      {"input cannot be read", [](FakeDisk& d) { d.failRead.insert("/ugf/g.ugf"); },
       {}, 0, 1, 0, "old"},
      {"output cannot be created",
       [](FakeDisk& d) { d.failCreate.insert("/sgf/g.sgf"); }, {}, 0, 1, 0,
       "old"},
      {"conversion fails",
       [](FakeDisk& d) { d.AddFile("/ugf/g.ugf", kBadGame, 100); },
       {"Illegal board size: 40", "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 0, 1, "<missing>"},
      {"disk full while writing", [](FakeDisk& d) { d.spaceLeft = 10; },
       {"Cannot write '/sgf/g.sgf', error: No space left on device",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "<missing>"},
      {"read error inside the input",
       [](FakeDisk& d) { d.readErrorAfter["/ugf/g.ugf"] = 8; },
       {"Cannot read '/ugf/g.ugf', error: Input/output error",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "<missing>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    t.disk.AddFile("/ugf/g.ugf", kGame, 100);
    t.disk.AddFile("/sgf/g.sgf", "old", 50);
    c.setUp(t.disk);
    EXPECT_EQ(0, ProcessDir(t.run, 1, "/ugf", "/sgf"));
    EXPECT_EQ(c.messages, t.messages);
    EXPECT_EQ(c.converted, t.run.state.filesConverted);
    EXPECT_EQ(c.failed, t.run.state.filesFailed);
    EXPECT_EQ(0, t.run.state.filesUpToDate);
    EXPECT_EQ(c.errorFlag, t.run.state.errorFlag);
    EXPECT_EQ(c.output, t.disk.Content("/sgf/g.sgf"));
    EXPECT_EQ(0, t.disk.openOutputs);
  }
}

TEST(WalkTest, OutputDirectoryIsMadeComponentByComponent) {
  TestRun t;
  OpenTraceLog(t.run, 6, "/t.log");
  t.disk.AddDir("/in");
  EXPECT_EQ(0, ProcessDir(t.run, 1, "/in", "/new/deep/dir/"));
  EXPECT_EQ((Lines{"/new", "/new/deep", "/new/deep/dir"}), t.disk.made);
  EXPECT_EQ(
      "ProcessDir /in -> /new/deep/dir/\r\n"
      "ProcessDir::mkdir /in\r\n"
      "ProcessDir::mkdir /in\r\n"
      "ProcessDir::mkdir /in\r\n"
      "ProcessDir::FindFirst /in/*.ug?\r\n"
      "ProcessDir::FindFirst /in/*.*\r\n",
      t.disk.logs["/t.log"]);
}

TEST(WalkTest, OutputDirectoryThatCannotBeMade) {
  TestRun t;
  t.disk.AddFile("/ugf/g.ugf", kGame);
  t.disk.failMkdir.insert("/new");
  EXPECT_EQ(1, ProcessDir(t.run, 4, "/ugf", "/new/deep"));
  EXPECT_EQ((Lines{"Datafile line 4: the outputdir '/new' cannot be created: "
                   "Permission denied"}),
            t.messages);
  EXPECT_EQ(1, t.run.state.errorFlag);
  EXPECT_EQ(0, t.run.state.directoriesScanned);
  EXPECT_EQ(0, t.run.state.filesFailed);

  TestRun u;  // the last component names the whole directory
  u.disk.AddDir("/ugf");
  u.disk.failMkdir.insert("/sgf");
  EXPECT_EQ(1, ProcessDir(u.run, 2, "/ugf", "/sgf/"));
  EXPECT_EQ((Lines{"Datafile line 2: the outputdir '/sgf' cannot be created: "
                   "Permission denied"}),
            u.messages);
}

TEST(WalkTest, MissingInputDirectoryIsScannedQuietly) {
  TestRun t;
  EXPECT_EQ(0, ProcessDir(t.run, 1, "/nowhere", "/sgf"));
  EXPECT_TRUE(t.messages.empty());
  EXPECT_TRUE(t.disk.Exists("/sgf"));
  EXPECT_EQ(1, t.run.state.directoriesScanned);
}

TEST(WalkTest, LinkCyclesEnd) {
  TestRun t;
  t.disk.AddFile("/ugf/a.ugf", kGame);
  t.disk.AddFile("/ugf/sub/b.ugf", kGame);
  t.disk.AddLink("/ugf/sub/back", "/ugf");
  t.disk.AddLink("/ugf/self", "/ugf");
  t.disk.AddLink("/ugf/again", "/ugf/sub");  // no cycle: walked like a copy
  ProcessDir(t.run, 1, "/ugf", "/sgf");
  EXPECT_EQ(3, t.run.state.directoriesScanned);  // /ugf, again, sub
  EXPECT_EQ((Lines{"convert /ugf/a.ugf -> /sgf/a.sgf",
                   "convert /ugf/again/b.ugf -> /sgf/b.sgf"}),
            t.messages);
  EXPECT_EQ(1, t.run.state.filesUpToDate);  // sub/b.ugf after again/b.ugf
}

TEST(WalkTest, TraceLinesAtLevelThree) {
  TestRun t;
  OpenTraceLog(t.run, 3, "/t.log");
  t.disk.AddFile("/ugf/g.ugf", kGame);
  t.disk.AddDir("/ugf/s");
  ProcessDir(t.run, 1, "/ugf/", "/sgf");
  EXPECT_EQ(
      "ProcessDir /ugf/ -> /sgf\r\n"
      "ProcessDir::FindFirst /ugf/*.ug?\r\n"
      "ProcessFile /ugf/g.ugf -> /sgf/g.sgf\r\n"
      "ProcessDir::FindFirst /ugf/*.*\r\n"
      "ProcessDir /ugf/s -> /sgf\r\n"
      "ProcessDir::FindFirst /ugf/s/*.ug?\r\n"
      "ProcessDir::FindFirst /ugf/s/*.*\r\n",
      t.disk.logs["/t.log"]);
}

TEST(WalkTest, ConvertFileIgnoresTimesAndNamesTheGame) {
  TestRun t;
  t.disk.AddFile("/ugf/g.ugf", kGame, 1);
  t.disk.AddFile("/sgf/g.sgf", "newer", 500);
  EXPECT_EQ(kConverted, ConvertFile(t.run, "/ugf/g.ugf", "/sgf/g.sgf", "x.sgf"));
  EXPECT_EQ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[x.sgf]\n\n;B[pp])\n",
            t.disk.Content("/sgf/g.sgf"));
  std::string err;
  EXPECT_EQ(kOpenFailed,
            ConvertFile(t.run, "/ugf/none.ugf", "/sgf/n.sgf", "n.sgf", &err));
  EXPECT_EQ("cannot open '/ugf/none.ugf': No such file or directory", err);
  t.disk.AddFile("/ugf/bad.ugf", kBadGame);
  EXPECT_EQ(kConversionFailed,
            ConvertFile(t.run, "/ugf/bad.ugf", "/sgf/b.sgf", "b.sgf"));
}

}  // namespace
}  // namespace kirato
