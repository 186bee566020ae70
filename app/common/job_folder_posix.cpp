// Entering the job folder on POSIX systems.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/common/job.h"

namespace kirato {

bool EnterFolder(const std::string& folder, std::string* err) {
  if (::chdir(folder.c_str()) == 0) return true;
  *err = std::strerror(errno);
  return false;
}

}  // namespace kirato
