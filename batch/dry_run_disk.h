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

  int Stat(const std::string& path, FileStatus* st) override;
  int ListDir(const std::string& dir, std::vector<DirEntry>* entries,
              std::string* err) override;
  MakeDirResult MakeDir(const std::string& path, std::string* err) override;
  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override;
  std::unique_ptr<OutputFile> CreateOutput(const std::string& path,
                                           const FileStatus& known,
                                           std::string* err) override;
  std::unique_ptr<LogFile> OpenLog(const std::string& path,
                                   std::string* err) override;
  int Remove(const std::string& path) override;

  // Folders that exist are reached through the real disk's folders, as a
  // real run reaches them, so that a dry run walks any depth; the folders
  // it would have made are empty.
  std::shared_ptr<Folder> OpenFolder(const std::string& prefix,
                                     std::string* err) override;
  std::shared_ptr<Folder> OpenSubfolder(Folder& parent, std::string_view name,
                                        std::string* err) override;
  int List(Folder& folder, std::vector<DirEntry>* entries,
           std::string* err) override;
  int StatIn(Folder& folder, std::string_view name, FileStatus* st) override;
  ReadResult ReadIn(Folder& folder, std::string_view name, std::string* bytes,
                    std::string* err) override;
  std::unique_ptr<OutputFile> CreateOutputIn(
      const std::shared_ptr<Folder>& folder, std::string_view name,
      const FileStatus& known, std::string* err) override;
  int RemoveIn(Folder& folder, std::string_view name) override;
  void RemoveLeftovers(Folder& folder) override;
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
