// A disk for runs that only show what they would do: every read passes
// through to the real disk, every write is taken as done and does nothing.
// The walk and the conversions then decide as a real run decides, and leave
// no folder, no SGF file and no trace log behind.
#ifndef KIRATO_BATCH_DRY_RUN_DISK_H_
#define KIRATO_BATCH_DRY_RUN_DISK_H_

#include <map>

#include "batch/disk.h"

namespace kirato {

class DryRunDisk : public Disk {
 public:
  explicit DryRunDisk(Disk& base) : base_(base) {}

  int Stat(const std::string& path, int64_t* mtime) override;
  int ListDir(const std::string& dir, std::vector<DirEntry>* entries) override;
  int DirKey(const std::string& dir, std::string* key) override;
  MakeDirResult MakeDir(const std::string& path, std::string* err) override;
  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override;
  std::unique_ptr<OutputFile> CreateOutput(const std::string& path,
                                           std::string* err) override;
  std::unique_ptr<LogFile> OpenLog(const std::string& path,
                                   std::string* err) override;
  int Remove(const std::string& path) override;

  // Called by an output when it would have been committed.
  void NoteWritten(const std::string& path);

 private:
  Disk& base_;
  // Files this run would have written (their time) or removed (-1). Two
  // records that share an SGF name must find it as a real run leaves it.
  std::map<std::string, int64_t> changed_;
};

}  // namespace kirato

#endif  // KIRATO_BATCH_DRY_RUN_DISK_H_
