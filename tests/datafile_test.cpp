#include "batch/datafile.h"

#include <gtest/gtest.h>

#include "fake_disk.h"

namespace kirato {
namespace {

using Lines = std::vector<std::string>;

// The lines a datafile run ends with when nothing was walked.
Lines Summary(int scanned = 0) {
  return {"",
          "*** summary ***",
          "Directories scanned: " + std::to_string(scanned),
          "Files up-to-date: 0",
          "Files converted: 0",
          "Files failed: 0"};
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Runs `text` as the datafile /job/kirato.txt of the program /job/kirato.exe.
bool RunText(TestRun& t, const std::string& text) {
  t.disk.AddDir("/job");
  t.disk.AddFile("/job/kirato.txt", text);
  return RunDatafile(t.run, "/job/kirato.exe");
}

TEST(DatafileTest, CommandsAndTheirMessages) {
  struct Case {
    const char* name;
    std::string datafile;
    bool close;
    bool errorFlag;
    Lines messages;  // before the summary
    void (*setUp)(FakeDisk&) = nullptr;
  } cases[] = {
      {"comments and blank lines only", "; a comment\n\n   ;indented\n  \n", 0,
       0, {}},
      {"close ends the run", "CLOSE\n", 1, 0, {}},
      {"closed is close", "closed\n", 1, 0, {}},
      {"close after an error stays open",
       "COPY = a\nCLOSE\n", 0, 1,
       {"Unknown command in datafile: 'COPY = a'"}},
      {"unknown command keeps its indentation off and its value on",
       "   COPY = a  \n", 0, 1, {"Unknown command in datafile: 'COPY = a'"}},
      {"a semicolon later in the line is no comment", "x ; y\n", 0, 1,
       {"Unknown command in datafile: 'x ; y'"}},
      {"forceerror with colon", "FORCEERROR: disk full\nCLOSE\n", 0, 1,
       {"disk full"}},
      {"forceerror keeps an equals sign", "FORCEERROR=stop\n", 0, 1,
       {"=stop"}},
      {"forceerror alone", "forceerror\n", 0, 1, {""}},
      {"lines after forceerror are not read",
       "FORCEERROR x\nCOPY\n", 0, 1, {"x"}},
      {"in before out", "\n\nIN=C:\\ugf\n", 0, 1,
       {"Datafile line 3: input 'C:\\ugf' while no output specified before"}},
      {"in after an emptied out", "OUT=/sgf\nOUT=\nIN = /ugf  \n", 0, 1,
       {"Datafile line 3: input '/ugf' while no output specified before"}},
      {"outdir without equals empties the output", "OUT=/sgf\nOUTDIR /x\nIN=/u\n",
       0, 1,
       {"Datafile line 3: input '/u' while no output specified before"}},
      {"empty input directory", "OUT=/sgf\nIN=\n", 0, 1,
       {"Datafile line 2: input directory is empty, nothing searched"}},
      {"byte order mark of a UTF-8 file", "\xEF\xBB\xBF" "CLOSE\n", 1, 0, {}},
      {"a byte order mark only at the start", "; x\n\xEF\xBB\xBF" "CLOSE\n", 0,
       1, {"Unknown command in datafile: '\xEF\xBB\xBF" "CLOSE'"}},
      {"a line with a NUL byte is refused whole",
       std::string("OUT=/sgf\nIN=/a\0/etc\nCLOSE\n", 25), 0, 1,
       {"Datafile line 2: contains a NUL byte"}},
      {"threads", "THREADS=4\nTHREADS=0\nCLOSE\n", 1, 0, {}},
      {"threads without a number", "THREADS=many\nTHREADS=\n", 0, 1,
       {"Datafile line 1: THREADS needs a number from 0 to 256, not 'many'",
        "Datafile line 2: THREADS needs a number from 0 to 256, not ''"}},
      {"charsets", "charset=keep\nCHARSET = Utf-8\nCharset=UTF8\n", 0, 0, {}},
      {"mirror on and off", "MIRROR\nmirror=off\nMirrored = On\nCLOSE\n", 1,
       0, {}},
      {"mirror takes nothing else", "MIRROR=sideways\n", 0, 1,
       {"Datafile line 1: MIRROR takes ON or OFF, not 'sideways'"}},
      {"unknown charset", "\nCHARSET=latin1\nCHARSET\n", 0, 1,
       {"Datafile line 2: unknown charset 'latin1', expected KEEP or UTF-8",
        "Datafile line 3: unknown charset '', expected KEEP or UTF-8"}},
      {"what was written cannot be put on disk", "CLOSE\n", 0, 1,
       {"Cannot write the SGF files to disk: Input/output error"},
       [](FakeDisk& d) { d.failSync = true; }},
      {"the log fills the disk: said once, and the run fails",
       "LOG=1\n;a\n;b\n;c\nCLOSE\n", 0, 1,
       {"Cannot write logfile '/job/kirato.log', error: No space left on "
        "device"},
       [](FakeDisk& d) { d.logSpace = 20; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    if (c.setUp) c.setUp(t.disk);
    EXPECT_EQ(c.close, RunText(t, c.datafile));
    EXPECT_EQ(c.errorFlag, t.run.state.errorFlag);
    EXPECT_EQ(Concat(c.messages, Summary()), t.messages);
    EXPECT_EQ(1, t.disk.syncs);  // once, before the summary
  }
}

// What the command line sets holds over the datafile's lines, which are
// still checked.
TEST(DatafileTest, CommandLineHoldsOverTheDatafile) {
  struct Case {
    const char* name;
    bool fixed;
    const char* datafile;
    int threads;
    CharsetMode charset;
    bool mirror;
    Lines messages;
  } cases[] = {
      {"datafile alone", false, "THREADS=3\nCHARSET=KEEP\nMIRROR=OFF\n", 3,
       CharsetMode::kKeep, false, {}},
      {"command line", true, "THREADS=3\nCHARSET=KEEP\nMIRROR=OFF\n", 2,
       CharsetMode::kDecode, true, {}},
      {"command line, lines still checked", true,
       "THREADS=x\nCHARSET=y\nMIRROR=z\n", 2, CharsetMode::kDecode, true,
       {"Datafile line 1: THREADS needs a number from 0 to 256, not 'x'",
        "Datafile line 2: unknown charset 'y', expected KEEP or UTF-8",
        "Datafile line 3: MIRROR takes ON or OFF, not 'z'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    t.run.state.threads = 2;
    t.run.state.mirror = true;  // as --mirror sets it
    t.run.state.threadsFixed = c.fixed;
    t.run.state.charsetFixed = c.fixed;
    t.run.state.mirrorFixed = c.fixed;
    RunText(t, c.datafile);
    EXPECT_EQ(c.threads, t.run.state.threads);
    EXPECT_EQ(c.charset, t.run.state.charset);
    EXPECT_EQ(c.mirror, t.run.state.mirror);
    EXPECT_EQ(Concat(c.messages, Summary()), t.messages);
  }
}

TEST(DatafileTest, KeywordsArePrefixesInAnyCase) {
  struct Case {
    const char* line;
    bool walks;  // reaches the walk of /ugf with output /sgf
  } cases[] = {
      {"IN=/ugf", true},       {"in=/ugf", true},  {"Input=/ugf", true},
      {"INFO=/ugf", true},     {"IN = /ugf", true}, {"IN=/ugf   ", true},
      {"I N=/ugf", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TestRun t;
    t.disk.AddDir("/ugf");
    RunText(t, std::string("Output=/sgf\n") + c.line + "\n");
    EXPECT_EQ(c.walks ? 1 : 0, t.run.state.directoriesScanned);
    EXPECT_EQ(c.walks, t.disk.Exists("/sgf"));
  }
}

TEST(DatafileTest, CharsetHoldsForTheInLinesAfterIt) {
  TestRun t;
  for (const char* name : {"a", "b", "c"}) {
    // 表 in CP932: its second byte is a backslash.
    t.disk.AddFile("/" + std::string(name) + "/" + name + ".ugf",
                   "[Header]\nTitle=\x95\x5c\n");
  }
  RunText(t, "OUT=/o\nIN=/a\nCHARSET=KEEP\nIN=/b\nCHARSET=UTF-8\nIN=/c\n");
  const auto sgf = [](const char* name, const char* rest) {
    return "(;GM[1]FF[4]AP[kirato:1.0]\nGN[" + std::string(name) + ".sgf]\n" +
           rest;
  };
  EXPECT_EQ(sgf("a", "CA[UTF-8]\nEV[表]\n)\n"), t.disk.Content("/o/a.sgf"));
  EXPECT_EQ(sgf("b", "EV[\x95\\\\]\n)\n"), t.disk.Content("/o/b.sgf"));
  EXPECT_EQ(sgf("c", "CA[UTF-8]\nEV[表]\n)\n"), t.disk.Content("/o/c.sgf"));
}

TEST(DatafileTest, ValueKeepsLaterEqualsSigns) {
  TestRun t;
  t.disk.AddDir("/a=b");
  RunText(t, "OUT=/o=p\nIN=  /a=b\n");
  EXPECT_TRUE(t.disk.Exists("/o=p"));
  EXPECT_EQ(1, t.run.state.directoriesScanned);
}

TEST(DatafileTest, LogLevels) {
  struct Case {
    const char* line;
    bool opened;
    int level;
  } cases[] = {
      {"LOG=3", true, 3},   {"log=12abc", true, 12}, {"LOG=0", true, 0},
      {"LOGGING=4", true, 4}, {"LOG = 3", false, 0}, {"LOG 3", false, 0},
      {"LOG=-1", false, 0}, {"LOG=", false, 0},      {"LOG", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TestRun t;
    RunText(t, std::string(c.line) + "\n");
    EXPECT_EQ(c.opened, t.disk.logs.count("/job/kirato.log") == 1);
    EXPECT_EQ(c.level, t.run.state.traceLevel);
    EXPECT_FALSE(t.run.state.errorFlag);
  }
}

TEST(DatafileTest, TraceLinesAtLevelOne) {
  TestRun t;
  RunText(t, "LOG=1\n  ; note\n\nbogus\nIN=/x\nCLOSE\nnot read\n");
  EXPECT_EQ(
      "Datafile:   ; note\r\n"
      "Datafile: \r\n"
      "Datafile: bogus\r\n"
      "Unknown command in datafile: 'bogus'\r\n"
      "Datafile: IN=/x\r\n"
      "Datafile line 5: input '/x' while no output specified before\r\n"
      "Datafile: CLOSE\r\n"
      "\r\n"
      "*** summary ***\r\n"
      "Directories scanned: 0\r\n"
      "Files up-to-date: 0\r\n"
      "Files converted: 0\r\n"
      "Files failed: 0\r\n",
      t.disk.logs["/job/kirato.log"]);
}

TEST(DatafileTest, SecondLogLineStartsAfresh) {
  TestRun t;
  RunText(t, "LOG=1\n;first\nLOG=2\n;second\n");
  EXPECT_EQ(2, t.run.state.traceLevel);
  const std::string& log = t.disk.logs["/job/kirato.log"];
  EXPECT_EQ(0u, log.find("Datafile: ;second\r\n"));
  EXPECT_EQ(std::string::npos, log.find("first"));
}

TEST(DatafileTest, LogThatCannotBeOpened) {
  TestRun t;
  t.disk.failLog = true;
  RunText(t, "LOG=9\nbogus\n");
  EXPECT_EQ(0, t.run.state.traceLevel);
  EXPECT_EQ(1, t.run.state.errorFlag);  // a run without its log has failed
  EXPECT_EQ(
      Concat({"Cannot open logfile '/job/kirato.log', error: Permission denied",
              "Unknown command in datafile: 'bogus'"},
             Summary()),
      t.messages);
}

// A line is one command however long; messages number physical lines.
TEST(DatafileTest, LongLinesAreOneCommand) {
  const std::string longName(3000, 'd');
  struct Case {
    const char* name;
    std::string datafile;
    Lines messages;  // before the summary
    bool walks = false;  // makes the output folder, whole, and walks /u
  } cases[] = {
      {"a long comment", ";" + std::string(1022, 'c') + "IN=/x\nbad\n",
       {"Unknown command in datafile: 'bad'"}},
      {"a long blank start", std::string(1023, ' ') + "IN=/x\n",
       {"Datafile line 1: input '/x' while no output specified before"}},
      {"a long output folder", "OUT=/" + longName + "\nIN=/u\nbad\n",
       {"Unknown command in datafile: 'bad'"}, true},
      {"lines of carriage returns", ";" + std::string(2000, 'c') + "\rbad\r",
       {"Unknown command in datafile: 'bad'"}},
      {"line numbers count long lines once",
       ";" + std::string(5000, 'c') + "\n\nIN=/x\n",
       {"Datafile line 3: input '/x' while no output specified before"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRun t;
    t.disk.AddDir("/u");
    RunText(t, c.datafile);
    EXPECT_EQ(Concat(c.messages, Summary(c.walks ? 1 : 0)), t.messages);
    EXPECT_EQ(c.walks ? Lines{"/" + longName} : Lines{}, t.disk.made);
  }
}

TEST(DatafileTest, PathsBesideTheProgram) {
  struct Case {
    const char* program;
    const char* datafile;  // empty: the program path has no '.'
  } cases[] = {
      {"/job/kirato.exe", "/job/kirato.txt"},
      {"/job/kirato", ""},
      {"/tools.d/conv", "/tools.txt"},  // a '.' in a directory counts
      {"/job/a.b.c", "/job/a.b.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    TestRun t;
    EXPECT_TRUE(RunDatafile(t.run, c.program));  // nothing to look at
    if (*c.datafile == '\0') {
      EXPECT_EQ((Lines{"Executable name has missing extention", c.program}),
                t.messages);
    } else {
      EXPECT_EQ((Lines{"Datafile not found:", c.datafile}), t.messages);
    }
    EXPECT_FALSE(t.run.state.errorFlag);
  }
}

TEST(DatafileTest, ExecutableTimeIsRead) {
  TestRun t;
  t.disk.AddDir("/job");
  t.disk.AddFile("/job/kirato.exe", "", 4102444800LL);
  t.disk.AddFile("/job/kirato.txt", "");
  RunDatafile(t.run, "/job/kirato.exe");
  EXPECT_EQ(4102444800LL, t.run.state.executableTime);
  TestRun u;
  RunDatafile(u.run, "/job/missing.exe");
  EXPECT_EQ(0, u.run.state.executableTime);
}

TEST(DatafileTest, ReadErrorIsReportedNotIgnored) {
  TestRun t;
  t.disk.AddDir("/job");
  t.disk.AddFile("/job/kirato.txt", ";one\nCLOSE\n");
  t.disk.readErrorAfter["/job/kirato.txt"] = 5;
  EXPECT_FALSE(RunDatafile(t.run, "/job/kirato.exe"));
  EXPECT_TRUE(t.run.state.errorFlag);
  EXPECT_EQ(Concat({"Cannot read datafile '/job/kirato.txt', error: "
                    "Input/output error"},
                   Summary()),
            t.messages);
}

TEST(DatafileTest, CountersAddUpOverRuns) {
  TestRun t;
  t.disk.AddDir("/u");
  RunText(t, "OUT=/o\nIN=/u\nIN=/u\n");
  EXPECT_EQ(Summary(2), t.messages);
  t.messages.clear();
  RunDatafile(t.run, "/job/kirato.exe");
  EXPECT_EQ(Summary(4), t.messages);
}

TEST(DatafileTest, ReplaceFileExtension) {
  EXPECT_EQ("/a/job.log", ReplaceFileExtension("/a/job.txt", ".log"));
  EXPECT_EQ("/a/job.log", ReplaceFileExtension("/a/job", ".log"));
  EXPECT_EQ("/a.d/job.log", ReplaceFileExtension("/a.d/job", ".log"));
  EXPECT_EQ("job.x.log", ReplaceFileExtension("job.x.y", ".log"));
  EXPECT_EQ("kirato.txt", ReplaceFileExtension("kirato", ".txt"));
}

}  // namespace
}  // namespace kirato
