#include "batch/disk.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <fstream>
#include <sstream>

#include "batch/temp_name.h"
#include "base/utf8.h"
#include "fake_disk.h"

namespace kirato {
namespace {

// The real file system, in a fresh temporary folder.
class PosixDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kirato-disk-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(0, std::system(cmd.c_str()));
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream f(dir_ + "/" + name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  std::vector<std::string> Names(const std::string& sub = "") {
    std::vector<DirEntry> entries;
    std::string err;
    EXPECT_TRUE(disk_.ListDir(dir_ + sub, &entries, &err)) << err;
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  // Starts an output for `name` as the walk does: with what Stat says.
  std::unique_ptr<OutputFile> Create(const std::string& name,
                                     std::string* err) {
    return StartOutput(disk_, dir_ + "/" + name, err);
  }
  std::shared_ptr<Folder> Open(const std::string& prefix, std::string* err) {
    return OpenedFolder(disk_, prefix, err);
  }
  Disk& disk_ = SystemDisk();
  std::string dir_;
};

TEST_F(PosixDiskTest, ReadFileAcceptsOnlyRegularFiles) {
  const std::string big(200000, 'b');  // more than one read's worth
  Write("a.ugf", "x\r\ny");
  Write("big.ugf", big);
  Write("empty.ugf", "");
  std::string err;
  std::string bytes = "stale";
  using R = Disk::ReadResult;
  EXPECT_EQ(R::kRead, disk_.ReadFile(dir_ + "/a.ugf", &bytes, &err));
  EXPECT_EQ("x\r\ny", bytes);
  EXPECT_EQ(R::kRead, disk_.ReadFile(dir_ + "/big.ugf", &bytes, &err));
  EXPECT_EQ(big, bytes);
  EXPECT_EQ(R::kRead, disk_.ReadFile(dir_ + "/empty.ugf", &bytes, &err));
  EXPECT_EQ("", bytes);

  EXPECT_EQ(R::kCannotOpen,
            disk_.ReadFile(dir_ + "/missing.ugf", &bytes, &err));
  EXPECT_EQ("No such file or directory", err);

  ASSERT_EQ(0, mkdir((dir_ + "/d.ugf").c_str(), 0777));
  EXPECT_EQ(R::kCannotOpen, disk_.ReadFile(dir_ + "/d.ugf", &bytes, &err));
  EXPECT_EQ("Is a directory", err);

  // A FIFO would block the run forever if it were opened for reading.
  ASSERT_EQ(0, mkfifo((dir_ + "/f.ugf").c_str(), 0666));
  EXPECT_EQ(R::kCannotOpen, disk_.ReadFile(dir_ + "/f.ugf", &bytes, &err));
}

TEST_F(PosixDiskTest, OutputAppearsOnlyOnCommit) {
  Write("g.sgf", "old");
  std::string err;
  {
    auto out = Create("g.sgf", &err);
    ASSERT_NE(nullptr, out);
    ASSERT_TRUE(out->Write("new"));
    EXPECT_EQ("old", Read("g.sgf"));  // untouched while writing
    // The bytes being written have no name a killed run could leave behind.
    EXPECT_EQ(std::vector<std::string>{"g.sgf"}, Names());
    ASSERT_TRUE(out->Commit(&err)) << err;
  }
  EXPECT_EQ("new", Read("g.sgf"));
  EXPECT_EQ(std::vector<std::string>{"g.sgf"}, Names());

  for (const char* name : {"h.sgf", "g.sgf"}) {  // a new file and a rewrite
    {
      auto out = Create(name, &err);
      ASSERT_NE(nullptr, out);
      ASSERT_TRUE(out->Write("abandoned"));
    }  // never committed: nothing is left behind
    EXPECT_EQ(std::vector<std::string>{"g.sgf"}, Names());
  }
  EXPECT_EQ("new", Read("g.sgf"));
}

TEST_F(PosixDiskTest, OutputIsReadableByOthers) {
  const mode_t old = umask(022);
  std::string err;
  auto out = Create("g.sgf", &err);
  ASSERT_NE(nullptr, out);
  ASSERT_TRUE(out->Commit(&err));
  umask(old);
  struct stat st;
  ASSERT_EQ(0, stat((dir_ + "/g.sgf").c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777);
}

TEST_F(PosixDiskTest, OnlyRegularFilesAreReplaced) {
  ASSERT_EQ(0, mkdir((dir_ + "/d.sgf").c_str(), 0777));
  ASSERT_EQ(0, mkfifo((dir_ + "/p.sgf").c_str(), 0666));
  ASSERT_EQ(0, symlink("/dev/null", (dir_ + "/null.sgf").c_str()));
  std::string err;
  for (const char* name : {"d.sgf", "p.sgf", "null.sgf"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(nullptr, Create(name, &err));
    EXPECT_EQ("not a regular file", err);
  }
  FileStatus st;
  ASSERT_TRUE(disk_.Stat(dir_ + "/p.sgf", &st));
  EXPECT_EQ(FileStatus::kOther, st.kind);  // the pipe is still a pipe
  EXPECT_EQ(nullptr, Create("nodir/x.sgf", &err));
  EXPECT_EQ("No such file or directory", err);
  if (geteuid() != 0) {  // root may write anything
    Write("ro.sgf", "keep");
    ASSERT_EQ(0, chmod((dir_ + "/ro.sgf").c_str(), 0444));
    EXPECT_EQ(nullptr, Create("ro.sgf", &err));
    EXPECT_EQ("keep", Read("ro.sgf"));
  }
}

// A link is written through: the file it leads to gets the game, and the
// link stays a link, also when its target does not exist yet.
TEST_F(PosixDiskTest, OutputThroughALink) {
  ASSERT_EQ(0, mkdir((dir_ + "/real").c_str(), 0777));
  Write("real/g.sgf", "old");
  ASSERT_EQ(0, symlink("real/g.sgf", (dir_ + "/g.sgf").c_str()));
  ASSERT_EQ(0, symlink("real/new.sgf", (dir_ + "/n.sgf").c_str()));
  std::string err;
  for (const char* name : {"g.sgf", "n.sgf"}) {
    SCOPED_TRACE(name);
    auto out = Create(name, &err);
    ASSERT_NE(nullptr, out) << err;
    ASSERT_TRUE(out->Write(name));
    ASSERT_TRUE(out->Commit(&err)) << err;
    FileStatus st;
    ASSERT_TRUE(disk_.Stat(dir_ + "/" + name, &st));
    EXPECT_TRUE(st.isLink);
    EXPECT_EQ(name, Read(name));
  }
  EXPECT_EQ("g.sgf", Read("real/g.sgf"));
  EXPECT_EQ((std::vector<std::string>{"g.sgf", "new.sgf"}), Names("/real"));
}

// What a killed run left is removed once its process is gone; the files of
// live processes are left alone.
TEST_F(PosixDiskTest, LeftoversOfKilledRunsAreRemoved) {
  long dead = 4000000;
  while (kill(static_cast<pid_t>(dead), 0) == 0 || errno != ESRCH) ++dead;
  const std::string own = std::to_string(getpid());
  Write(".g.sgf." + std::to_string(dead) + "-0.tmp", "half");
  Write(".g.sgf." + own + "-0.tmp", "mine");
  Write(".g.sgf.1-3.tmp", "init is alive");
  Write(".notes.tmp", "not ours");
  Write("g.sgf", "kept");
  std::string err;
  auto folder = Open(dir_ + "/", &err);
  ASSERT_NE(nullptr, folder) << err;
  disk_.RemoveLeftovers(*folder);
  std::vector<std::string> kept = {".g.sgf." + own + "-0.tmp",
                                   ".g.sgf.1-3.tmp", ".notes.tmp", "g.sgf"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, Names());
}

// A name near the file system's limit can be replaced: the temporary name
// beside it keeps only as much of it as fits, in whole characters.
TEST_F(PosixDiskTest, LongNamesCanBeReplaced) {
  std::string name;
  for (int i = 0; i < 81; ++i) name += "\xE7\xA2\x81";  // 碁
  name += ".sgf";  // 247 bytes
  const struct {
    std::string target;
    unsigned attempt;
    size_t limit;
  } names[] = {{name, 0, 255}, {name, 99, 143}, {"g.sgf", 7, 255}};
  for (const auto& n : names) {
    SCOPED_TRACE(n.limit);
    const std::string temp = TempName(n.target, 4194304, n.attempt, n.limit);
    EXPECT_GE(n.limit, temp.size());
    EXPECT_EQ(4194304, TempNameOwner(temp));
    EXPECT_EQ(0u, temp.find("." + n.target.substr(0, 3)));
    EXPECT_EQ(std::string::npos, FirstInvalidUtf8(temp));
  }
  EXPECT_EQ(".g.sgf.4194304-7.tmp", TempName("g.sgf", 4194304, 7));
  std::string err;
  for (const char* content : {"first", "second"}) {
    auto out = Create(name, &err);
    ASSERT_NE(nullptr, out) << err;
    ASSERT_TRUE(out->Write(content));
    ASSERT_TRUE(out->Commit(&err)) << err;
    EXPECT_EQ(content, Read(name));
  }
  EXPECT_EQ(std::vector<std::string>{name}, Names());
}

// Folders are reached one from the other, so that a tree deeper than the
// system's path limit can be read and written, and deeper than the folders
// kept open: those closed meanwhile are opened again from their parents,
// and only when they are still the folders first opened.
TEST_F(PosixDiskTest, FoldersReachBeyondThePathLimit) {
  const std::string name = "level-of-a-deep-tree";  // 20 bytes
  constexpr int kDepth = 300;
  const int home = open(".", O_RDONLY | O_DIRECTORY);
  ASSERT_LE(0, home);
  ASSERT_EQ(0, chdir(dir_.c_str()));
  for (int depth = 0; depth < kDepth; ++depth) {  // 6,300 bytes of path
    ASSERT_EQ(0, mkdir(name.c_str(), 0777));
    ASSERT_EQ(0, chdir(name.c_str()));
  }
  std::ofstream("deep.ugf") << "record";
  ASSERT_EQ(0, fchdir(home));
  close(home);

  std::string err;
  std::vector<std::shared_ptr<Folder>> folders = {Open(dir_ + "/", &err)};
  for (int depth = 0; folders.back() && depth < kDepth; ++depth) {
    std::shared_ptr<Folder> sub;
    EXPECT_TRUE(disk_.OpenSubfolder(*folders.back(), name, &sub, &err));
    folders.push_back(sub);
  }
  ASSERT_NE(nullptr, folders.back()) << err;
  std::vector<DirEntry> entries;
  // The shallow folders were closed on the way down. One replaced since it
  // was opened is not taken for it; each other one opens again.
  const std::string first = dir_ + "/" + name;
  ASSERT_EQ(0, rename(first.c_str(), (dir_ + "/moved").c_str()));
  ASSERT_EQ(0, mkdir(first.c_str(), 0777));
  EXPECT_FALSE(disk_.List(*folders[2], &entries, &err));
  EXPECT_EQ("the folder was moved or replaced during the walk", err);
  ASSERT_EQ(0, rmdir(first.c_str()));
  ASSERT_EQ(0, rename((dir_ + "/moved").c_str(), first.c_str()));
  for (int depth : {150, 2, 1, 0, 299}) {
    SCOPED_TRACE(depth);
    EXPECT_TRUE(disk_.List(*folders[depth], &entries, &err)) << err;
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(name, entries[0].name);
  }
  const std::shared_ptr<Folder>& folder = folders.back();
  ASSERT_GT(folder->prefix().size(), 6000u);
  std::string bytes;
  EXPECT_EQ(Disk::ReadResult::kRead,
            disk_.ReadIn(*folder, "deep.ugf", &bytes, &err));
  EXPECT_EQ("record", bytes);
  std::unique_ptr<OutputFile> out;
  ASSERT_TRUE(disk_.CreateOutputIn(folder, "deep.sgf", FileStatus(), &out,
                                   &err))
      << err;
  ASSERT_TRUE(out->Write("game"));
  ASSERT_TRUE(out->Commit(&err)) << err;
  FileStatus st;
  EXPECT_TRUE(disk_.StatIn(*folder, "deep.sgf", &st));
  EXPECT_EQ(FileStatus::kRegular, st.kind);
  // A mirrored tree is made as deep: each folder within the one above it.
  for (bool first : {true, false}) {
    std::shared_ptr<Folder> sub;
    bool made = !first;
    ASSERT_TRUE(disk_.MakeSubfolder(*folder, "mirrored", &sub, &made, &err))
        << err;
    EXPECT_EQ(first, made);
    EXPECT_EQ(folder->PathOf("mirrored/"), sub->prefix());
  }
  std::shared_ptr<Folder> sub;
  bool made = true;
  EXPECT_FALSE(disk_.MakeSubfolder(*folder, "deep.sgf", &sub, &made, &err));
  EXPECT_EQ("Not a directory", err);
  EXPECT_FALSE(made);
  EXPECT_TRUE(disk_.List(*folder, &entries, &err));
  EXPECT_EQ(3u, entries.size());
}

// An existing name passes, whatever it is: opening it as a folder says
// why it is none.
TEST_F(PosixDiskTest, MakeDirPassesWhatExists) {
  std::string err;
  EXPECT_TRUE(disk_.MakeDir(dir_ + "/n", &err));
  EXPECT_EQ(std::vector<std::string>{"n"}, Names());
  EXPECT_TRUE(disk_.MakeDir(dir_ + "/n", &err));
  Write("file", "");
  EXPECT_TRUE(disk_.MakeDir(dir_ + "/file", &err));
  EXPECT_FALSE(disk_.MakeDir(dir_ + "/none/n", &err));
  EXPECT_EQ("No such file or directory", err);
}

TEST_F(PosixDiskTest, ListingFollowsLinksAndKnowsDirectories) {
  ASSERT_EQ(0, mkdir((dir_ + "/sub").c_str(), 0777));
  Write("f.ugf", "");
  ASSERT_EQ(0, symlink((dir_ + "/sub").c_str(), (dir_ + "/link").c_str()));
  ASSERT_EQ(0, symlink((dir_ + "/f.ugf").c_str(), (dir_ + "/flink").c_str()));
  std::vector<DirEntry> entries;
  std::string err;
  ASSERT_TRUE(disk_.ListDir(dir_, &entries, &err));
  std::map<std::string, bool> isDir;
  for (const DirEntry& e : entries) isDir[e.name] = e.isDir;
  EXPECT_EQ((std::map<std::string, bool>{
                {"f.ugf", false}, {"flink", false}, {"link", true},
                {"sub", true}}),
            isDir);
  FileStatus a, b;
  ASSERT_TRUE(disk_.Stat(dir_ + "/sub", &a));
  ASSERT_TRUE(disk_.Stat(dir_ + "/link/", &b));
  EXPECT_EQ(FileStatus::kDirectory, b.kind);
  EXPECT_EQ(std::make_pair(a.device, a.inode), std::make_pair(b.device, b.inode));
  EXPECT_FALSE(disk_.ListDir(dir_ + "/missing", &entries, &err));
  EXPECT_EQ("No such file or directory", err);
  EXPECT_EQ(nullptr, Open(dir_ + "/f.ugf/", &err));
  EXPECT_EQ("Not a directory", err);
}

TEST_F(PosixDiskTest, StatGivesWholeSecondsBeyond2038) {
  Write("late", "");
  const std::string path = dir_ + "/late";
  struct timespec times[2] = {{0, UTIME_OMIT}, {4102444800LL, 999999999}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
  FileStatus st;
  ASSERT_TRUE(disk_.Stat(path, &st));
  EXPECT_EQ(4102444800LL, st.mtime);  // 2100-01-01, fractions dropped
  EXPECT_FALSE(disk_.Stat(dir_ + "/missing", &st));
  EXPECT_EQ(FileStatus::kMissing, st.kind);
}

TEST_F(PosixDiskTest, LogIsTruncatedAndReportsErrors) {
  Write("x.log", "old contents");
  std::string err;
  std::unique_ptr<LogFile> log;
  ASSERT_TRUE(disk_.OpenLog(dir_ + "/x.log", &log, &err));
  ASSERT_TRUE(log->Write("new\r\n", &err));
  log.reset();
  EXPECT_EQ("new\r\n", Read("x.log"));
  EXPECT_FALSE(disk_.OpenLog(dir_ + "/none/x.log", &log, &err));
  EXPECT_EQ(nullptr, log);
  EXPECT_EQ("No such file or directory", err);
}

}  // namespace
}  // namespace kirato
