#include "batch/disk.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <fstream>
#include <sstream>

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
  std::vector<std::string> Names() {
    std::vector<DirEntry> entries;
    EXPECT_EQ(0, disk_.ListDir(dir_, &entries));
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
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
  EXPECT_EQ(Disk::kRead, disk_.ReadFile(dir_ + "/a.ugf", &bytes, &err));
  EXPECT_EQ("x\r\ny", bytes);
  EXPECT_EQ(Disk::kRead, disk_.ReadFile(dir_ + "/big.ugf", &bytes, &err));
  EXPECT_EQ(big, bytes);
  EXPECT_EQ(Disk::kRead, disk_.ReadFile(dir_ + "/empty.ugf", &bytes, &err));
  EXPECT_EQ("", bytes);

  EXPECT_EQ(Disk::kCannotOpen,
            disk_.ReadFile(dir_ + "/missing.ugf", &bytes, &err));
  EXPECT_EQ("No such file or directory", err);

  ASSERT_EQ(0, mkdir((dir_ + "/d.ugf").c_str(), 0777));
  EXPECT_EQ(Disk::kCannotOpen, disk_.ReadFile(dir_ + "/d.ugf", &bytes, &err));
  EXPECT_EQ("Is a directory", err);

  // A FIFO would block the run forever if it were opened for reading.
  ASSERT_EQ(0, mkfifo((dir_ + "/f.ugf").c_str(), 0666));
  EXPECT_EQ(Disk::kCannotOpen, disk_.ReadFile(dir_ + "/f.ugf", &bytes, &err));
}

TEST_F(PosixDiskTest, OutputAppearsOnlyOnCommit) {
  Write("g.sgf", "old");
  std::string err;
  {
    auto out = disk_.CreateOutput(dir_ + "/g.sgf", &err);
    ASSERT_NE(nullptr, out);
    ASSERT_TRUE(out->Write("new"));
    EXPECT_EQ("old", Read("g.sgf"));  // untouched while writing
    EXPECT_EQ(2u, Names().size());    // the temporary file beside it
    ASSERT_TRUE(out->Commit(&err)) << err;
  }
  EXPECT_EQ("new", Read("g.sgf"));
  EXPECT_EQ(std::vector<std::string>{"g.sgf"}, Names());

  {
    auto out = disk_.CreateOutput(dir_ + "/h.sgf", &err);
    ASSERT_NE(nullptr, out);
    ASSERT_TRUE(out->Write("abandoned"));
  }  // never committed: nothing is left behind
  EXPECT_EQ(std::vector<std::string>{"g.sgf"}, Names());
}

TEST_F(PosixDiskTest, OutputIsReadableByOthers) {
  const mode_t old = umask(022);
  std::string err;
  auto out = disk_.CreateOutput(dir_ + "/g.sgf", &err);
  ASSERT_NE(nullptr, out);
  ASSERT_TRUE(out->Commit(&err));
  umask(old);
  struct stat st;
  ASSERT_EQ(0, stat((dir_ + "/g.sgf").c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777);
}

TEST_F(PosixDiskTest, OutputRefusesWhatCannotBeWritten) {
  std::string err;
  ASSERT_EQ(0, mkdir((dir_ + "/d.sgf").c_str(), 0777));
  EXPECT_EQ(nullptr, disk_.CreateOutput(dir_ + "/d.sgf", &err));
  EXPECT_EQ(nullptr, disk_.CreateOutput(dir_ + "/nodir/x.sgf", &err));
  EXPECT_EQ("No such file or directory", err);
  if (geteuid() != 0) {  // root may write anything
    Write("ro.sgf", "keep");
    ASSERT_EQ(0, chmod((dir_ + "/ro.sgf").c_str(), 0444));
    EXPECT_EQ(nullptr, disk_.CreateOutput(dir_ + "/ro.sgf", &err));
    EXPECT_EQ("keep", Read("ro.sgf"));
  }
}

TEST_F(PosixDiskTest, MakeDirTellsExistingFromFailed) {
  std::string err;
  EXPECT_EQ(Disk::kMade, disk_.MakeDir(dir_ + "/n", &err));
  EXPECT_EQ(Disk::kExists, disk_.MakeDir(dir_ + "/n", &err));
  Write("file", "");
  EXPECT_EQ(Disk::kExists, disk_.MakeDir(dir_ + "/file", &err));
  EXPECT_EQ(Disk::kFailed, disk_.MakeDir(dir_ + "/none/n", &err));
  EXPECT_EQ("No such file or directory", err);
}

TEST_F(PosixDiskTest, ListingFollowsLinksAndKeysDirectories) {
  ASSERT_EQ(0, mkdir((dir_ + "/sub").c_str(), 0777));
  Write("f.ugf", "");
  ASSERT_EQ(0, symlink((dir_ + "/sub").c_str(), (dir_ + "/link").c_str()));
  ASSERT_EQ(0, symlink((dir_ + "/f.ugf").c_str(), (dir_ + "/flink").c_str()));
  std::vector<DirEntry> entries;
  ASSERT_EQ(0, disk_.ListDir(dir_, &entries));
  std::map<std::string, bool> isDir;
  for (const DirEntry& e : entries) isDir[e.name] = e.isDir;
  EXPECT_EQ((std::map<std::string, bool>{
                {"f.ugf", false}, {"flink", false}, {"link", true},
                {"sub", true}}),
            isDir);
  std::string a, b;
  ASSERT_EQ(0, disk_.DirKey(dir_ + "/sub", &a));
  ASSERT_EQ(0, disk_.DirKey(dir_ + "/link/", &b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(-1, disk_.DirKey(dir_ + "/f.ugf", &a));
  EXPECT_EQ(-1, disk_.ListDir(dir_ + "/missing", &entries));
}

TEST_F(PosixDiskTest, StatGivesWholeSecondsBeyond2038) {
  Write("late", "");
  const std::string path = dir_ + "/late";
  struct timespec times[2] = {{0, UTIME_OMIT}, {4102444800LL, 999999999}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
  int64_t mtime = 0;
  ASSERT_EQ(0, disk_.Stat(path, &mtime));
  EXPECT_EQ(4102444800LL, mtime);  // 2100-01-01, fractions dropped
  EXPECT_EQ(-1, disk_.Stat(dir_ + "/missing", &mtime));
}

TEST_F(PosixDiskTest, LogIsTruncatedAndReportsErrors) {
  Write("x.log", "old contents");
  std::string err;
  {
    auto log = disk_.OpenLog(dir_ + "/x.log", &err);
    ASSERT_NE(nullptr, log);
    log->Write("new\r\n");
  }
  EXPECT_EQ("new\r\n", Read("x.log"));
  EXPECT_EQ(nullptr, disk_.OpenLog(dir_ + "/none/x.log", &err));
  EXPECT_EQ("No such file or directory", err);
}

}  // namespace
}  // namespace kirato
