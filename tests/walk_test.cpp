#include "batch/walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "batch/record_names.h"
#include "fake_disk.h"

namespace kirato {
namespace {

using Lines = std::vector<std::string>;

constexpr char kGame[] = "[Data]\nPD,B1,1\n";
constexpr char kBadGame[] = "[Header]\nSize=40\n";
constexpr char kOtherGame[] = "[Data]\nDD,B1,1\n";

TEST(WalkTest, EveryDepthLandsInOneOutputDirectory) {
  TestRun t;
  t.disk.AddDir("/ugf/x/y");
  t.disk.AddFile("/ugf/a.ugf", kGame);
  t.disk.AddFile("/ugf/x/b.ugi", kGame);
  t.disk.AddFile("/ugf/x/y/c.ugf", kGame);
  EXPECT_TRUE(ProcessDir(t.run, 7, "/ugf", "/sgf"));
  EXPECT_EQ((Lines{"convert /ugf/a.ugf -> /sgf/a.sgf",
                   "convert /ugf/x/b.ugi -> /sgf/b.sgf",
                   "convert /ugf/x/y/c.ugf -> /sgf/c.sgf"}),
            t.messages);
  EXPECT_EQ(3, t.run.state.directoriesScanned);
  EXPECT_EQ(3, t.run.state.filesConverted);
  std::vector<DirEntry> out;
  std::string err;
  ASSERT_TRUE(t.disk.ListDir("/sgf", &out, &err));
  EXPECT_EQ(3u, out.size());  // no subdirectories are made
  EXPECT_EQ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[b.sgf]\n\n;B[pp])\n",
            t.disk.Content("/sgf/b.sgf"));
}

TEST(WalkTest, CandidatesByTheirExtensionInAnyLetterCase) {
  TestRun t;
  t.disk.AddDir("/ugf");
  for (const char* name : {"A.UGF", "b.Ugi", "c.ug", "d.ugx", "e.ugf.bak",
                           "ugf", "game.2006.ugf", "h.gib"}) {
    t.disk.AddFile(std::string("/ugf/") + name, kGame);
  }
  ProcessDir(t.run, 1, "/ugf/", "/sgf/");
  EXPECT_EQ((Lines{"convert /ugf/A.UGF -> /sgf/A.sgf",
                   "convert /ugf/b.Ugi -> /sgf/b.sgf",
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
  EXPECT_EQ((Lines{"Cannot read '/ugf/old.ugf': Is a directory",
                   "convert (FOUT) /ugf/old.ugf -> /sgf/old.sgf",
                   "convert /ugf/old.ugf/inner.ugf -> /sgf/inner.sgf"}),
            t.messages);
  EXPECT_EQ(1, t.run.state.filesFailed);
  EXPECT_EQ(1, t.run.state.errorFlag);
  EXPECT_EQ(2, t.run.state.directoriesScanned);
}

// The first record in walk order keeps the output; a later one that would
// replace its game is named, on every run, whatever the times say.
TEST(WalkTest, TwoRecordsNeverShareAnOutput) {
  TestRun t;
  t.disk.AddFile("/ugf/a.ugf", kGame, 10);
  t.disk.AddFile("/ugf/a.ugi", kGame, 10);
  t.disk.AddFile("/ugf/x/a.ugf", kGame, 10);
  t.disk.AddFile("/more/a.ugf", kGame, 10);
  t.disk.now = 20;
  const Lines taken = {
      "'/ugf/a.ugi' not converted: its output '/sgf/a.sgf' comes from "
      "'/ugf/a.ugf'",
      "'/ugf/x/a.ugf' not converted: its output '/sgf/a.sgf' comes from "
      "'/ugf/a.ugf'"};
  ProcessDir(t.run, 1, "/ugf", "/sgf");
  Lines expected = {"convert /ugf/a.ugf -> /sgf/a.sgf"};
  expected.insert(expected.end(), taken.begin(), taken.end());
  EXPECT_EQ(expected, t.messages);
  EXPECT_EQ(2, t.run.state.filesFailed);
  EXPECT_EQ(1, t.run.state.errorFlag);
  // Another IN line of the same run, into the same folder by another name.
  t.messages.clear();
  ProcessDir(t.run, 2, "/more", "/sgf/");
  EXPECT_EQ((Lines{"'/more/a.ugf' not converted: its output '/sgf/a.sgf' "
                   "comes from '/ugf/a.ugf'"}),
            t.messages);

  TestRun again;  // a later run, with a.sgf up to date
  again.disk.nodes = t.disk.nodes;
  ProcessDir(again.run, 1, "/ugf", "/sgf");
  EXPECT_EQ(taken, again.messages);
  EXPECT_EQ(1, again.run.state.filesUpToDate);
  EXPECT_EQ(1, again.run.state.errorFlag);

  // Where names differ in case alone, they name one file: a GAME.GIB beside
  // a game.ugf would replace its SGF file.
  for (const PathRules* rules : {&kPosixPaths, &kWindowsPaths}) {
    TestRun w;
    w.disk.paths = rules;
    w.run.state.formats = ~0u;
    w.disk.AddFile("/ugf/game.ugf", kGame);
    w.disk.AddFile("/ugf/GAME.GIB", "\\GS\n\\GE\n");
    ProcessDir(w.run, 1, "/ugf", "/sgf");
    EXPECT_EQ(rules->caseBlind ? 1 : 2, w.run.state.filesConverted);
    EXPECT_EQ(rules->caseBlind ? 1 : 0, w.run.state.filesFailed);
  }
}

TEST(WalkTest, UpToDateDecisions) {
  constexpr int64_t k2040 = 2208988800LL;  // beyond 32-bit seconds
  struct Case {
    const char* name;
    int64_t input;
    int64_t output;  // -1: no output yet
    int64_t program;
    bool upToDate;
    const char* content = "old";  // the output's
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
      {"an empty output is no game", 100, 200, 50, false, ""},
  };
  for (const Case& c : cases) {
    // Where listings tell times (Windows), a record up to date is decided
    // without opening it or its SGF file for their identities.
    for (bool cheaply : {false, true}) {
      SCOPED_TRACE(c.name);
      SCOPED_TRACE(cheaply ? "times from the listing" : "times from Stat");
      TestRun t;
      t.disk.looksCheaply = cheaply;
      t.run.state.executableTime = c.program;
      t.disk.AddFile("/ugf/g.ugf", kGame, c.input);
      t.disk.AddDir("/sgf");
      if (c.output != -1) t.disk.AddFile("/sgf/g.sgf", c.content, c.output);
      ProcessDir(t.run, 1, "/ugf", "/sgf");
      EXPECT_EQ(c.upToDate ? 1 : 0, t.run.state.filesUpToDate);
      EXPECT_EQ(c.upToDate ? 0 : 1, t.run.state.filesConverted);
      EXPECT_EQ(c.upToDate, t.messages.empty());
      const bool statted = t.disk.statted.count("/ugf/g.ugf") != 0;
      EXPECT_EQ(!cheaply || !c.upToDate, statted);
    }
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
      {"input cannot be read",
       [](FakeDisk& d) { d.failRead.insert("/ugf/g.ugf"); },
       {"Cannot read '/ugf/g.ugf': Permission denied",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "old"},
      {"output cannot be created",
       [](FakeDisk& d) { d.failCreate.insert("/sgf/g.sgf"); },
       {"Cannot write '/sgf/g.sgf': Permission denied",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "old"},
      {"output is a device", [](FakeDisk& d) { d.AddDevice("/sgf/g.sgf"); },
       {"Cannot write '/sgf/g.sgf': not a regular file",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, ""},
      {"output is a folder", [](FakeDisk& d) { d.AddDir("/sgf/g.sgf"); },
       {"Cannot write '/sgf/g.sgf': not a regular file",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, ""},
      {"output leads to the record itself",
       [](FakeDisk& d) { d.AddLink("/sgf/g.sgf", "/ugf/g.ugf"); },
       {"Cannot write '/sgf/g.sgf': it is the record '/ugf/g.ugf' itself",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, kGame},
      {"conversion fails",
       [](FakeDisk& d) { d.AddFile("/ugf/g.ugf", kBadGame, 100); },
       {"Illegal board size: 40", "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "<missing>"},
      // What could not be replaced is kept, older than its record.
      {"disk full while writing", [](FakeDisk& d) { d.spaceLeft = 10; },
       {"Cannot write '/sgf/g.sgf': No space left on device",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "old"},
      {"read error inside the input",
       [](FakeDisk& d) { d.readErrorAfter["/ugf/g.ugf"] = 8; },
       {"Cannot read '/ugf/g.ugf': Input/output error",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "old"},
      {"no memory for the record: named as any failure",
       [](FakeDisk& d) { d.noMemory.insert("/ugf/g.ugf"); },
       {"Not enough memory to convert '/ugf/g.ugf'",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "old"},
      {"record changes once while it is converted: converted again",
       [](FakeDisk& d) { d.changesOnRead["/ugf/g.ugf"] = {kOtherGame}; },
       {"convert /ugf/g.ugf -> /sgf/g.sgf"},
       1, 0, 0, "(;GM[1]FF[4]AP[kirato:1.0]\nGN[g.sgf]\n\n;B[dp])\n"},
      {"record keeps changing: left for the next run",
       [](FakeDisk& d) {
         d.changesOnRead["/ugf/g.ugf"] = {kOtherGame, kBadGame};
       },
       {"'/ugf/g.ugf' changed while it was converted; it is left for the "
        "next run",
        "convert (FOUT) /ugf/g.ugf -> /sgf/g.sgf"},
       0, 1, 1, "old"},
  };
  for (const Case& c : cases) {
   for (bool cheaply : {false, true}) {
    SCOPED_TRACE(c.name);
    SCOPED_TRACE(cheaply ? "times from the listing" : "times from Stat");
    TestRun t;
    t.disk.looksCheaply = cheaply;
    t.disk.AddFile("/ugf/g.ugf", kGame, 100);
    t.disk.AddFile("/sgf/g.sgf", "old", 50);
    c.setUp(t.disk);
    EXPECT_TRUE(ProcessDir(t.run, 1, "/ugf", "/sgf"));
    EXPECT_EQ(c.messages, t.messages);
    EXPECT_EQ(c.converted, t.run.state.filesConverted);
    EXPECT_EQ(c.failed, t.run.state.filesFailed);
    EXPECT_EQ(0, t.run.state.filesUpToDate);
    EXPECT_EQ(c.errorFlag, t.run.state.errorFlag);
    EXPECT_EQ(c.output, t.disk.Content("/sgf/g.sgf"));
    EXPECT_EQ(0, t.disk.openOutputs);
   }
  }
}

TEST(WalkTest, OutputDirectoryIsMadeComponentByComponent) {
  TestRun t;
  OpenTraceLog(t.run, 6, "/t.log");
  t.disk.AddDir("/in");
  EXPECT_TRUE(ProcessDir(t.run, 1, "/in", "/new/deep/dir/"));
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

// MIRROR: each SGF file goes where its record's folder stands under IN. A
// folder is made only for a record written into it, outermost first, and
// named in the trace log with the first such record; two records still
// never share an output, whichever IN line and however OUT is written.
TEST(WalkTest, MirroredFoldersUnderTheOutput) {
  struct InLine {
    const char* in;
    const char* out;
    bool mirror;
  };
  const Lines mirrored = {
      "convert /ugf/a.ugf -> /sgf/a.sgf", "Illegal board size: 40",
      "convert (FOUT) /ugf/bad/z.ugf -> /sgf/bad/z.sgf",
      "convert /ugf/x/b.ugf -> /sgf/x/b.sgf",
      "'/ugf/x/b.ugi' not converted: its output '/sgf/x/b.sgf' comes from "
      "'/ugf/x/b.ugf'",
      "convert /ugf/x/y/c.ugf -> /sgf/x/y/c.sgf"};
  const Lines madeMirrored = {"ProcessDir::mkdir /sgf/x",
                              "ProcessDir::mkdir /sgf/x/y"};
  struct Case {
    const char* name;
    std::vector<InLine> lines;
    Lines messages;  // after those of the first IN line when it mirrors
    Lines made;      // folders made, in order
    Lines traced;    // the mkdir lines of the trace log
    int converted, upToDate, failed;
  } cases[] = {
      {"mirrored", {{"/ugf", "/sgf", true}}, {}, {"/sgf/x", "/sgf/x/y"},
       madeMirrored, 3, 1, 2},
      {"two trees into one OUT, written another way",
       {{"/ugf", "/sgf", true}, {"/more", "/sgf/", true}},
       {"'/more/a.ugf' not converted: its output '/sgf/a.sgf' comes from "
        "'/ugf/a.ugf'",
        "'/more/x/b.ugf' not converted: its output '/sgf/x/b.sgf' comes from "
        "'/ugf/x/b.ugf'",
        "convert /more/x/new.ugf -> /sgf/x/new.sgf"},
       {"/sgf/x", "/sgf/x/y"},
       {"ProcessDir::mkdir /sgf/x", "ProcessDir::mkdir /sgf/x/y",
        "ProcessDir::mkdir /more"},  // "/sgf/" has a part before its '/'
       4, 1, 4},
      {"mirrored, then flat into a folder it made",
       {{"/ugf", "/sgf", true}, {"/more/x", "/sgf/x", false}},
       {"'/more/x/b.ugf' not converted: its output '/sgf/x/b.sgf' comes from "
        "'/ugf/x/b.ugf'",
        "convert /more/x/new.ugf -> /sgf/x/new.sgf"},
       {"/sgf/x", "/sgf/x/y"},
       {"ProcessDir::mkdir /sgf/x", "ProcessDir::mkdir /sgf/x/y",
        "ProcessDir::mkdir /more/x"},
       4, 1, 3},
      {"flat, then mirrored into the same OUT",
       {{"/more", "/sgf", false}, {"/ugf", "/sgf", true}},
       {"convert /more/a.ugf -> /sgf/a.sgf",
        "convert /more/x/b.ugf -> /sgf/b.sgf",
        "convert /more/x/new.ugf -> /sgf/new.sgf",
        "'/ugf/a.ugf' not converted: its output '/sgf/a.sgf' comes from "
        "'/more/a.ugf'",
        "Illegal board size: 40",
        "convert (FOUT) /ugf/bad/z.ugf -> /sgf/bad/z.sgf",
        "convert /ugf/x/b.ugf -> /sgf/x/b.sgf",
        "'/ugf/x/b.ugi' not converted: its output '/sgf/x/b.sgf' comes from "
        "'/ugf/x/b.ugf'",
        "convert /ugf/x/y/c.ugf -> /sgf/x/y/c.sgf"},
       {"/sgf/x", "/sgf/x/y"}, madeMirrored, 5, 1, 3},
      {"flat into a folder, then mirrored over it",
       {{"/more/x", "/sgf/x", false}, {"/ugf", "/sgf", true}},
       {"convert /more/x/b.ugf -> /sgf/x/b.sgf",
        "convert /more/x/new.ugf -> /sgf/x/new.sgf",
        "convert /ugf/a.ugf -> /sgf/a.sgf", "Illegal board size: 40",
        "convert (FOUT) /ugf/bad/z.ugf -> /sgf/bad/z.sgf",
        "'/ugf/x/b.ugf' not converted: its output '/sgf/x/b.sgf' comes from "
        "'/more/x/b.ugf'",
        "'/ugf/x/b.ugi' not converted: its output '/sgf/x/b.sgf' comes from "
        "'/more/x/b.ugf'",
        "convert /ugf/x/y/c.ugf -> /sgf/x/y/c.sgf"},
       {"/sgf/x", "/sgf/x/y"},
       {"ProcessDir::mkdir /more/x", "ProcessDir::mkdir /sgf/x/y"}, 4, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    t.disk.AddFile("/ugf/a.ugf", kGame, 10);
    t.disk.AddFile("/ugf/bad/z.ugf", kBadGame, 10);
    t.disk.AddFile("/ugf/old/o.ugf", kGame, 10);
    t.disk.AddFile("/ugf/x/b.ugf", kGame, 10);
    t.disk.AddFile("/ugf/x/b.ugi", kGame, 10);
    t.disk.AddFile("/ugf/x/y/c.ugf", kGame, 10);
    t.disk.AddDir("/ugf/x/y/empty");
    t.disk.AddFile("/more/a.ugf", kGame, 10);
    t.disk.AddFile("/more/x/b.ugf", kGame, 10);
    t.disk.AddFile("/more/x/new.ugf", kGame, 10);
    t.disk.AddFile("/sgf/old/o.sgf", "up to date", 20);
    t.disk.now = 30;
    OpenTraceLog(t.run, 6, "/t.log");
    for (const InLine& line : c.lines) {
      t.run.state.mirror = line.mirror;
      EXPECT_TRUE(ProcessDir(t.run, 1, line.in, line.out));
    }
    Lines expected = c.lines[0].mirror ? mirrored : Lines{};
    expected.insert(expected.end(), c.messages.begin(), c.messages.end());
    EXPECT_EQ(expected, t.messages);
    EXPECT_EQ(c.made, t.disk.made);
    Lines traced;
    std::istringstream log(t.disk.logs["/t.log"]);
    for (std::string line; std::getline(log, line);) {
      if (line.rfind("ProcessDir::mkdir ", 0) == 0) {
        traced.push_back(line.substr(0, line.size() - 1));  // its '\r'
      }
    }
    EXPECT_EQ(c.traced, traced);
    EXPECT_EQ(c.converted, t.run.state.filesConverted);
    EXPECT_EQ(c.upToDate, t.run.state.filesUpToDate);
    EXPECT_EQ(c.failed, t.run.state.filesFailed);
    EXPECT_FALSE(t.disk.Exists("/sgf/bad"));  // nothing was written there
    EXPECT_FALSE(t.disk.Exists("/sgf/x/y/empty"));
  }
}

// Windows takes '\' and '/' alike, adds '\' itself, and never creates the
// drive or share a path begins with; on POSIX systems '\' is a character.
TEST(WalkTest, PathRulesOfEachSystem) {
  struct Case {
    const char* name;
    const PathRules* rules;
    const char* root;  // a folder that exists before the run
    const char* output;
    Lines made;
    Lines messages;
  } cases[] = {
      {"drive and both separators", &kWindowsPaths, "C:", "C:/new\\deep/",
       {"C:/new", "C:/new\\deep"},
       {"convert C:\\ugf\\g.ugf -> C:/new\\deep\\g.sgf",
        "convert C:\\ugf\\x\\h.ugi -> C:/new\\deep\\h.sgf"}},
      {"drive-relative folder", &kWindowsPaths, "C:", "D:sgf", {"D:sgf"},
       {"convert C:\\ugf\\g.ugf -> D:sgf\\g.sgf",
        "convert C:\\ugf\\x\\h.ugi -> D:sgf\\h.sgf"}},
      {"drive root", &kWindowsPaths, "C:", "C:\\", {},
       {"convert C:\\ugf\\g.ugf -> C:\\g.sgf",
        "convert C:\\ugf\\x\\h.ugi -> C:\\h.sgf"}},
      {"share", &kWindowsPaths, "\\\\srv\\share", "\\\\srv\\share\\sgf",
       {"\\\\srv\\share\\sgf"},
       {"convert C:\\ugf\\g.ugf -> \\\\srv\\share\\sgf\\g.sgf",
        "convert C:\\ugf\\x\\h.ugi -> \\\\srv\\share\\sgf\\h.sgf"}},
      {"long path prefix", &kWindowsPaths, "\\\\?\\C:", "\\\\?\\C:\\sgf",
       {"\\\\?\\C:\\sgf"},
       {"convert C:\\ugf\\g.ugf -> \\\\?\\C:\\sgf\\g.sgf",
        "convert C:\\ugf\\x\\h.ugi -> \\\\?\\C:\\sgf\\h.sgf"}},
      {"backslash is a character", &kPosixPaths, "/", "/a\\b/c",
       {"/a\\b", "/a\\b/c"},
       {"convert C:\\ugf/g.ugf -> /a\\b/c/g.sgf",
        "convert C:\\ugf/x/h.ugi -> /a\\b/c/h.sgf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    t.disk.paths = c.rules;
    t.disk.AddDir(c.root);
    const std::string in = std::string("C:\\ugf") + c.rules->separator;
    t.disk.AddFile(in + "g.ugf", kGame);
    t.disk.AddFile(in + "x" + c.rules->separator + "h.ugi", kGame);
    EXPECT_TRUE(ProcessDir(t.run, 1, "C:\\ugf", c.output));
    EXPECT_EQ(c.made, t.disk.made);
    EXPECT_EQ(c.messages, t.messages);
  }
}

TEST(WalkTest, OutputDirectoryThatCannotBeMade) {
  TestRun t;
  t.disk.AddFile("/ugf/g.ugf", kGame);
  t.disk.failMkdir.insert("/new");
  EXPECT_FALSE(ProcessDir(t.run, 4, "/ugf", "/new/deep"));
  EXPECT_EQ((Lines{"Datafile line 4: the outputdir '/new' cannot be created: "
                   "Permission denied"}),
            t.messages);
  EXPECT_EQ(1, t.run.state.errorFlag);
  EXPECT_EQ(0, t.run.state.directoriesScanned);
  EXPECT_EQ(0, t.run.state.filesFailed);

  TestRun u;  // the last component names the whole directory
  u.disk.AddDir("/ugf");
  u.disk.failMkdir.insert("/sgf");
  EXPECT_FALSE(ProcessDir(u.run, 2, "/ugf", "/sgf/"));
  EXPECT_EQ((Lines{"Datafile line 2: the outputdir '/sgf' cannot be created: "
                   "Permission denied"}),
            u.messages);
}

TEST(WalkTest, InputThatCannotBeListedIsNamed) {
  TestRun t;
  EXPECT_TRUE(ProcessDir(t.run, 1, "/nowhere", "/sgf"));
  EXPECT_EQ((Lines{"Datafile line 1: input '/nowhere' cannot be read: No "
                   "such file or directory"}),
            t.messages);
  EXPECT_EQ(1, t.run.state.errorFlag);
  EXPECT_TRUE(t.disk.Exists("/sgf"));
  EXPECT_EQ(1, t.run.state.directoriesScanned);

  TestRun sub;  // a subfolder that cannot be listed: the walk goes on
  sub.disk.AddFile("/ugf/a/secret.ugf", kGame);
  sub.disk.AddFile("/ugf/b/g.ugf", kGame);
  sub.disk.failList.insert("/ugf/a");
  ProcessDir(sub.run, 3, "/ugf", "/sgf");
  EXPECT_EQ((Lines{"Datafile line 3: input '/ugf/a' cannot be read: "
                   "Permission denied",
                   "convert /ugf/b/g.ugf -> /sgf/g.sgf"}),
            sub.messages);
  EXPECT_EQ(1, sub.run.state.errorFlag);

  TestRun shut;  // one that cannot be opened, reached by two ways: named once
  OpenTraceLog(shut.run, 3, "/t.log");
  shut.disk.AddFile("/ugf/a/secret.ugf", kGame);
  shut.disk.AddLink("/ugf/z", "/ugf/a");
  shut.disk.failOpen.insert("/ugf/a");
  ProcessDir(shut.run, 4, "/ugf", "/sgf");
  EXPECT_EQ((Lines{"Datafile line 4: input '/ugf/a' cannot be read: "
                   "Permission denied"}),
            shut.messages);
  EXPECT_NE(std::string::npos,
            shut.disk.logs["/t.log"].find("ProcessDir::seen /ugf/z\r\n"));
}

// However many links lead to a folder, one walk enters it once.
TEST(WalkTest, EveryFolderIsEnteredOnce) {
  TestRun t;
  OpenTraceLog(t.run, 3, "/t.log");
  t.disk.AddFile("/ugf/a.ugf", kGame);
  t.disk.AddFile("/ugf/sub/b.ugf", kGame);
  t.disk.AddLink("/ugf/sub/back", "/ugf");
  t.disk.AddLink("/ugf/self", "/ugf");
  t.disk.AddLink("/ugf/again", "/ugf/sub");  // met first: walked there
  ProcessDir(t.run, 1, "/ugf", "/sgf");
  EXPECT_EQ(2, t.run.state.directoriesScanned);  // /ugf, again
  EXPECT_EQ((Lines{"convert /ugf/a.ugf -> /sgf/a.sgf",
                   "convert /ugf/again/b.ugf -> /sgf/b.sgf"}),
            t.messages);
  const std::string log = t.disk.logs["/t.log"];
  for (const char* seen : {"ProcessDir::seen /ugf/again/back\r\n",
                           "ProcessDir::seen /ugf/self\r\n",
                           "ProcessDir::seen /ugf/sub\r\n"}) {
    EXPECT_NE(std::string::npos, log.find(seen)) << seen;
  }

  // Thirty folders that each lead twice to the next: each walked once.
  TestRun chain;
  for (int i = 0; i < 30; ++i) {
    const std::string dir = "/c/" + std::to_string(i);
    const std::string next = "/c/" + std::to_string(i + 1);
    chain.disk.AddDir(dir);
    chain.disk.AddLink(dir + "/x", next);
    chain.disk.AddLink(dir + "/y", next);
  }
  chain.disk.AddFile("/c/30/g.ugf", kGame);
  ProcessDir(chain.run, 1, "/c/0", "/sgf");
  EXPECT_EQ(31, chain.run.state.directoriesScanned);
  EXPECT_EQ(1, chain.run.state.filesConverted);
}

TEST(WalkTest, TraceLinesAtLevelThree) {
  TestRun t;
  OpenTraceLog(t.run, 3, "/t.log");
  t.disk.AddFile("/ugf/g.ugf", kGame);
  t.disk.AddDir("/ugf/s");
  // A pseudo file system is never walked, reached by a link or not.
  t.disk.AddFile("/proc/1/root/ugf/p.ugf", kGame);
  t.disk.pseudo["/proc"] = "proc";
  t.disk.AddLink("/ugf/s/proc", "/proc");
  t.disk.AddLink("/ugf/s/top", "/");
  ProcessDir(t.run, 1, "/ugf/", "/sgf");
  EXPECT_EQ(
      "ProcessDir /ugf/ -> /sgf\r\n"
      "ProcessDir::FindFirst /ugf/*.ug?\r\n"
      "ProcessFile /ugf/g.ugf -> /sgf/g.sgf\r\n"
      "convert /ugf/g.ugf -> /sgf/g.sgf\r\n"
      "ProcessDir::FindFirst /ugf/*.*\r\n"
      "ProcessDir /ugf/s -> /sgf\r\n"
      "ProcessDir::FindFirst /ugf/s/*.ug?\r\n"
      "ProcessDir::FindFirst /ugf/s/*.*\r\n"
      "ProcessDir::skip /ugf/s/proc (proc file system)\r\n"
      "ProcessDir /ugf/s/top -> /sgf\r\n"
      "ProcessDir::FindFirst /ugf/s/top/*.ug?\r\n"
      "ProcessDir::FindFirst /ugf/s/top/*.*\r\n"
      "ProcessDir::seen /ugf/s/top/proc\r\n"
      "ProcessDir /ugf/s/top/sgf -> /sgf\r\n"
      "ProcessDir::FindFirst /ugf/s/top/sgf/*.ug?\r\n"
      "ProcessDir::FindFirst /ugf/s/top/sgf/*.*\r\n"
      "ProcessDir::seen /ugf/s/top/ugf\r\n",
      t.disk.logs["/t.log"]);
  EXPECT_EQ(4, t.run.state.directoriesScanned);
  EXPECT_EQ(1, t.run.state.filesConverted);
  t.disk.logs["/t.log"].clear();
  ProcessDir(t.run, 2, "/proc", "/sgf");
  EXPECT_EQ("ProcessDir /proc -> /sgf\r\nProcessDir::skip /proc (proc file "
            "system)\r\n",
            t.disk.logs["/t.log"]);
}

TEST(WalkTest, ConvertFileIgnoresTimesAndNamesTheGame) {
  TestRun t;
  t.disk.AddFile("/ugf/g.ugf", kGame, 1);
  t.disk.AddFile("/sgf/g.sgf", "newer", 500);
  EXPECT_TRUE(ConvertFile(t.run, "/ugf/g.ugf", "/sgf/g.sgf", "x.sgf"));
  EXPECT_EQ("(;GM[1]FF[4]AP[kirato:1.0]\nGN[x.sgf]\n\n;B[pp])\n",
            t.disk.Content("/sgf/g.sgf"));
  EXPECT_EQ(1, t.disk.syncs);  // on stable storage before it is reported
  t.disk.failSync = true;
  t.messages.clear();
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/g.ugf", "/sgf/s.sgf", "s.sgf"));
  EXPECT_EQ((Lines{"Cannot write '/sgf/s.sgf': Input/output error",
                   "convert (FOUT) /ugf/g.ugf -> /sgf/s.sgf"}),
            t.messages);
  t.disk.failSync = false;
  t.disk.noMemory.insert("/ugf/g.ugf");
  t.messages.clear();
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/g.ugf", "/sgf/m.sgf", "m.sgf"));
  EXPECT_EQ((Lines{"Not enough memory to convert '/ugf/g.ugf'",
                   "convert (FOUT) /ugf/g.ugf -> /sgf/m.sgf"}),
            t.messages);
  t.disk.noMemory.clear();
  t.disk.AddFile("/ugf/bad.ugf", kBadGame);
  t.disk.AddLink("/sgf/same.sgf", "/ugf/g.ugf");
  t.disk.AddFile("/sgf/b.sgf", "kept");
  t.disk.AddFile("/ugf/other.UGI", "a game");
  t.messages.clear();
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/none.ugf", "/sgf/n.sgf", "n.sgf"));
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/bad.ugf", "/sgf/b.sgf", "b.sgf"));
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/g.ugf", "/ugf/g.ugf", "g.sgf"));
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/g.ugf", "/sgf/same.sgf", "g.sgf"));
  EXPECT_FALSE(ConvertFile(t.run, "/ugf/g.ugf", "/ugf/other.UGI", "g.sgf"));
  EXPECT_EQ(
      (Lines{"Cannot read '/ugf/none.ugf': No such file or directory",
             "convert (FOUT) /ugf/none.ugf -> /sgf/n.sgf",
             "Illegal board size: 40", "convert (FOUT) /ugf/bad.ugf -> /sgf/b.sgf",
             "Cannot write '/ugf/g.ugf': it is the record '/ugf/g.ugf' itself",
             "convert (FOUT) /ugf/g.ugf -> /ugf/g.ugf",
             "Cannot write '/sgf/same.sgf': it is the record '/ugf/g.ugf' itself",
             "convert (FOUT) /ugf/g.ugf -> /sgf/same.sgf",
             "Cannot write '/ugf/other.UGI': the name of a game record, not of "
             "an SGF file",
             "convert (FOUT) /ugf/g.ugf -> /ugf/other.UGI"}),
      t.messages);
  EXPECT_EQ(kGame, t.disk.Content("/ugf/g.ugf"));
  // A single conversion that fails leaves its output as it was.
  EXPECT_EQ("kept", t.disk.Content("/sgf/b.sgf"));
  EXPECT_EQ("a game", t.disk.Content("/ugf/other.UGI"));
  EXPECT_EQ((std::vector<std::string>{}), t.disk.removed);
}

TEST(WalkTest, RecordNames) {
  struct Case {
    const char* name;
    const PathRules* rules;
    FormatSet formats;
    const char* output;      // what the walk makes of it; "" for none
    bool namedLikeRecord;    // refused as an output
  } cases[] = {
      {"g.ugf", &kPosixPaths, kDefaultFormats, "g.sgf", true},
      {"g.ugi", &kPosixPaths, kDefaultFormats, "g.sgf", true},
      {"game.2006.ugf", &kPosixPaths, kDefaultFormats, "game.2006.sgf", true},
      {"G.UGF", &kPosixPaths, kDefaultFormats, "G.sgf", true},
      {"/a.ugf/g.Ugi", &kPosixPaths, kDefaultFormats, "g.sgf", true},
      {"g.gib", &kPosixPaths, kDefaultFormats, "", true},
      {"g.GIB", &kPosixPaths, FormatBit(RecordFormat::kGib), "g.sgf", true},
      {"g.ngf", &kPosixPaths, FormatBit(RecordFormat::kGib), "", true},
      {"g.sgf", &kPosixPaths, ~0u, "", false},
      {"/a.ugf/g", &kPosixPaths, kDefaultFormats, "", false},
      {"g.ugf.", &kPosixPaths, kDefaultFormats, "", false},
      {"C:\\x\\g.ngf. .", &kWindowsPaths, kDefaultFormats, "", true},
      {"C:\\x.ugf\\g", &kWindowsPaths, kDefaultFormats, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordFormat format;
    EXPECT_EQ(c.output,
              OutputNameFor(kPosixPaths.FileName(c.name), c.formats, &format));
    EXPECT_EQ(c.namedLikeRecord, IsNamedLikeRecord(*c.rules, c.name));
  }
}

// Records converted side by side give the messages, the log and the counts
// of a run on one thread, in the same order.
TEST(WalkTest, SameOutcomeForAnyNumberOfThreads) {
  struct Outcome {
    Lines messages;
    std::string log;
    int counts[5];
    std::map<std::string, std::string> files;
    Lines progress;  // what a window hears: records done, folder walked
  };
  // A first run converts; a second finds most records up to date.
  const auto runWith = [](int threads, bool mirror, bool again) {
    TestRun t;
    t.run.state.threads = threads;
    t.run.state.mirror = mirror;
    Lines progress;
    t.run.progress = [&progress](const Progress& p) {
      progress.push_back(Format("%d %.*s", p.records,
                                static_cast<int>(p.folder.size()),
                                p.folder.data()));
    };
    OpenTraceLog(t.run, 9, "/t.log");
    for (int i = 0; i < 60; ++i) {
      const std::string dir = Format("/ugf/%d/", i % 7);
      const std::string name = Format("g%d", i);
      t.disk.AddFile(dir + name + ".ugf", i % 5 == 0 ? kBadGame : kGame);
      if (i % 11 == 0) t.disk.AddFile(dir + name + ".ugi", kGame);
    }
    t.disk.failRead.insert("/ugf/3/g10.ugf");
    t.disk.failList.insert("/ugf/4");
    if (again) {
      TestRun first;
      first.disk.nodes = t.disk.nodes;
      first.disk.failRead = t.disk.failRead;
      first.disk.failList = t.disk.failList;
      first.run.state.mirror = mirror;
      first.disk.now = 5;
      ProcessDir(first.run, 1, "/ugf", "/sgf");
      t.disk.nodes = first.disk.nodes;
      t.disk.AddFile("/ugf/2/g2.ugf", kGame, 10);  // newer than its SGF
    }
    ProcessDir(t.run, 1, "/ugf", "/sgf");
    Outcome o{t.messages, t.disk.logs["/t.log"],
              {t.run.state.directoriesScanned, t.run.state.filesUpToDate,
               t.run.state.filesConverted, t.run.state.filesFailed,
               t.run.state.errorFlag},
              {}, progress};
    for (const auto& [path, node] : t.disk.nodes) {
      if (path.rfind("/sgf/", 0) == 0) o.files[path] = node.content;
    }
    return o;
  };
  for (bool again : {false, true}) {
  for (bool mirror : {false, true}) {
    SCOPED_TRACE(mirror ? "mirrored" : "flat");
    SCOPED_TRACE(again ? "again" : "first");
    const Outcome one = runWith(1, mirror, again);
    ASSERT_EQ(41u + (mirror ? 6 : 0), one.files.size());  // and 6 folders
    EXPECT_EQ(again ? 40 : 0, one.counts[1]);  // up to date
    EXPECT_EQ(again ? 1 : 41, one.counts[2]);  // converted
    // Each record decided, and each folder as the walk comes to it.
    EXPECT_EQ("57 ", one.progress.back());
    EXPECT_EQ(1, std::count_if(one.progress.begin(), one.progress.end(),
                               [](const std::string& p) {
                                 return p.find(" /ugf/6") != std::string::npos;
                               }));
    for (int threads : {2, 4, 16}) {
      SCOPED_TRACE(threads);
      const Outcome many = runWith(threads, mirror, again);
      EXPECT_EQ(one.messages, many.messages);
      EXPECT_EQ(one.log, many.log);
      EXPECT_EQ(one.progress, many.progress);
      EXPECT_EQ(std::vector<int>(one.counts, one.counts + 5),
                std::vector<int>(many.counts, many.counts + 5));
      EXPECT_EQ(one.files, many.files);
    }
  }
  }
}

}  // namespace
}  // namespace kirato
