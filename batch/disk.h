// The one seam between the program and the file system. The walk, the
// output writer, the datafile reader and the trace log talk to nothing else,
// so tests can replace the disk with an in-memory fake that fails on demand.
#ifndef KIRATO_BATCH_DISK_H_
#define KIRATO_BATCH_DISK_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kirato {

// An output file that appears under its final name only when Commit()
// succeeds. Until then the bytes go to a temporary file beside the target;
// destroying an uncommitted file removes the temporary file.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // false on a write error; the error text is kept for Commit().
  virtual bool Write(std::string_view bytes) = 0;
  // Flushes, closes and moves the file onto its name. false (with *err set,
  // and the temporary file removed) when any step failed.
  virtual bool Commit(std::string* err) = 0;
};

// The trace log: buffered, written line by line, never renamed.
class LogFile {
 public:
  virtual ~LogFile() = default;
  virtual void Write(std::string_view bytes) = 0;
  virtual void Flush() = 0;
};

struct DirEntry {
  std::string name;
  bool isDir = false;  // a directory, or a link to one
};

class Disk {
 public:
  virtual ~Disk() = default;

  // Modification time in whole seconds. 0 on success, -1 when the file
  // cannot be looked at.
  virtual int Stat(const std::string& path, int64_t* mtime) = 0;

  // Every entry of a directory except "." and "..", in no particular order.
  // 0 on success, -1 when the directory cannot be read.
  virtual int ListDir(const std::string& dir, std::vector<DirEntry>* entries) = 0;

  // A key that is the same for every path that reaches the same directory
  // (through links or not). 0 on success, -1 when there is no directory.
  virtual int DirKey(const std::string& dir, std::string* key) = 0;

  enum MakeDirResult { kMade = 0, kExists = 1, kFailed = -1 };
  // Creates one directory; on kFailed *err holds the system's text.
  virtual MakeDirResult MakeDir(const std::string& path, std::string* err) = 0;

  enum ReadResult { kRead = 0, kCannotOpen = -1, kReadError = -2 };
  // Reads a whole regular file into *bytes. On failure *err holds the
  // system's text: kCannotOpen when the path cannot be opened or is not a
  // regular file, kReadError when reading it failed part way.
  virtual ReadResult ReadFile(const std::string& path, std::string* bytes,
                              std::string* err) = 0;

  // Starts an output file for `path` (see OutputFile). nullptr (with *err
  // set) when it cannot be created.
  virtual std::unique_ptr<OutputFile> CreateOutput(const std::string& path,
                                                   std::string* err) = 0;

  // Creates or truncates a log file. nullptr (with *err set) on failure.
  virtual std::unique_ptr<LogFile> OpenLog(const std::string& path,
                                           std::string* err) = 0;

  // Removes a file. 0 on success, -1 otherwise.
  virtual int Remove(const std::string& path) = 0;
};

// The real file system.
Disk& SystemDisk();

}  // namespace kirato

#endif  // KIRATO_BATCH_DISK_H_
