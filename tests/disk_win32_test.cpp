#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "batch/disk.h"
#include "batch/path_win32.h"
#include "batch/temp_name.h"
#include "fake_disk.h"

namespace kirato {
namespace {

namespace fs = std::filesystem;

// The real file system on Windows, in a fresh temporary folder.
class Win32DiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    root_ = fs::path(temp) / ("kirato-disk-" +
                              std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(GetTickCount64()));
    ASSERT_TRUE(fs::create_directories(root_));
    dir_ = Utf8FromWide(root_.wstring()) + "\\";
  }
  void TearDown() override { RemoveTree(L"\\\\?\\" + root_.wstring()); }
  // The long-path prefix reaches the deepest folders too.
  static void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
    while (h != INVALID_HANDLE_VALUE) {
      const std::wstring name = found.cFileName;
      const std::wstring full = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name != L"." && name != L"..") RemoveTree(full);
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
      if (!FindNextFileW(h, &found)) {
        FindClose(h);
        break;
      }
    }
    RemoveDirectoryW(path.c_str());
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(Wide(name), std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream f(Wide(name), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  fs::path Wide(const std::string& name) { return WidePath(dir_ + name); }
  std::vector<std::string> Names() {
    std::vector<DirEntry> entries;
    std::string err;
    EXPECT_TRUE(disk_.ListDir(dir_, &entries, &err)) << err;
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::unique_ptr<OutputFile> Create(const std::string& name,
                                     std::string* err) {
    return StartOutput(disk_, dir_ + name, err);
  }
  std::shared_ptr<Folder> Open(const std::string& prefix, std::string* err) {
    return OpenedFolder(disk_, prefix, err);
  }
  bool Unread(const std::string& name, std::string* err) {
    std::string bytes;
    return disk_.ReadFile(dir_ + name, &bytes, err) !=
           Disk::ReadResult::kRead;
  }
  Disk& disk_ = SystemDisk();
  fs::path root_;
  std::string dir_;  // ends in '\'
};

TEST_F(Win32DiskTest, OutputAppearsOnlyOnCommit) {
  Write("g.sgf", "old");
  std::string err;
  {
    auto out = Create("g.sgf", &err);
    ASSERT_NE(nullptr, out) << err;
    ASSERT_TRUE(out->Write("new"));
    EXPECT_EQ("old", Read("g.sgf"));
    ASSERT_TRUE(out->Commit(&err)) << err;
  }
  EXPECT_EQ("new", Read("g.sgf"));
  for (const char* name : {"h.sgf", "g.sgf"}) {  // a new file and a rewrite
    auto out = Create(name, &err);
    ASSERT_NE(nullptr, out);
    ASSERT_TRUE(out->Write("abandoned"));
  }  // never committed: nothing is left behind
  EXPECT_EQ(std::vector<std::string>{"g.sgf"}, Names());
  EXPECT_EQ("new", Read("g.sgf"));
}

TEST_F(Win32DiskTest, FailuresAreNamedAsOnEverySystem) {
  Write("ro.sgf", "keep");
  SetFileAttributesW(Wide("ro.sgf").c_str(), FILE_ATTRIBUTE_READONLY);
  Write("file", "");
  fs::create_directory(Wide("d.sgf"));
  // Files another program holds open, sharing nothing.
  Write("held.ugf", "record");
  Write("held.sgf", "game");
  const auto hold = [&](const char* name) {
    return CreateFileW(Wide(name).c_str(), GENERIC_READ, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  };
  const HANDLE heldRecord = hold("held.ugf");
  const HANDLE heldOutput = hold("held.sgf");
  ASSERT_NE(INVALID_HANDLE_VALUE, heldRecord);
  ASSERT_NE(INVALID_HANDLE_VALUE, heldOutput);
  const std::string inUse =
      "the file is in use by another program (sharing violation)";
  std::string err;
  const struct {
    const char* name;
    std::function<bool()> call;
    const char* err;
  } texts[] = {
      {"folder output", [&] { return !Create("d.sgf", &err); },
       "not a regular file"},
      {"read-only output", [&] { return !Create("ro.sgf", &err); },
       "Permission denied"},
      {"missing folder", [&] { return !Create("no\\x.sgf", &err); },
       "No such file or directory"},
      {"folder record",
       [&] { return Unread("d.sgf", &err); },
       "Is a directory"},
      {"missing record",
       [&] { return Unread("no.ugf", &err); },
       "No such file or directory"},
      {"folder in a file",
       [&] { return !disk_.MakeDir(dir_ + "file\\sub", &err); },
       "Not a directory"},
      {"listing a file",
       [&] { return !Open(dir_ + "file\\", &err); },
       "Not a directory"},
      {"log a folder",
       [&] {
         std::unique_ptr<LogFile> log;
         return !disk_.OpenLog(dir_ + "d.sgf", &log, &err);
       },
       "Is a directory"},
      {"record held open",
       [&] { return Unread("held.ugf", &err); },
       inUse.c_str()},
      {"output held open",
       [&] {
         auto out = Create("held.sgf", &err);
         return out && out->Write("x") && !out->Commit(&err);
       },
       inUse.c_str()},
      {"a device name as a record",
       [&] { return Unread("con.ugf", &err); },
       "not a regular file"},
      {"a device name as an output",
       [&] { return !Create("nul.sgf", &err); }, "not a regular file"},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.name);
    err.clear();
    EXPECT_TRUE(t.call());
    EXPECT_EQ(t.err, err);
  }
  CloseHandle(heldRecord);
  CloseHandle(heldOutput);
  EXPECT_EQ("game", Read("held.sgf"));
  for (const char* name : {"con.ugf", "CON", "nul.sgf", "Aux .ugi", "com1.x",
                           "LPT9", "conin$.ugf", "com\xC2\xB9.ugf"}) {
    EXPECT_TRUE(IsReservedDeviceName(name)) << name;
  }
  for (const char* name : {"cons.ugf", "xcon.ugf", "com.ugf", "com10.ugf",
                           "lpt", ".con", "game.con"}) {
    EXPECT_FALSE(IsReservedDeviceName(name)) << name;
  }
  EXPECT_EQ("keep", Read("ro.sgf"));
  EXPECT_TRUE(disk_.MakeDir(dir_ + "d.sgf", &err));
}

TEST_F(Win32DiskTest, PathsBeyondTheClassicLimit) {
  std::string deep;
  std::string err;
  for (int i = 0; i < 12; ++i) {
    deep += "folder-" + std::to_string(100 + i) + "-of-a-deep-tree\\";
    ASSERT_TRUE(disk_.MakeDir(dir_ + deep, &err)) << err;
  }
  const std::string record = dir_ + deep + "g.sgf";
  ASSERT_GT(record.size(), 300u);
  FileStatus st;
  std::unique_ptr<OutputFile> out;
  ASSERT_TRUE(disk_.CreateOutput(record, st, &out, &err)) << err;
  ASSERT_TRUE(out->Write("game") && out->Commit(&err)) << err;
  std::string bytes;
  EXPECT_EQ(Disk::ReadResult::kRead, disk_.ReadFile(record, &bytes, &err))
      << err;
  EXPECT_EQ("game", bytes);
  ASSERT_TRUE(disk_.Stat(record, &st));
  EXPECT_EQ(FileStatus::kRegular, st.kind);
  std::vector<DirEntry> entries;
  EXPECT_TRUE(disk_.ListDir(dir_ + deep, &entries, &err)) << err;
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("g.sgf", entries[0].name);
}

TEST_F(Win32DiskTest, TimesAreWholeSecondsBeyond2038) {
  Write("g.ugf", "x");
  constexpr int64_t k2040 = 2208988800LL;
  const uint64_t ticks = (k2040 + 11644473600ULL) * 10000000ULL + 9999999;
  FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE h = CreateFileW(Wide("g.ugf").c_str(), FILE_WRITE_ATTRIBUTES, 0,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
  CloseHandle(h);
  FileStatus st;
  ASSERT_TRUE(disk_.Stat(dir_ + "g.ugf", &st));
  EXPECT_EQ(k2040, st.mtime);
}

TEST_F(Win32DiskTest, LeftoversOfEndedRunsAreRemoved) {
  DWORD dead = 4000000;
  for (HANDLE p; (p = OpenProcess(SYNCHRONIZE, FALSE, dead)) != nullptr;) {
    CloseHandle(p);
    ++dead;
  }
  const std::string own = TempName("g.sgf", GetCurrentProcessId(), 0);
  Write(TempName("g.sgf", dead, 0), "half");
  Write(own, "mine");
  Write(".notes.tmp", "not ours");
  std::string err;
  auto folder = Open(dir_, &err);
  ASSERT_NE(nullptr, folder) << err;
  disk_.RemoveLeftovers(*folder);
  std::vector<std::string> kept = {own, ".notes.tmp"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, Names());
}

TEST_F(Win32DiskTest, DatafilesInTheAnsiCodePageBecomeUtf8) {
  const std::string utf8 = "OUT=C:\\caf\xC3\xA9\n";
  EXPECT_EQ(utf8, disk_.DatafileText(utf8));
  const std::string ansi = "OUT=C:\\caf\xE9\n";
  const std::string text = disk_.DatafileText(ansi);
  EXPECT_TRUE(IsUtf8(text));
  if (GetACP() == 1252) {
    EXPECT_EQ(utf8, text);
  }
}

}  // namespace
}  // namespace kirato
