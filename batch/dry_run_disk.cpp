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

// The identity of a folder: the real one's, or for one this run would have
// made, one like no other's, as Stat gives it.
std::pair<uint64_t, uint64_t> DryIdentity(const std::string& prefix,
                                          const Folder* real) {
  std::pair<uint64_t, uint64_t> identity;
  if (real && real->Identity(&identity)) return identity;
  return {~uint64_t{0},
          std::hash<std::string>()(prefix.substr(0, prefix.size() - 1))};
}

// A folder of the real disk, or one this run would have made (no `real`).
class DryFolder : public Folder {
 public:
  DryFolder(const std::string& prefix, std::shared_ptr<Folder> real)
      : DryFolder(prefix, DryIdentity(prefix, real.get()), std::move(real)) {}
  Folder* real() const { return real_.get(); }

 private:
  // Taken by reference, so that `real` is still there when the identity
  // is worked out from it, once.
  DryFolder(const std::string& prefix, std::pair<uint64_t, uint64_t> identity,
            std::shared_ptr<Folder>&& real)
      : Folder(prefix, identity.first, identity.second),
        real_(std::move(real)) {}

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

bool DryRunDisk::Stat(const std::string& path, FileStatus* st) {
  if (!Made(path)) return base_.Stat(path, st);
  // A folder that is not there: new, empty, and like no other.
  *st = FileStatus();
  st->kind = FileStatus::kDirectory;
  st->identified = true;
  st->device = ~uint64_t{0};
  st->inode = std::hash<std::string>()(WithoutSeparator(Paths(), path));
  return true;
}

bool DryRunDisk::ListDir(const std::string& dir,
                         std::vector<DirEntry>* entries, std::string* err) {
  if (Made(dir)) {
    entries->clear();
    return true;
  }
  return base_.ListDir(dir, entries, err);
}

bool DryRunDisk::MakeDir(const std::string& path, std::string*) {
  FileStatus st;
  if (Stat(path, &st)) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  made_.insert(WithoutSeparator(Paths(), path));
  return true;
}

Disk::ReadResult DryRunDisk::ReadFile(const std::string& path,
                                      std::string* bytes, std::string* err) {
  return base_.ReadFile(path, bytes, err);
}

bool DryRunDisk::CreateOutput(const std::string&, const FileStatus& known,
                              std::unique_ptr<OutputFile>* file,
                              std::string* err) {
  // An existing name that is no regular file is the one refusal that
  // looking alone can foresee; the real run fails that record.
  if (known.kind == FileStatus::kDirectory ||
      known.kind == FileStatus::kOther) {
    *err = kNotRegular;
    return false;
  }
  *file = std::make_unique<DiscardedOutput>();
  return true;
}

bool DryRunDisk::OpenLog(const std::string&, std::unique_ptr<LogFile>* log,
                         std::string*) {
  *log = std::make_unique<DiscardedLog>();
  return true;
}

bool DryRunDisk::Remove(const std::string&) { return true; }

bool DryRunDisk::OpenFolder(const std::string& prefix,
                            std::shared_ptr<Folder>* folder,
                            std::string* err) {
  std::shared_ptr<Folder> real;
  if (!Made(prefix) && !base_.OpenFolder(prefix, &real, err)) return false;
  *folder = std::make_shared<DryFolder>(prefix, std::move(real));
  return true;
}

bool DryRunDisk::OpenSubfolder(Folder& parent, std::string_view name,
                               std::shared_ptr<Folder>* folder,
                               std::string* err) {
  Folder* real = RealOf(parent);
  std::string prefix = parent.PathOf(name) + Paths().separator;
  if (!real) return OpenFolder(prefix, folder, err);
  std::shared_ptr<Folder> sub;
  if (!base_.OpenSubfolder(*real, name, &sub, err)) return false;
  *folder = std::make_shared<DryFolder>(std::move(prefix), std::move(sub));
  return true;
}

bool DryRunDisk::MakeSubfolder(Folder& parent, std::string_view name,
                               std::shared_ptr<Folder>* folder, bool* made,
                               std::string* err) {
  Folder* real = RealOf(parent);
  FileStatus st;
  *made = !real || !base_.StatIn(*real, name, &st);
  if (!*made) return OpenSubfolder(parent, name, folder, err);
  // What the real run would make: empty, and nowhere on the disk.
  std::string prefix = parent.PathOf(name) + Paths().separator;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    made_.insert(WithoutSeparator(Paths(), prefix));
  }
  *folder = std::make_shared<DryFolder>(std::move(prefix), nullptr);
  return true;
}

bool DryRunDisk::List(Folder& folder, std::vector<DirEntry>* entries,
                      std::string* err) {
  Folder* real = RealOf(folder);
  if (real) return base_.List(*real, entries, err);
  entries->clear();
  return true;
}

bool DryRunDisk::StatIn(Folder& folder, std::string_view name,
                        FileStatus* st) {
  Folder* real = RealOf(folder);
  if (real) return base_.StatIn(*real, name, st);
  *st = FileStatus();
  return false;
}

bool DryRunDisk::LookIn(Folder& folder, std::string_view name,
                        FileStatus* st) {
  Folder* real = RealOf(folder);
  if (real) return base_.LookIn(*real, name, st);
  *st = FileStatus();
  return false;
}

Disk::ReadResult DryRunDisk::ReadIn(Folder& folder, std::string_view name,
                                    std::string* bytes, std::string* err) {
  Folder* real = RealOf(folder);
  if (real) return base_.ReadIn(*real, name, bytes, err);
  return ReadFile(folder.PathOf(name), bytes, err);
}

bool DryRunDisk::RemoveIn(Folder&, std::string_view) { return true; }

std::string DryRunDisk::PseudoFileSystem(Folder& folder) {
  Folder* real = RealOf(folder);
  return real ? base_.PseudoFileSystem(*real) : std::string();
}

}  // namespace kirato
