// Process services on POSIX systems (see disk_posix.cpp for the files).
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "batch/process.h"

extern char** environ;

namespace kirato {

std::string SelfExecutablePath() {
  std::vector<char> buf(PATH_MAX + 1);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

namespace {

std::string CurrentDirectory() {
  std::vector<char> buf(PATH_MAX + 1);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The first directory of PATH that holds an executable `name`, as a shell
// would have found it.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string_view rest = path;
  while (true) {
    const size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate.append("/").append(name);
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace

std::string InvokedProgramPath(const char* argv0) {
  std::string name = argv0 ? argv0 : "";
  if (!name.empty() && name.find('/') == std::string::npos) {
    name = FindOnPath(name);
  }
  if (name.empty() || !IsExecutableFile(name)) return SelfExecutablePath();
  if (name.front() != '/') {
    const std::string cwd = CurrentDirectory();
    if (cwd.empty()) return SelfExecutablePath();
    name = cwd + "/" + name;
  }
  return name;
}

bool RunProgramAndWait(const std::string& name, int* exitStatus,
                       int* error) {
  // posix_spawn, unlike posix_spawnp, never searches PATH: a bare name is
  // taken relative to the current directory.
  std::string arg0 = name;
  char* argv[] = {arg0.data(), nullptr};
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, name.c_str(), nullptr, nullptr, argv,
                               environ);
  if (rc != 0) {
    *error = rc;
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = errno;
      return false;
    }
  }
  *exitStatus =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void PrepareStandardStreams() {
  // A closed descriptor 0, 1 or 2 would be taken by the next file opened,
  // and messages meant for the terminal would land in the trace log or in
  // an SGF file. As the GNU tools do, /dev/null takes its place, opened the
  // wrong way round: a message written there fails, and the run says so.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    // Without /dev/null (a bare chroot) a folder serves: neither reads nor
    // writes succeed on it.
    if (opened < 0) opened = ::open("/", O_RDONLY | O_DIRECTORY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

int TerminalColumns(FILE* stream) {
  const int fd = ::fileno(stream);
  if (fd < 0 || !::isatty(fd)) return 0;
  struct winsize size = {};
  // A terminal that does not tell its width is taken as the usual 80.
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

int64_t CurrentProcessId() { return ::getpid(); }

bool ProcessEnded(int64_t pid) {
  if (pid <= 0 || pid > INT32_MAX) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace kirato
