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
  bool Write(std::string_view, std::string*) override { return true; }
  bool Flush(std::string*) override { return true; }
};

// A folder of the real disk, or one this run would have made (no `real`).
class DryFolder : public Folder {
 public:
  DryFolder(std::string prefix, std::shared_ptr<Folder> real)
      : Folder(std::move(prefix)), real_(std::move(real)) {}
  Folder* real() const { return real_.get(); }

 private:
  std::shared_ptr<Folder> real_;
};

Folder* RealOf(Folder& folder) {
  return static_cast<DryFolder&>(folder).real();
}

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

std::shared_ptr<Folder> DryRunDisk::OpenFolder(const std::string& prefix,
                                               std::string* err) {
  if (Made(prefix)) return std::make_shared<DryFolder>(prefix, nullptr);
  std::shared_ptr<Folder> real = base_.OpenFolder(prefix, err);
  if (!real) return nullptr;
  return std::make_shared<DryFolder>(prefix, std::move(real));
}

std::shared_ptr<Folder> DryRunDisk::OpenSubfolder(Folder& parent,
                                                  std::string_view name,
                                                  std::string* err) {
  Folder* real = RealOf(parent);
  std::string prefix = parent.PathOf(name) + Paths().separator;
  if (!real) return OpenFolder(prefix, err);
  std::shared_ptr<Folder> sub = base_.OpenSubfolder(*real, name, err);
  if (!sub) return nullptr;
  return std::make_shared<DryFolder>(std::move(prefix), std::move(sub));
}

int DryRunDisk::List(Folder& folder, std::vector<DirEntry>* entries,
                     std::string* err) {
  Folder* real = RealOf(folder);
  if (real) return base_.List(*real, entries, err);
  entries->clear();
  return 0;
}

int DryRunDisk::StatIn(Folder& folder, std::string_view name,
                       FileStatus* st) {
  Folder* real = RealOf(folder);
  if (real) return base_.StatIn(*real, name, st);
  *st = FileStatus();
  return -1;
}

Disk::ReadResult DryRunDisk::ReadIn(Folder& folder, std::string_view name,
                                    std::string* bytes, std::string* err) {
  Folder* real = RealOf(folder);
  if (real) return base_.ReadIn(*real, name, bytes, err);
  return ReadFile(folder.PathOf(name), bytes, err);
}

std::unique_ptr<OutputFile> DryRunDisk::CreateOutputIn(
    const std::shared_ptr<Folder>& folder, std::string_view name,
    const FileStatus& known, std::string* err) {
  return CreateOutput(folder->PathOf(name), known, err);
}

int DryRunDisk::RemoveIn(Folder&, std::string_view) { return 0; }

void DryRunDisk::RemoveLeftovers(Folder&) {}

std::string DryRunDisk::PseudoFileSystem(Folder& folder) {
  Folder* real = RealOf(folder);
  return real ? base_.PseudoFileSystem(*real) : std::string();
}

}  // namespace kirato
