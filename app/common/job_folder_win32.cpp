// Entering the job folder on Windows.
#include "app/common/job.h"
#include "batch/path_win32.h"

// Last: it defines words such as "near" as macros.
#include <windows.h>

namespace kirato {

bool EnterFolder(const std::string& folder, std::string* err) {
  if (::SetCurrentDirectoryW(WideFromUtf8(folder).c_str())) return true;
  *err = ErrorText(::GetLastError());
  return false;
}

}  // namespace kirato
