// The one seam between the program and the file system. The walk, the
// output writer, the datafile reader and the trace log talk to nothing else,
// so tests can replace the disk with an in-memory fake that fails on demand.
//
// Paths are used as the datafile names them. The walk also works within
// folders it has opened once: an implementation may then reach the files in
// a folder relative to it instead of resolving the whole path again for each
// file. The defaults of those calls simply join the folder's path and the
// name, which is all a disk without such handles needs.
#ifndef KIRATO_BATCH_DISK_H_
#define KIRATO_BATCH_DISK_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "batch/path.h"

namespace kirato {

// What a name is. A symbolic link is followed: the fields describe what it
// leads to, and isLink says that the name itself is a link.
struct FileStatus {
  enum Kind : uint8_t { kMissing = 0, kRegular, kDirectory, kOther };
  Kind kind = kMissing;  // kOther: a device, a FIFO, a socket
  bool isLink = false;
  int64_t mtime = 0;  // whole seconds
  // The fraction of that second, where the system keeps one: tells a file
  // that changed within the second from the one looked at before.
  uint32_t mtimeNsec = 0;
  int64_t size = 0;  // in bytes
  // Together they tell one file or directory from another, however it
  // was reached: where `identified`, which a look that costs less than a
  // whole status may leave out (Disk::LookIn, listings).
  bool identified = false;
  uint64_t device = 0;
  uint64_t inode = 0;
};

// An output file that appears under its final name only when Commit()
// succeeds; a run killed before that leaves nothing under any name that a
// later run would take for a finished game. Destroying an uncommitted file
// throws its bytes away.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // false on a write error; the error text is kept for Commit().
  virtual bool Write(std::string_view bytes) = 0;
  // Flushes, closes and moves the file onto its name. false (with *err set,
  // and nothing left behind) when any step failed.
  virtual bool Commit(std::string* err) = 0;
};

// The trace log: buffered, written line by line, never renamed. Once a
// write has failed, every later call returns false with the reason of the
// first failure, so that the run can report it once and stop tracing.
class LogFile {
 public:
  virtual ~LogFile() = default;
  virtual bool Write(std::string_view bytes, std::string* err) = 0;
  // Writes out what is buffered.
  virtual bool Flush(std::string* err) = 0;
};

// A log written out in large blocks, through the one call each system
// supplies. Its destructor must call Flush: this class cannot, as the call
// belongs to the class derived from it.
class BlockLogFile : public LogFile {
 public:
  bool Write(std::string_view bytes, std::string* err) override;
  bool Flush(std::string* err) override;

 protected:
  // Writes all of `bytes`; false with *err set when the system refuses.
  virtual bool WriteOut(std::string_view bytes, std::string* err) = 0;

 private:
  bool Failed(std::string* err) const;
  std::string buffer_;
  std::string error_;  // the first failure
};

struct DirEntry {
  std::string name;
  bool isDir = false;  // a directory, or a link to one
  // Where the listing tells a file's kind, size and time at no cost (the
  // directory search of Windows), its status without its identity, as
  // LookIn gives it; never for a link, whose listing tells of the link.
  bool looked = false;
  FileStatus status;
};

// A directory opened by the walk. Shared by the records that are converted
// from it or into it, and closed when the last of them is done.
class Folder : public std::enable_shared_from_this<Folder> {
 public:
  // `prefix` is the folder's path ending in its separator.
  explicit Folder(std::string prefix) : prefix_(std::move(prefix)) {}
  // With its identity, as the disk saw it when it opened it.
  Folder(std::string prefix, uint64_t device, uint64_t inode)
      : prefix_(std::move(prefix)),
        identified_(true),
        identity_(device, inode) {}
  virtual ~Folder() = default;
  const std::string& prefix() const { return prefix_; }
  std::string PathOf(std::string_view name) const {
    std::string path = prefix_;
    path.append(name);
    return path;
  }
  // Its device and inode, which tell it from every other folder however
  // it was reached; false when the disk could not tell them.
  bool Identity(std::pair<uint64_t, uint64_t>* identity) const {
    *identity = identity_;
    return identified_;
  }

 private:
  std::string prefix_;
  bool identified_ = false;
  std::pair<uint64_t, uint64_t> identity_;
};

class Disk {
 public:
  virtual ~Disk() = default;

  // Shown for an existing output that is no regular file: replacing a
  // device, a pipe or a folder by a file would destroy it.
  static constexpr const char* kNotRegular = "not a regular file";

  // The largest file read. A game record of the longest games with every
  // comment a server allows is a few megabytes; a file far larger is no
  // record, and reading it could exhaust the memory of the machine.
  static constexpr int64_t kMaxReadBytes = int64_t{256} << 20;

  // The status of `path`. False (kind kMissing) when it does not exist or
  // cannot be looked at. No reason is given: no caller shows one, and a
  // missing SGF file is the common case of a first run, not a failure.
  virtual bool Stat(const std::string& path, FileStatus* st) = 0;

  // Every entry of a directory except "." and "..", in no particular order.
  // False with *err set when the directory cannot be read.
  virtual bool ListDir(const std::string& dir, std::vector<DirEntry>* entries,
                       std::string* err) = 0;

  // Creates one directory. True when it exists afterwards, made now or
  // before, and also when a file of that name is in the way (opening it as
  // a folder then says why); false with *err set to the system's text.
  virtual bool MakeDir(const std::string& path, std::string* err) = 0;

  // What reading a whole file came to. Three outcomes rather than a bool:
  // a datafile that is not there and one that broke while it was read are
  // told apart (the first is "Datafile not found", and the window closes
  // at once; the second fails a run whose commands are not carried out).
  enum class ReadResult { kRead, kCannotOpen, kReadError };
  // Reads a whole regular file into *bytes. On failure *err holds the
  // system's text: kCannotOpen when the path cannot be opened, is not a
  // regular file or is larger than kMaxReadBytes (refused before anything
  // is read), kReadError when reading it failed part way.
  virtual ReadResult ReadFile(const std::string& path, std::string* bytes,
                              std::string* err) = 0;

  // Reads at most `want` bytes of an open file to `at`: how many, 0 at its
  // end, or -1 with *err set.
  using ReadSome =
      std::function<int64_t(char* at, size_t want, std::string* err)>;
  // What ReadFile does once the file is open and its status says it holds
  // `size` bytes, through the one call each system supplies. A file that
  // has not changed since is read with one call: asking for one byte more
  // than it holds tells at once that the end has been reached; one that
  // grows meanwhile is read on to its end, or to kMaxReadBytes.
  static ReadResult ReadToEnd(int64_t size, const ReadSome& readSome,
                              std::string* bytes, std::string* err);

  // Starts an output file for `path` (see OutputFile) in *file, given what
  // the caller knows of the name now. An existing name that is no regular
  // file is refused (kNotRegular); a symbolic link is written through, so
  // that the file it leads to is replaced and the link stays, where the
  // system has owners only when the link and the file it leads to have the
  // same one. False with *err set when it cannot be created.
  virtual bool CreateOutput(const std::string& path, const FileStatus& known,
                            std::unique_ptr<OutputFile>* file,
                            std::string* err) = 0;

  // Puts on stable storage what the outputs committed so far hold, so that
  // a power cut cannot leave one empty or cut short under its name with a
  // new time. False (with *err set) when the system reports a failure.
  virtual bool SyncWritten(std::string* /*err*/) { return true; }

  // Creates or truncates a log file in *log. Only a regular file serves: a
  // pipe could hang the run and a device swallow the log (kNotRegular).
  // False with *err set on failure.
  virtual bool OpenLog(const std::string& path, std::unique_ptr<LogFile>* log,
                       std::string* err) = 0;

  // Removes a file. False when it could not be removed; no caller needs
  // to know why, since what is left is found older than its record.
  virtual bool Remove(const std::string& path) = 0;

  // --- Within folders the walk has opened. ---

  // Opens the directory `prefix` (ending in a separator) into *folder.
  // False with *err set when it is no directory or cannot be opened.
  virtual bool OpenFolder(const std::string& prefix,
                          std::shared_ptr<Folder>* folder, std::string* err);
  // Opens the subdirectory `name` of `parent`; its prefix is the parent's
  // path of `name` followed by `separator`.
  virtual bool OpenSubfolder(Folder& parent, std::string_view name,
                             std::shared_ptr<Folder>* folder,
                             std::string* err);
  // Makes the subdirectory `name` of `parent` where it is missing, and
  // opens it as OpenSubfolder does. *made tells whether this call made it.
  // An existing name passes, and opening it says why it is no folder.
  virtual bool MakeSubfolder(Folder& parent, std::string_view name,
                             std::shared_ptr<Folder>* folder, bool* made,
                             std::string* err);
  virtual bool List(Folder& folder, std::vector<DirEntry>* entries,
                    std::string* err);
  virtual bool StatIn(Folder& folder, std::string_view name, FileStatus* st);
  // The status of `name` as far as deciding whether an output is up to
  // date needs it: its kind, size and times, followed through a link.
  // Where the file's identity costs more to learn (Windows opens the file
  // for it), it is left out; by default, StatIn.
  virtual bool LookIn(Folder& folder, std::string_view name, FileStatus* st);
  virtual ReadResult ReadIn(Folder& folder, std::string_view name,
                            std::string* bytes, std::string* err);
  virtual bool CreateOutputIn(const std::shared_ptr<Folder>& folder,
                              std::string_view name, const FileStatus& known,
                              std::unique_ptr<OutputFile>* file,
                              std::string* err);
  virtual bool RemoveIn(Folder& folder, std::string_view name);

  // Removes what runs that were killed left behind in an output folder, if
  // this disk can leave anything behind at all.
  virtual void RemoveLeftovers(Folder& folder);

  // The type of the pseudo file system the folder lies on ("proc",
  // "sysfs", "devtmpfs", ...), which the walk never enters: it holds no
  // records, and proc never ends. Empty for any other folder.
  virtual std::string PseudoFileSystem(Folder& /*folder*/) { return {}; }

  // How this disk's paths are written; the walk splits and joins paths
  // by these rules.
  virtual const PathRules& Paths() const { return SystemPaths(); }

  // The text of a datafile as its paths are to be read. Where the system
  // names files in wide characters, a datafile that is not UTF-8 is taken
  // in the system's code page and handed on in UTF-8, like every other
  // path of the program there; elsewhere the bytes stay as they are.
  virtual std::string DatafileText(std::string bytes) { return bytes; }
};

// The real file system.
Disk& SystemDisk();

}  // namespace kirato

#endif  // KIRATO_BATCH_DISK_H_
