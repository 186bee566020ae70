#include "batch/dry_run_disk.h"

namespace kirato {

namespace {

class DiscardedOutput : public OutputFile {
 public:
  bool Write(std::string_view) override { return true; }
  bool Commit(std::string*) override { return true; }
};

class DiscardedLog : public LogFile {
 public:
  void Write(std::string_view) override {}
  void Flush() override {}
};

std::string WithoutSeparator(const PathRules& rules, std::string path) {
  while (path.size() > 1 && rules.IsSeparator(path.back())) path.pop_back();
  return path;
}

}  // namespace

bool DryRunDisk::Made(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return made_.count(WithoutSeparator(Paths(), path)) != 0;
}

int DryRunDisk::Stat(const std::string& path, FileStatus* st) {
  if (!Made(path)) return base_.Stat(path, st);
  // A folder that is not there: new, empty, and like no other.
  *st = FileStatus();
  st->kind = FileStatus::kDirectory;
  st->device = ~uint64_t{0};
  st->inode = std::hash<std::string>()(WithoutSeparator(Paths(), path));
  return 0;
}

int DryRunDisk::ListDir(const std::string& dir, std::vector<DirEntry>* entries,
                        std::string* err) {
  if (Made(dir)) {
    entries->clear();
    return 0;
  }
  return base_.ListDir(dir, entries, err);
}

Disk::MakeDirResult DryRunDisk::MakeDir(const std::string& path,
                                        std::string*) {
  FileStatus st;
  if (Stat(path, &st) == 0) return kExists;
  std::lock_guard<std::mutex> lock(mutex_);
  made_.insert(WithoutSeparator(Paths(), path));
  return kMade;
}

Disk::ReadResult DryRunDisk::ReadFile(const std::string& path,
                                      std::string* bytes, std::string* err) {
  return base_.ReadFile(path, bytes, err);
}

std::unique_ptr<OutputFile> DryRunDisk::CreateOutput(const std::string&,
                                                     const FileStatus& known,
                                                     std::string* err) {
  // An existing name that is no regular file is the one refusal that
  // looking alone can foresee; the real run fails that record.
  if (known.kind == FileStatus::kDirectory ||
      known.kind == FileStatus::kOther) {
    *err = kNotRegular;
    return nullptr;
  }
  return std::make_unique<DiscardedOutput>();
}

std::unique_ptr<LogFile> DryRunDisk::OpenLog(const std::string&,
                                             std::string*) {
  return std::make_unique<DiscardedLog>();
}

int DryRunDisk::Remove(const std::string&) { return 0; }

}  // namespace kirato
