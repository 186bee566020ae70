#include "batch/dry_run_disk.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kirato {

namespace {

constexpr int64_t kRemoved = -1;

class DiscardedOutput : public OutputFile {
 public:
  DiscardedOutput(DryRunDisk& disk, std::string path)
      : disk_(disk), path_(std::move(path)) {}
  bool Write(std::string_view) override { return true; }
  bool Commit(std::string*) override {
    disk_.NoteWritten(path_);
    return true;
  }

 private:
  DryRunDisk& disk_;
  std::string path_;
};

class DiscardedLog : public LogFile {
 public:
  void Write(std::string_view) override {}
  void Flush() override {}
};

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int DryRunDisk::Stat(const std::string& path, int64_t* mtime) {
  const auto it = changed_.find(path);
  if (it == changed_.end()) return base_.Stat(path, mtime);
  if (it->second == kRemoved) return -1;
  *mtime = it->second;
  return 0;
}

int DryRunDisk::ListDir(const std::string& dir,
                        std::vector<DirEntry>* entries) {
  return base_.ListDir(dir, entries);
}

int DryRunDisk::DirKey(const std::string& dir, std::string* key) {
  return base_.DirKey(dir, key);
}

Disk::MakeDirResult DryRunDisk::MakeDir(const std::string& path,
                                        std::string*) {
  int64_t mtime = 0;
  return base_.Stat(path, &mtime) == 0 ? kExists : kMade;
}

Disk::ReadResult DryRunDisk::ReadFile(const std::string& path,
                                      std::string* bytes, std::string* err) {
  return base_.ReadFile(path, bytes, err);
}

std::unique_ptr<OutputFile> DryRunDisk::CreateOutput(const std::string& path,
                                                     std::string* err) {
  // A folder in the SGF file's place is the one refusal that reading alone
  // can foresee; the real run counts that record as failed.
  std::string key;
  if (base_.DirKey(path, &key) == 0) {
    *err = std::strerror(EISDIR);
    return nullptr;
  }
  return std::make_unique<DiscardedOutput>(*this, path);
}

std::unique_ptr<LogFile> DryRunDisk::OpenLog(const std::string&,
                                             std::string*) {
  return std::make_unique<DiscardedLog>();
}

int DryRunDisk::Remove(const std::string& path) {
  changed_[path] = kRemoved;
  return 0;
}

void DryRunDisk::NoteWritten(const std::string& path) {
  changed_[path] = SecondsNow();
}

}  // namespace kirato
