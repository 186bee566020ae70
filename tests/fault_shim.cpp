// A preloaded library that makes the file system fail on demand, for
// tests/fault_test.py. Loaded with LD_PRELOAD, it wraps the C library's
// open, openat, read, write, close, rename, renameat, linkat, faccessat and
// syncfs; each fault is chosen by an environment variable whose value is a
// substring of the paths it hits (a name opened within a folder counts with
// the folder's path before it, and an unnamed file opened in a folder as
// "FOLDER/."):
//
//   KIRATO_FAULT_ENOSPC_AFTER=N   writes to matching files fail with ENOSPC
//                                 once N bytes were written to them in all;
//                                 the write that reaches N is cut short there
//   KIRATO_FAULT_WRITE_PATH=S     the files that count (default: every file
//                                 opened by name, so never standard output)
//   KIRATO_FAULT_EACCES_OPEN=S    open() fails with EACCES, and so does
//                                 giving a file a matching name (linkat)
//   KIRATO_FAULT_EIO_READ=S       read() fails with EIO after the first read,
//   KIRATO_FAULT_EIO_READ_AFTER=N or after N bytes when given (reads are cut
//                                 short to end exactly there)
//   KIRATO_FAULT_EIO_CLOSE=S      close() closes the file but reports EIO
//   KIRATO_FAULT_EIO_RENAME=S     moving or linking a file onto a matching
//                                 name (rename, renameat, linkat) fails
//                                 with EIO
//   KIRATO_FAULT_NO_PROC=1        no /proc, as in a chroot: opening,
//                                 linking from or looking at a path below
//                                 /proc fails with ENOENT
//   KIRATO_FAULT_NO_FLINK=1       an open file cannot be linked by its
//                                 descriptor (AT_EMPTY_PATH): ENOENT, as
//                                 older kernels answer a user who is not
//                                 root
//   KIRATO_FAULT_EIO_SYNC=1       syncfs() fails with EIO, as after a write
//                                 the device refused
//   KIRATO_FAULT_LOADED=FILE      the library creates FILE when it is loaded,
//                                 so a test can tell that it took effect
//
// Paths are remembered per descriptor from open(); descriptors that were
// not opened by name (standard input, output and error) are never touched.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxFd = 4096;

struct Tracked {
  char* path = nullptr;   // as given to open(), or null when not tracked
  long long bytesRead = 0;
  int reads = 0;
};

Tracked g_fds[kMaxFd];
long long g_written = 0;  // bytes written to files that count for ENOSPC

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

long long EnvNumber(const char* name) {
  const char* v = Env(name);
  return v ? std::atoll(v) : -1;
}

bool Matches(const char* path, const char* pattern) {
  return pattern && path && std::strstr(path, pattern) != nullptr;
}

const char* PathOf(int fd) {
  return fd >= 0 && fd < kMaxFd ? g_fds[fd].path : nullptr;
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void Forget(int fd) {
  if (fd < 0 || fd >= kMaxFd) return;
  std::free(g_fds[fd].path);
  g_fds[fd] = Tracked();
}

int Remember(int fd, const char* path) {
  if (fd >= 0 && fd < kMaxFd) {
    Forget(fd);
    g_fds[fd].path = strdup(path);
  }
  return fd;
}

bool RefuseOpen(const char* path) {
  if (Env("KIRATO_FAULT_NO_PROC") && path &&
      std::strncmp(path, "/proc/", 6) == 0) {
    errno = ENOENT;
    return true;
  }
  if (!Matches(path, Env("KIRATO_FAULT_EACCES_OPEN"))) return false;
  errno = EACCES;
  return true;
}

// The path of `name` as opened within the folder `dirfd`.
std::string Within(int dirfd, const char* name) {
  const char* dir = PathOf(dirfd);
  if (!name || name[0] == '/' || dirfd == AT_FDCWD || !dir) {
    return name ? name : "";
  }
  std::string full = dir;
  if (!full.empty() && full.back() != '/') full += '/';
  return full + name;
}

mode_t ModeArg(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(ap, int))
                                         : 0;
}

__attribute__((constructor)) void AnnounceLoad() {
  if (const char* mark = Env("KIRATO_FAULT_LOADED")) {
    if (FILE* f = std::fopen(mark, "w")) std::fclose(f);
  }
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  static auto real = Next<int (*)(const char*, int, ...)>("open");
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArg(flags, ap);
  va_end(ap);
  if (RefuseOpen(path)) return -1;
  return Remember(real(path, flags, mode), path);
}

// On the 64-bit systems this runs on, open64 is open.
int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArg(flags, ap);
  va_end(ap);
  return open(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  static auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeArg(flags, ap);
  va_end(ap);
  const std::string full = Within(dirfd, path);
  if (RefuseOpen(full.c_str())) return -1;
  return Remember(real(dirfd, path, flags, mode), full.c_str());
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static auto real = Next<int (*)(int, const char*, int, const char*)>(
      "renameat");
  if (Matches(Within(toDir, to).c_str(), Env("KIRATO_FAULT_EIO_RENAME"))) {
    errno = EIO;
    return -1;
  }
  return real(fromDir, from, toDir, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to,
           int flags) {
  static auto real = Next<int (*)(int, const char*, int, const char*, int)>(
      "linkat");
  const std::string full = Within(toDir, to);
  if ((flags & AT_EMPTY_PATH) != 0 && Env("KIRATO_FAULT_NO_FLINK")) {
    errno = ENOENT;
    return -1;
  }
  if (RefuseOpen(Within(fromDir, from).c_str())) return -1;
  if (RefuseOpen(full.c_str())) return -1;
  if (Matches(full.c_str(), Env("KIRATO_FAULT_EIO_RENAME"))) {
    errno = EIO;
    return -1;
  }
  return real(fromDir, from, toDir, to, flags);
}

ssize_t read(int fd, void* buf, size_t count) {
  static auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
  const char* path = PathOf(fd);
  if (!Matches(path, Env("KIRATO_FAULT_EIO_READ"))) {
    return real(fd, buf, count);
  }
  Tracked& t = g_fds[fd];
  const long long after = EnvNumber("KIRATO_FAULT_EIO_READ_AFTER");
  const bool exhausted = after >= 0 ? t.bytesRead >= after : t.reads >= 1;
  if (exhausted) {
    errno = EIO;
    return -1;
  }
  if (after >= 0 && static_cast<long long>(count) > after - t.bytesRead) {
    count = static_cast<size_t>(after - t.bytesRead);
  }
  const ssize_t n = real(fd, buf, count);
  if (n > 0) t.bytesRead += n;
  ++t.reads;
  return n;
}

ssize_t write(int fd, const void* buf, size_t count) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  const long long limit = EnvNumber("KIRATO_FAULT_ENOSPC_AFTER");
  const char* path = PathOf(fd);
  const char* only = Env("KIRATO_FAULT_WRITE_PATH");
  if (limit < 0 || !path || (only && !Matches(path, only))) {
    return real(fd, buf, count);
  }
  if (g_written >= limit) {
    errno = ENOSPC;
    return -1;
  }
  if (static_cast<long long>(count) > limit - g_written) {
    count = static_cast<size_t>(limit - g_written);
  }
  const ssize_t n = real(fd, buf, count);
  if (n > 0) g_written += n;
  return n;
}

int close(int fd) {
  static auto real = Next<int (*)(int)>("close");
  const bool fail = Matches(PathOf(fd), Env("KIRATO_FAULT_EIO_CLOSE"));
  Forget(fd);
  const int r = real(fd);
  if (r == 0 && fail) {
    errno = EIO;  // as after a delayed write error: the file is closed
    return -1;
  }
  return r;
}

int faccessat(int dirfd, const char* path, int mode, int flags) {
  static auto real = Next<int (*)(int, const char*, int, int)>("faccessat");
  if (RefuseOpen(Within(dirfd, path).c_str())) return -1;
  return real(dirfd, path, mode, flags);
}

int syncfs(int fd) {
  static auto real = Next<int (*)(int)>("syncfs");
  if (Env("KIRATO_FAULT_EIO_SYNC")) {
    errno = EIO;
    return -1;
  }
  return real(fd);
}

int rename(const char* from, const char* to) {
  static auto real = Next<int (*)(const char*, const char*)>("rename");
  if (Matches(to, Env("KIRATO_FAULT_EIO_RENAME"))) {
    errno = EIO;
    return -1;
  }
  return real(from, to);
}

}  // extern "C"
