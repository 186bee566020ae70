// The file system on POSIX systems. Together with process_posix.cpp this is
// the only place that calls the operating system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "batch/disk.h"

namespace kirato {

namespace {

std::string ErrorText(int err) { return std::strerror(err); }

// Reads until the end of the file. A file that has not changed since its
// size was taken is read with one call: asking for one byte more than it
// holds tells at once that the end has been reached.
Disk::ReadResult ReadAll(int fd, size_t expected, std::string* bytes,
                         std::string* err) {
  size_t have = 0;
  size_t want = expected + 1;
  for (;;) {
    bytes->resize(have + want);
    const ssize_t n = ::read(fd, bytes->data() + have, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = ErrorText(errno);
      bytes->clear();
      return Disk::kReadError;
    }
    have += static_cast<size_t>(n);
    if (n == 0 || (static_cast<size_t>(n) < want && have == expected)) break;
    want = 65536;
  }
  bytes->resize(have);
  return Disk::kRead;
}

class PosixOutputFile : public OutputFile {
 public:
  PosixOutputFile(int fd, std::string temp, std::string target)
      : fd_(fd), temp_(std::move(temp)), target_(std::move(target)) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
  }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty() && error_.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno != EINTR) error_ = ErrorText(errno);
        continue;
      }
      if (n == 0) error_ = ErrorText(EIO);
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return error_.empty();
  }

  bool Commit(std::string* err) override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && error_.empty()) error_ = ErrorText(errno);
    if (error_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0) {
      error_ = ErrorText(errno);
    }
    if (!error_.empty()) {
      *err = error_;
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  int fd_;
  std::string temp_;
  std::string target_;
  std::string error_;
  bool committed_ = false;
};

class PosixLogFile : public LogFile {
 public:
  explicit PosixLogFile(FILE* f) : f_(f) {}
  ~PosixLogFile() override { std::fclose(f_); }
  void Write(std::string_view bytes) override {
    std::fwrite(bytes.data(), 1, bytes.size(), f_);
  }
  void Flush() override { std::fflush(f_); }

 private:
  FILE* f_;
};

// A hidden name beside the target, unique for this process. It never ends in
// ".ugf", ".ugi" or ".sgf", so a later walk of the same folder ignores it.
std::string TempNameFor(const std::string& target, unsigned attempt) {
  const size_t slash = target.rfind('/');
  const std::string dir =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base =
      slash == std::string::npos ? target : target.substr(slash + 1);
  static const std::string pid = std::to_string(::getpid());
  return dir + "." + base + "." + pid + "-" + std::to_string(attempt) + ".tmp";
}

class PosixDisk : public Disk {
 public:
  int Stat(const std::string& path, int64_t* mtime) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    *mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
    return 0;
  }

  int ListDir(const std::string& dir, std::vector<DirEntry>* entries) override {
    entries->clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return -1;
    std::string prefix = dir;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    while (const dirent* e = ::readdir(d)) {
      const std::string_view name = e->d_name;
      if (name == "." || name == "..") continue;
      DirEntry entry;
      entry.name = std::string(name);
      if (e->d_type == DT_DIR) {
        entry.isDir = true;
      } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
        struct stat st;  // a link to a directory counts as a directory
        entry.isDir = ::stat((prefix + entry.name).c_str(), &st) == 0 &&
                      S_ISDIR(st.st_mode);
      }
      entries->push_back(std::move(entry));
    }
    ::closedir(d);
    return 0;
  }

  int DirKey(const std::string& dir, std::string* key) override {
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
    *key = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    return 0;
  }

  MakeDirResult MakeDir(const std::string& path, std::string* err) override {
    if (::mkdir(path.c_str(), 0777) == 0) return kMade;
    if (errno == EEXIST) return kExists;
    *err = ErrorText(errno);
    return kFailed;
  }

  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override {
    bytes->clear();
    // Non-blocking, so that a FIFO named like a record cannot hang the run.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      *err = ErrorText(errno);
      return kCannotOpen;
    }
    struct stat st;
    int failure = 0;
    if (::fstat(fd, &st) != 0) {
      failure = errno;
    } else if (!S_ISREG(st.st_mode)) {
      failure = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    if (failure != 0) {
      *err = ErrorText(failure);
      ::close(fd);
      return kCannotOpen;
    }
    const ReadResult result = ReadAll(fd, static_cast<size_t>(st.st_size),
                                      bytes, err);
    ::close(fd);
    return result;
  }

  std::unique_ptr<OutputFile> CreateOutput(const std::string& path,
                                           std::string* err) override {
    // Refuse what a plain open for writing would refuse: a directory, or a
    // file the user cannot write to. Replacing it by a rename would succeed.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        *err = ErrorText(EISDIR);
        return nullptr;
      }
      if (::access(path.c_str(), W_OK) != 0) {
        *err = ErrorText(errno);
        return nullptr;
      }
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      std::string temp = TempNameFor(path, attempt);
      const int fd = ::open(temp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        return std::make_unique<PosixOutputFile>(fd, std::move(temp), path);
      }
      if (errno != EEXIST) break;
    }
    *err = ErrorText(errno);
    return nullptr;
  }

  std::unique_ptr<LogFile> OpenLog(const std::string& path,
                                   std::string* err) override {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
      *err = ErrorText(errno);
      return nullptr;
    }
    return std::make_unique<PosixLogFile>(f);
  }

  int Remove(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : -1;
  }
};

}  // namespace

Disk& SystemDisk() {
  static PosixDisk disk;
  return disk;
}

}  // namespace kirato
