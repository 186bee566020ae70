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

// Reads a text file the way a 1024-byte line buffer does: each piece holds at
// most kMaxPiece bytes and ends after a line feed or where the buffer is
// full, so a longer line arrives as several pieces.
//
// A carriage return directly before a line feed is dropped, and a Ctrl-Z byte
// ends the text, as when the file is read in the text mode of the systems
// that wrote most UGF records: so "\r\n" counts as one character towards the
// piece limit, and a DOS end-of-file marker is not taken for a line.
class LineReader {
 public:
  static constexpr size_t kMaxPiece = 1023;
  virtual ~LineReader() = default;
  // 1: a piece was read; 0: end of the text; -1: read error (see Error()).
  virtual int ReadPiece(std::string* piece) = 0;
  virtual std::string Error() const = 0;
};

// Splits a byte stream into pieces as described above. Implementations only
// supply raw bytes.
class PieceSplitter : public LineReader {
 public:
  int ReadPiece(std::string* piece) override;
  std::string Error() const override { return error_; }

 protected:
  // Fills `buf` with up to `size` bytes; returns the count, 0 at the end, or
  // -1 on an error (after setting error_).
  virtual long ReadRaw(char* buf, size_t size) = 0;
  std::string error_;

 private:
  int PeekByte();  // next raw byte, -1 at the end, -2 on error
  char buf_[65536];
  size_t pos_ = 0;
  size_t len_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

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

  // Opens a regular file for reading. nullptr (with *err set) when the path
  // cannot be opened or is not a regular file.
  virtual std::unique_ptr<LineReader> OpenRead(const std::string& path,
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
