// A disk for runs that only show what they would do: every read passes
// through to the real disk, every write is taken as done and does nothing.
// The walk and the conversions then decide as a real run decides, and leave
// no folder, no SGF file and no trace log behind.
#ifndef KIRATO_BATCH_DRY_RUN_DISK_H_
#define KIRATO_BATCH_DRY_RUN_DISK_H_

#include <mutex>
#include <set>

#include "batch/disk.h"

namespace kirato {

class DryRunDisk : public Disk {
 public:
  explicit DryRunDisk(Disk& base) : base_(base) {}

  bool Stat(const std::string& path, FileStatus* st) override;
  bool ListDir(const std::string& dir, std::vector<DirEntry>* entries,
               std::string* err) override;
  bool MakeDir(const std::string& path, std::string* err) override;
  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override;
  bool CreateOutput(const std::string& path, const FileStatus& known,
                    std::unique_ptr<OutputFile>* file,
                    std::string* err) override;
  bool OpenLog(const std::string& path, std::unique_ptr<LogFile>* log,
               std::string* err) override;
  bool Remove(const std::string& path) override;

  // Folders that exist are reached through the real disk's folders, as a
  // real run reaches them, so that a dry run walks any depth; the folders
  // it would have made are empty.
  bool OpenFolder(const std::string& prefix, std::shared_ptr<Folder>* folder,
                  std::string* err) override;
  bool OpenSubfolder(Folder& parent, std::string_view name,
                     std::shared_ptr<Folder>* folder,
                     std::string* err) override;
  bool MakeSubfolder(Folder& parent, std::string_view name,
                     std::shared_ptr<Folder>* folder, bool* made,
                     std::string* err) override;
  bool List(Folder& folder, std::vector<DirEntry>* entries,
            std::string* err) override;
  bool StatIn(Folder& folder, std::string_view name, FileStatus* st) override;
  bool LookIn(Folder& folder, std::string_view name, FileStatus* st) override;
  ReadResult ReadIn(Folder& folder, std::string_view name, std::string* bytes,
                    std::string* err) override;
  bool RemoveIn(Folder& folder, std::string_view name) override;
  std::string PseudoFileSystem(Folder& folder) override;

  const PathRules& Paths() const override { return base_.Paths(); }
  std::string DatafileText(std::string bytes) override {
    return base_.DatafileText(std::move(bytes));
  }

 private:
  // Whether `path` names a folder this run would have made.
  bool Made(const std::string& path);

  Disk& base_;
  std::mutex mutex_;
  std::set<std::string> made_;  // without a trailing separator
};

}  // namespace kirato

#endif  // KIRATO_BATCH_DRY_RUN_DISK_H_
