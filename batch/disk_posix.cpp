// The file system on POSIX systems (Linux). Together with process_posix.cpp
// this is the only place that calls the operating system.
//
// Folders the walk opens are kept open, and the names in them are reached
// relative to them (openat, fstatat), so that a path is not resolved again
// for every file and a tree deeper than the system's path limit can still
// be walked. Past a bound, the descriptors of idle folders are closed and
// opened again from their parents when needed. Outputs are written to an
// unnamed temporary file in their folder and linked into place when
// complete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "batch/disk.h"
#include "batch/path.h"
#include "batch/process.h"
#include "batch/temp_name.h"
#include "base/ascii.h"

namespace kirato {

namespace {

std::string ErrorText(int err) { return std::strerror(err); }

// The longest name the file system of `dirfd` takes.
size_t NameLimit(int dirfd) {
  const long limit = ::fpathconf(dirfd, _PC_NAME_MAX);
  return limit > 0 ? static_cast<size_t>(limit) : kNameLimit;
}

FileStatus::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileStatus::kRegular;
  if (S_ISDIR(mode)) return FileStatus::kDirectory;
  return FileStatus::kOther;
}

void Fill(const struct stat& st, FileStatus* out) {
  out->kind = KindOf(st.st_mode);
  out->mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
  out->mtimeNsec = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  out->size = static_cast<int64_t>(st.st_size);
  out->identified = true;
  out->device = static_cast<uint64_t>(st.st_dev);
  out->inode = static_cast<uint64_t>(st.st_ino);
}

// Looks at `name` in `dirfd` without following a final link first, so that
// a link is known as one; then at what it leads to.
bool StatAt(int dirfd, const char* name, FileStatus* out) {
  *out = FileStatus();
  struct stat st;
  if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    out->isLink = true;
    if (::fstatat(dirfd, name, &st, 0) != 0) return false;  // leads nowhere
  }
  Fill(st, out);
  return true;
}

using ReadResult = Disk::ReadResult;

ReadResult ReadAll(int fd, std::string* bytes, std::string* err) {
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *err = ErrorText(errno);
    return ReadResult::kCannotOpen;
  }
  if (!S_ISREG(st.st_mode)) {
    *err = S_ISDIR(st.st_mode) ? ErrorText(EISDIR) : Disk::kNotRegular;
    return ReadResult::kCannotOpen;
  }
  return Disk::ReadToEnd(
      st.st_size,
      [fd](char* at, size_t want, std::string* readError) -> int64_t {
        for (;;) {
          const ssize_t n = ::read(fd, at, want);
          if (n >= 0) return n;
          if (errno != EINTR) {
            *readError = ErrorText(errno);
            return -1;
          }
        }
      },
      bytes, err);
}

ReadResult ReadOpened(int fd, std::string* bytes, std::string* err) {
  bytes->clear();
  if (fd < 0) {
    *err = ErrorText(errno);
    return ReadResult::kCannotOpen;
  }
  const ReadResult result = ReadAll(fd, bytes, err);
  ::close(fd);
  return result;
}

// A name as the system calls take it, ending in a NUL byte: on the stack
// for any name a folder can hold, since the walk passes one for every file
// it looks at.
class CName {
 public:
  explicit CName(std::string_view name) {
    if (name.size() < sizeof buffer_) {
      name.copy(buffer_, name.size());
      buffer_[name.size()] = '\0';
      text_ = buffer_;
    } else {
      long_.assign(name);
      text_ = long_.c_str();
    }
  }
  CName(const CName&) = delete;
  CName& operator=(const CName&) = delete;
  const char* c_str() const { return text_; }

 private:
  char buffer_[256];
  std::string long_;  // longer than any file system allows; refused there
  const char* text_;
};

// Non-blocking, so that a FIFO named like a record cannot hang the run; the
// flag changes nothing for the reads of a regular file.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

class FolderFds;

// A folder the walk opened: by its path, or by its name within its parent.
// Its descriptor may be closed while nothing uses it, to keep a deep walk
// within the descriptor limit; it is then opened again from its parent,
// never by the whole path, which a deep tree makes too long.
class PosixFolder : public Folder {
 public:
  PosixFolder(std::string prefix, std::shared_ptr<PosixFolder> parent,
              std::string name, int fd, const struct stat& st,
              FolderFds* fds);
  ~PosixFolder() override;
  uint64_t device() const { return device_; }
  // On the file system of its parent, which the walk has entered.
  bool BesideParent() const { return parent_ && parent_->device_ == device_; }
  // True the first time: a folder listed before is listed again from its
  // first entry.
  bool FirstListing() { return !listed_.exchange(true); }

 private:
  friend class FolderFds;
  friend class Pinned;
  std::shared_ptr<PosixFolder> parent_;  // null: opened by its path
  std::string name_;                     // within the parent
  uint64_t device_;
  uint64_t inode_;
  FolderFds* fds_;
  // Read by any thread without the FolderFds' mutex; -1 while closed. Only
  // a holder of the mutex closes the descriptor, and only after it has
  // turned `pins_` from 0 to -1, which no thread using it lets happen.
  std::atomic<int> fd_;
  std::atomic<int> pins_{0};
  // Used since the closer last passed by: kept open one round more.
  std::atomic<bool> used_{true};
  std::list<PosixFolder*>::iterator lru_;  // guarded; valid while open
  std::atomic<bool> listed_{false};
};

// The descriptors of a disk's open folders. Past the bound, those of
// folders nothing uses are closed, the least recently used first (as a
// clock: a folder used since the last round gets one round more). Using an
// open folder takes no lock: the walk's threads look at their files side
// by side.
class FolderFds {
 public:
  explicit FolderFds(size_t bound) : bound_(bound) {}

  // Holds the folder's descriptor open, opening it again if it was
  // closed; -1 with *err set when that fails.
  int Pin(PosixFolder& f, std::string* err) {
    int pins = f.pins_.load(std::memory_order_acquire);
    while (pins >= 0) {
      if (f.pins_.compare_exchange_weak(pins, pins + 1,
                                        std::memory_order_acq_rel)) {
        const int fd = f.fd_.load(std::memory_order_acquire);
        if (fd >= 0) {
          f.used_.store(true, std::memory_order_relaxed);
          return fd;
        }
        Unpin(f);  // closed meanwhile: opened again below
        break;
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return PinLocked(f, err);
  }
  void Unpin(PosixFolder& f) {
    f.pins_.fetch_sub(1, std::memory_order_release);
  }
  // A folder opened just now, with its descriptor.
  void Add(PosixFolder& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    Track(f);
  }
  void Remove(PosixFolder& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int fd = f.fd_.load();
    if (fd < 0) return;
    ::close(fd);
    f.fd_.store(-1);
    open_.erase(f.lru_);
  }

 private:
  // With the mutex held, `pins_` is never -1: only the closer sets it so,
  // and restores it before it lets go.
  int PinLocked(PosixFolder& f, std::string* err) {
    if (f.fd_.load() < 0 && !Reopen(f, err)) return -1;
    f.pins_.fetch_add(1);
    f.used_.store(true, std::memory_order_relaxed);
    return f.fd_.load();
  }

  // Opens `f` again from its nearest open ancestor down, one folder from
  // the other, without recursion: a tree may be deeper than any stack.
  bool Reopen(PosixFolder& f, std::string* err) {
    std::vector<PosixFolder*> closed;
    for (PosixFolder* p = &f; p && p->fd_.load() < 0; p = p->parent_.get()) {
      closed.push_back(p);
    }
    PosixFolder* held = closed.back()->parent_.get();  // open, or none
    if (held) held->pins_.fetch_add(1);
    for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
      PosixFolder& c = **it;
      const bool opened = OpenAgain(c, held ? held->fd_.load() : -1, err);
      if (held) held->pins_.fetch_sub(1);
      if (!opened) return false;
      c.pins_.fetch_add(1);
      held = &c;
    }
    held->pins_.fetch_sub(1);  // `f` itself
    return true;
  }

  // Opens `f` in `parentFd`, or by its path when it has no parent, and
  // only when it is still the folder first opened under that name.
  bool OpenAgain(PosixFolder& f, int parentFd, std::string* err) {
    const int fd = f.parent_
                       ? ::openat(parentFd, f.name_.c_str(), kFolderFlags)
                       : ::open(f.prefix().c_str(), kFolderFlags);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      *err = ErrorText(errno);
      if (fd >= 0) ::close(fd);
      return false;
    }
    if (static_cast<uint64_t>(st.st_dev) != f.device_ ||
        static_cast<uint64_t>(st.st_ino) != f.inode_) {
      ::close(fd);
      *err = "the folder was moved or replaced during the walk";
      return false;
    }
    f.fd_.store(fd, std::memory_order_release);
    Track(f);
    return true;
  }

  void Track(PosixFolder& f) {
    open_.push_front(&f);
    f.lru_ = open_.begin();
    // Each folder is passed at most twice: once to take its second round,
    // once to be closed. Those in use go round again.
    for (size_t passes = 2 * open_.size(); open_.size() > bound_ && passes > 0;
         --passes) {
      PosixFolder* old = open_.back();
      int unused = 0;
      if (old != &f && !old->used_.exchange(false) &&
          old->pins_.compare_exchange_strong(unused, -1)) {
        ::close(old->fd_.load());
        old->fd_.store(-1);
        open_.pop_back();
        old->pins_.store(0, std::memory_order_release);
      } else {
        open_.splice(open_.begin(), open_, std::prev(open_.end()));
      }
    }
  }

  const size_t bound_;
  std::mutex mutex_;
  std::list<PosixFolder*> open_;  // most recently opened or spared first
};

PosixFolder::PosixFolder(std::string prefix,
                         std::shared_ptr<PosixFolder> parent, std::string name,
                         int fd, const struct stat& st, FolderFds* fds)
    : Folder(std::move(prefix), static_cast<uint64_t>(st.st_dev),
             static_cast<uint64_t>(st.st_ino)),
      parent_(std::move(parent)),
      name_(std::move(name)),
      device_(static_cast<uint64_t>(st.st_dev)),
      inode_(static_cast<uint64_t>(st.st_ino)),
      fds_(fds),
      fd_(fd) {
  fds_->Add(*this);
}

PosixFolder::~PosixFolder() {
  fds_->Remove(*this);
  // The parents of a deep folder form a long chain: those it alone holds
  // go one after the other, not each from within its child's destructor.
  std::shared_ptr<PosixFolder> parent = std::move(parent_);
  while (parent && parent.use_count() == 1) {
    std::shared_ptr<PosixFolder> next = std::move(parent->parent_);
    parent.reset();
    parent = std::move(next);
  }
}

// A folder's descriptor, held open while this lives.
class Pinned {
 public:
  explicit Pinned(Folder& folder)
      : folder_(static_cast<PosixFolder&>(folder)),
        fd_(folder_.fds_->Pin(folder_, &error_)) {}
  ~Pinned() {
    if (fd_ >= 0) folder_.fds_->Unpin(folder_);
  }
  Pinned(const Pinned&) = delete;
  Pinned& operator=(const Pinned&) = delete;
  // -1 when the folder could not be opened again; error() says why.
  int fd() const { return fd_; }
  const std::string& error() const { return error_; }

 private:
  PosixFolder& folder_;
  std::string error_;
  int fd_;
};

// The file systems outputs were stored on since they were last synced,
// each with a descriptor of a folder on it: one sync of each at the end
// costs less than one of every file.
class WrittenFileSystems {
 public:
  ~WrittenFileSystems() {
    for (const auto& [device, fd] : fds_) ::close(fd);
  }
  void Note(uint64_t device, int dirfd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fds_.count(device) != 0) return;
    const int fd = ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0) {
      fds_[device] = fd;
    } else if (error_.empty()) {
      error_ = ErrorText(errno);
    }
  }
  bool SyncAll(std::string* err) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string first = std::move(error_);
    error_.clear();
    for (const auto& [device, fd] : fds_) {
      if (::syncfs(fd) != 0 && first.empty()) first = ErrorText(errno);
      ::close(fd);
    }
    fds_.clear();
    if (first.empty()) return true;
    *err = std::move(first);
    return false;
  }

 private:
  std::mutex mutex_;
  std::map<uint64_t, int> fds_;
  std::string error_;  // a file system that could not be noted
};

// Writes all of `bytes`. False with *err set when the system refuses.
bool WriteAll(int fd, std::string_view bytes, std::string* err) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = ErrorText(n < 0 ? errno : EIO);
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// What the outputs of one disk share.
struct OutputContext {
  WrittenFileSystems written;
  // /proc is missing (a chroot, a bare container): unnamed files cannot be
  // given a name, and outputs take hidden names from the start.
  std::atomic<bool> noProc{false};
  // Unnamed files are given their name by their descriptor, until the
  // kernel refuses it once.
  std::atomic<bool> linkByDescriptor{true};
};

// Creates a file of a hidden temporary name beside `target` in `dirfd`;
// *temp receives its name. -1 with *err set on failure.
int OpenHidden(int dirfd, const std::string& target, std::string* temp,
               std::string* err) {
  const size_t limit = NameLimit(dirfd);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    *temp = TempName(target, CurrentProcessId(), attempt, limit);
    const int fd = ::openat(dirfd, temp->c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  *err = ErrorText(errno);
  temp->clear();
  return -1;
}

class PosixOutputFile : public OutputFile {
 public:
  // `unnamed`: the file was opened with O_TMPFILE and has no name yet;
  // otherwise it lies under `temp`. `replace`: a file of the target's name
  // exists and is to be replaced.
  PosixOutputFile(std::shared_ptr<Folder> folder, std::string target, int fd,
                  bool unnamed, std::string temp, bool replace,
                  OutputContext* context)
      : context_(context),
        folder_(std::move(folder)),
        pin_(*folder_),
        target_(std::move(target)),
        fd_(fd),
        unnamed_(unnamed),
        temp_(std::move(temp)),
        replace_(replace) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlinkat(DirFd(), temp_.c_str(), 0);
  }

  bool Write(std::string_view bytes) override {
    if (error_.empty()) WriteAll(fd_, bytes, &error_);
    return error_.empty();
  }

  bool Commit(std::string* err) override {
    if (error_.empty() && unnamed_) LinkUnnamed();
    // Closing may report a write that failed late: a file that is then
    // already in place is taken away again, as it may be incomplete.
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && error_.empty()) {
      error_ = ErrorText(errno);
      if (unnamed_ && temp_.empty()) ::unlinkat(DirFd(), target_.c_str(), 0);
    }
    if (error_.empty() && !temp_.empty()) MoveIntoPlace();
    if (!error_.empty()) {
      *err = error_;
      return false;
    }
    context_->written.Note(static_cast<PosixFolder&>(*folder_).device(),
                           DirFd());
    return true;
  }

 private:
  int DirFd() const { return pin_.fd(); }

  // Gives the unnamed file the target's name. A name cannot be replaced
  // this way, so a file that exists already is replaced by way of a
  // temporary name.
  void LinkUnnamed() {
    if (!replace_) {
      if (Link(target_.c_str()) == 0) return;
      if (errno != EEXIST) {
        LinkFailed(errno);
        return;
      }
    }
    const size_t limit = NameLimit(DirFd());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      std::string temp = TempName(target_, CurrentProcessId(), attempt, limit);
      if (Link(temp.c_str()) == 0) {
        temp_ = std::move(temp);
        return;
      }
      if (errno != EEXIST) break;
    }
    LinkFailed(errno);
  }

  // Links the unnamed file as `name` in its folder: by its descriptor where
  // the kernel allows it (to root, and in newer kernels to the process that
  // opened the file), which costs far less than the path through /proc
  // that it otherwise takes. -1 with errno set on failure.
  int Link(const char* name) {
    if (context_->linkByDescriptor.load(std::memory_order_relaxed)) {
      if (::linkat(fd_, "", DirFd(), name, AT_EMPTY_PATH) == 0) return 0;
      // Not allowed: the kernel says so as if the file had no name.
      if (errno != ENOENT) return -1;
      context_->linkByDescriptor.store(false, std::memory_order_relaxed);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    return ::linkat(AT_FDCWD, self.c_str(), DirFd(), name, AT_SYMLINK_FOLLOW);
  }

  // A link that failed because /proc is missing is no failure of the
  // output: its bytes are copied to a file of a hidden name, which is then
  // renamed into place, and later outputs take that way from the start.
  void LinkFailed(int error) {
    if ((error != ENOENT && error != ENOTDIR) ||
        ::faccessat(AT_FDCWD, "/proc/self/fd", F_OK, 0) == 0) {
      error_ = ErrorText(error);
      return;
    }
    context_->noProc = true;
    std::string temp;
    const int fd = OpenHidden(DirFd(), target_, &temp, &error_);
    if (fd < 0) return;
    char buf[65536];
    for (off_t at = 0; error_.empty();) {
      const ssize_t n = ::pread(fd_, buf, sizeof buf, at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error_ = ErrorText(errno);
      if (n <= 0) break;
      at += n;
      WriteAll(fd, std::string_view(buf, static_cast<size_t>(n)), &error_);
    }
    ::close(fd_);
    fd_ = fd;
    unnamed_ = false;
    temp_ = std::move(temp);
  }

  void MoveIntoPlace() {
    if (::renameat(DirFd(), temp_.c_str(), DirFd(), target_.c_str()) != 0) {
      error_ = ErrorText(errno);
      return;
    }
    temp_.clear();
  }

  OutputContext* context_;
  std::shared_ptr<Folder> folder_;
  Pinned pin_;  // the folder's descriptor stays open until the file is done
  std::string target_;
  int fd_;
  bool unnamed_;
  std::string temp_;  // the file's temporary name, while it has one
  bool replace_;
  std::string error_;
};

class PosixLogFile : public BlockLogFile {
 public:
  explicit PosixLogFile(int fd) : fd_(fd) {}
  ~PosixLogFile() override {
    std::string ignored;
    Flush(&ignored);
    ::close(fd_);
  }

 private:
  bool WriteOut(std::string_view bytes, std::string* err) override {
    return WriteAll(fd_, bytes, err);
  }
  int fd_;
};

// Follows a chain of symbolic links to the name it ends at, which may not
// exist yet. Every link of the chain must belong to the owner of the file
// it ends at (or of the folder that file would be made in): the kernel's
// rule for links in shared folders, so that a run as root over a folder
// others can write cannot be led to write over a file of someone else.
// Empty (with *err set) when the chain cannot be followed or breaks that
// rule.
std::string FinalTarget(std::string path, std::string* err) {
  std::vector<uid_t> linkOwners;
  struct stat st;
  for (int hops = 0;; ++hops) {
    if (hops == 40) {
      *err = ErrorText(ELOOP);
      return {};
    }
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    linkOwners.push_back(st.st_uid);
    std::string target(static_cast<size_t>(st.st_size) + 256, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) {
      *err = ErrorText(errno);
      return {};
    }
    target.resize(static_cast<size_t>(n));
    if (target.empty() || target[0] != '/') {
      std::string dir, name;
      kPosixPaths.Split(path, &dir, &name);
      target = dir + target;
    }
    path = std::move(target);
  }
  if (::lstat(path.c_str(), &st) != 0) {
    std::string dir, name;
    kPosixPaths.Split(path, &dir, &name);
    if (errno != ENOENT || ::stat(dir.c_str(), &st) != 0) {
      *err = ErrorText(errno);
      return {};
    }
  }
  for (uid_t owner : linkOwners) {
    if (owner != st.st_uid) {
      *err = "a symbolic link to a file of another owner";
      return {};
    }
  }
  return path;
}

// The pseudo file systems, by the type statfs gives: they hold no records,
// and some never end (proc leads into the root of every process).
struct PseudoType {
  unsigned long magic;
  const char* name;
};
constexpr PseudoType kPseudoTypes[] = {
    {0x9fa0, "proc"},           {0x62656572, "sysfs"},
    {0x1cd1, "devpts"},         {0x64626720, "debugfs"},
    {0x74726163, "tracefs"},    {0x73636673, "securityfs"},
    {0x27e0eb, "cgroup"},       {0x63677270, "cgroup2"},
    {0x6165676c, "pstore"},     {0xcafe4a11, "bpf"},
    {0x62656570, "configfs"},   {0x19800202, "mqueue"},
    {0xf97cff8c, "selinuxfs"},  {0x42494e4d, "binfmt_misc"},
    {0x65735543, "fusectl"},    {0xde5e81e4, "efivarfs"},
    {0x6e736673, "nsfs"},       {0x67596969, "rpc_pipefs"},
};
// devtmpfs gives the type of tmpfs, which may hold records: the mount
// table tells the two apart.
constexpr unsigned long kTmpfsMagic = 0x01021994;

// The devices of the devtmpfs mounts, from the mount table: its third field
// is "major:minor", and the type follows the " - " separator.
std::set<uint64_t> DevtmpfsDevices() {
  std::set<uint64_t> devices;
  std::string table, err;
  const int fd = ::open("/proc/self/mountinfo", kReadFlags);
  if (ReadOpened(fd, &table, &err) != ReadResult::kRead) return devices;
  std::string_view rest = table;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    const size_t dash = line.find(" - ");
    if (dash == std::string_view::npos ||
        line.substr(dash + 3, 9) != "devtmpfs ") {
      continue;
    }
    const auto blankAfter = [&](size_t from) {
      return std::min(line.find(' ', from), line.size());
    };
    const size_t at = blankAfter(blankAfter(0) + 1) + 1;  // the third field
    size_t colon = 0;
    const long long major = ReadNumber(line, at, &colon);
    if (colon >= line.size() || line[colon] != ':') continue;
    const long long minor = ReadNumber(line, colon + 1);
    devices.insert(static_cast<uint64_t>(
        makedev(static_cast<unsigned>(major), static_cast<unsigned>(minor))));
  }
  return devices;
}

class PosixDisk : public Disk {
 public:
  bool Stat(const std::string& path, FileStatus* st) override {
    return StatAt(AT_FDCWD, path.c_str(), st);
  }

  bool ListDir(const std::string& dir, std::vector<DirEntry>* entries,
               std::string* err) override {
    const int fd = ::open(dir.c_str(), kFolderFlags);
    if (fd < 0) {
      *err = ErrorText(errno);
      entries->clear();
      return false;
    }
    const bool listed = ListFd(fd, true, entries, err);
    ::close(fd);
    return listed;
  }

  bool MakeDir(const std::string& path, std::string* err) override {
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    *err = ErrorText(errno);
    return false;
  }

  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override {
    return ReadOpened(::open(path.c_str(), kReadFlags), bytes, err);
  }

  bool CreateOutput(const std::string& path, const FileStatus& known,
                    std::unique_ptr<OutputFile>* file,
                    std::string* err) override {
    FileStatus st = known;
    std::string target = path;
    if (known.isLink) {
      target = FinalTarget(path, err);
      if (target.empty()) return false;
      StatAt(AT_FDCWD, target.c_str(), &st);
    }
    std::string dir, name;
    kPosixPaths.Split(target, &dir, &name);
    std::shared_ptr<Folder> folder;
    return OpenFolder(dir, &folder, err) &&
           CreateIn(folder, name, st, file, err);
  }

  bool OpenLog(const std::string& path, std::unique_ptr<LogFile>* log,
               std::string* err) override {
    // Not blocking: a FIFO without a reader is refused at once (ENXIO)
    // rather than waited for. The file is emptied only once it is known
    // to be a regular one.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
      *err = errno == ENXIO ? kNotRegular : ErrorText(errno);
      return false;
    }
    struct stat st;
    const bool looked = ::fstat(fd, &st) == 0;
    const bool regular = looked && S_ISREG(st.st_mode);
    if (!regular || ::ftruncate(fd, 0) != 0) {
      *err = looked && !regular ? std::string(kNotRegular) : ErrorText(errno);
      ::close(fd);
      return false;
    }
    *log = std::make_unique<PosixLogFile>(fd);
    return true;
  }

  bool Remove(const std::string& path) override {
    return ::unlink(path.c_str()) == 0;
  }

  bool SyncWritten(std::string* err) override {
    return context_.written.SyncAll(err);
  }

  bool OpenFolder(const std::string& prefix, std::shared_ptr<Folder>* folder,
                  std::string* err) override {
    return Opened(prefix, nullptr, {}, ::open(prefix.c_str(), kFolderFlags),
                  folder, err);
  }

  bool OpenSubfolder(Folder& parent, std::string_view name,
                     std::shared_ptr<Folder>* folder,
                     std::string* err) override {
    Pinned pin(parent);
    if (pin.fd() < 0) {
      *err = pin.error();
      return false;
    }
    std::string own(name);
    const int fd = ::openat(pin.fd(), own.c_str(), kFolderFlags);
    return Opened(parent.PathOf(name) + '/',
                  std::static_pointer_cast<PosixFolder>(
                      parent.shared_from_this()),
                  std::move(own), fd, folder, err);
  }

  // Made relative to the parent, as a mirrored tree may be deeper than the
  // path limit.
  bool MakeSubfolder(Folder& parent, std::string_view name,
                     std::shared_ptr<Folder>* folder, bool* made,
                     std::string* err) override {
    {
      Pinned pin(parent);
      if (pin.fd() < 0) {
        *err = pin.error();
        return false;
      }
      *made = ::mkdirat(pin.fd(), CName(name).c_str(), 0777) == 0;
      if (!*made && errno != EEXIST) {
        *err = ErrorText(errno);
        return false;
      }
    }
    return OpenSubfolder(parent, name, folder, err);
  }

  bool List(Folder& folder, std::vector<DirEntry>* entries,
            std::string* err) override {
    Pinned pin(folder);
    if (pin.fd() < 0) {
      *err = pin.error();
      entries->clear();
      return false;
    }
    return ListFd(pin.fd(), static_cast<PosixFolder&>(folder).FirstListing(),
                  entries, err);
  }

  bool StatIn(Folder& folder, std::string_view name, FileStatus* st) override {
    Pinned pin(folder);
    if (pin.fd() < 0) {
      *st = FileStatus();
      return false;
    }
    return StatAt(pin.fd(), CName(name).c_str(), st);
  }

  ReadResult ReadIn(Folder& folder, std::string_view name, std::string* bytes,
                    std::string* err) override {
    int fd = -1;
    {
      Pinned pin(folder);
      if (pin.fd() < 0) {
        bytes->clear();
        *err = pin.error();
        return ReadResult::kCannotOpen;
      }
      fd = ::openat(pin.fd(), CName(name).c_str(), kReadFlags);
    }
    return ReadOpened(fd, bytes, err);
  }

  bool CreateOutputIn(const std::shared_ptr<Folder>& folder,
                      std::string_view name, const FileStatus& known,
                      std::unique_ptr<OutputFile>* file,
                      std::string* err) override {
    if (known.isLink) {
      return CreateOutput(folder->PathOf(name), known, file, err);
    }
    return CreateIn(folder, std::string(name), known, file, err);
  }

  bool RemoveIn(Folder& folder, std::string_view name) override {
    Pinned pin(folder);
    return pin.fd() >= 0 &&
           ::unlinkat(pin.fd(), CName(name).c_str(), 0) == 0;
  }

  // Removes the temporary files of runs that are no longer alive. A run
  // killed while it moved a finished file over an older one can leave one.
  void RemoveLeftovers(Folder& folder) override {
    RemoveTempFilesOfEndedRuns(*this, folder);
  }

  std::string PseudoFileSystem(Folder& folder) override {
    // The walk enters no pseudo file system, so the parent it came from
    // lies on none; a folder on the same device lies on the same one.
    if (static_cast<PosixFolder&>(folder).BesideParent()) return {};
    struct statfs fs;
    {
      Pinned pin(folder);
      if (pin.fd() < 0 || ::fstatfs(pin.fd(), &fs) != 0) return {};
    }
    const auto magic = static_cast<unsigned long>(fs.f_type);
    for (const PseudoType& t : kPseudoTypes) {
      if (t.magic == magic) return t.name;
    }
    if (magic != kTmpfsMagic) return {};
    std::call_once(devtmpfsRead_, [this] { devtmpfs_ = DevtmpfsDevices(); });
    return devtmpfs_.count(static_cast<PosixFolder&>(folder).device()) != 0
               ? "devtmpfs"
               : std::string();
  }

 private:
  // A quarter of the descriptors a process may have, so that the records
  // and outputs being converted always find some left.
  static size_t FolderBound() {
    struct rlimit limit;
    size_t bound = 256;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur / 4 < bound) {
      bound = static_cast<size_t>(limit.rlim_cur / 4);
    }
    return bound < 4 ? 4 : bound;
  }

  bool Opened(std::string prefix, std::shared_ptr<PosixFolder> parent,
              std::string name, int fd, std::shared_ptr<Folder>* folder,
              std::string* err) {
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      *err = ErrorText(errno);
      if (fd >= 0) ::close(fd);
      return false;
    }
    *folder = std::make_shared<PosixFolder>(
        std::move(prefix), std::move(parent), std::move(name), fd, st, &fds_);
    return true;
  }

  // Reads the entries straight from the descriptor, which then stays
  // usable for the names in it: no second descriptor, no directory stream.
  static bool ListFd(int fd, bool first, std::vector<DirEntry>* entries,
                     std::string* err) {
    entries->clear();
    // A folder may be listed more than once: from its first entry again.
    if (!first && ::lseek(fd, 0, SEEK_SET) != 0) {
      *err = ErrorText(errno);
      return false;
    }
    alignas(8) char buf[32768];
    for (;;) {
      const ssize_t n = ::getdents64(fd, buf, sizeof buf);
      if (n == 0) return true;
      if (n < 0) {
        if (errno == EINTR) continue;
        *err = ErrorText(errno);
        return false;
      }
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const struct dirent64*>(buf + at);
        at += e->d_reclen;
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        DirEntry entry;
        entry.name = std::string(name);
        if (e->d_type == DT_DIR) {
          entry.isDir = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
          struct stat st;  // a link to a directory counts as a directory
          entry.isDir = ::fstatat(fd, e->d_name, &st, 0) == 0 &&
                        S_ISDIR(st.st_mode);
        }
        entries->push_back(std::move(entry));
      }
    }
  }

  bool CreateIn(const std::shared_ptr<Folder>& folder, const std::string& name,
                const FileStatus& known, std::unique_ptr<OutputFile>* file,
                std::string* err) {
    if (known.kind == FileStatus::kDirectory ||
        known.kind == FileStatus::kOther) {
      *err = kNotRegular;
      return false;
    }
    Pinned pin(*folder);
    const int dirfd = pin.fd();
    if (dirfd < 0) {
      *err = pin.error();
      return false;
    }
    const bool replace = known.kind == FileStatus::kRegular;
    // Refuse what a plain open for writing would refuse: a file the user
    // may not write to. Replacing it by a rename would succeed.
    if (replace && ::faccessat(dirfd, name.c_str(), W_OK, 0) != 0) {
      *err = ErrorText(errno);
      return false;
    }
    // Open for reading too: without /proc its bytes are copied elsewhere.
    int fd = context_.noProc
                 ? -1
                 : ::openat(dirfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
      *file = std::make_unique<PosixOutputFile>(folder, name, fd, true,
                                                std::string(), replace,
                                                &context_);
      return true;
    }
    // File systems without unnamed files: a hidden name, renamed at the end.
    if (!context_.noProc && errno != EOPNOTSUPP && errno != EISDIR &&
        errno != EINVAL) {
      *err = ErrorText(errno);
      return false;
    }
    std::string temp;
    fd = OpenHidden(dirfd, name, &temp, err);
    if (fd < 0) return false;
    *file = std::make_unique<PosixOutputFile>(folder, name, fd, false,
                                              std::move(temp), replace,
                                              &context_);
    return true;
  }

  FolderFds fds_{FolderBound()};
  OutputContext context_;
  std::once_flag devtmpfsRead_;
  std::set<uint64_t> devtmpfs_;
};

}  // namespace

Disk& SystemDisk() {
  static PosixDisk disk;
  return disk;
}

}  // namespace kirato
