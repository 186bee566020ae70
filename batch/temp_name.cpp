#include "batch/temp_name.h"

#include <string>

#include "base/ascii.h"
#include "batch/disk.h"
#include "batch/process.h"

namespace kirato {

std::string TempName(std::string_view target, int64_t pid, unsigned attempt,
                     size_t limit) {
  std::string suffix = ".";
  suffix += std::to_string(pid);
  suffix += '-';
  suffix += std::to_string(attempt);
  suffix += ".tmp";
  const size_t room = limit > suffix.size() + 1 ? limit - suffix.size() - 1 : 0;
  if (target.size() > room) {
    size_t cut = room;
    // Not within a UTF-8 character: a continuation byte is 10xxxxxx.
    while (cut > 0 && (static_cast<unsigned char>(target[cut]) >> 6) == 2) {
      --cut;
    }
    target = target.substr(0, cut);
  }
  std::string name;
  name.reserve(1 + target.size() + suffix.size());
  name += '.';
  name.append(target);
  name += suffix;
  return name;
}

int64_t TempNameOwner(std::string_view name) {
  constexpr std::string_view kEnd = ".tmp";
  if (name.size() < 8 || name[0] != '.' ||
      name.substr(name.size() - kEnd.size()) != kEnd) {
    return -1;
  }
  name.remove_suffix(kEnd.size());
  const size_t dash = name.rfind('-');
  const size_t dot = name.rfind('.', dash);
  if (dash == std::string_view::npos || dot == std::string_view::npos ||
      dot == 0 || dash == dot + 1 || dash + 1 == name.size()) {
    return -1;
  }
  int64_t pid = 0;
  for (size_t i = dot + 1; i < dash; ++i) {
    if (!IsDigit(name[i]) || pid > 100000000000) return -1;
    pid = pid * 10 + (name[i] - '0');
  }
  for (size_t i = dash + 1; i < name.size(); ++i) {
    if (!IsDigit(name[i])) return -1;
  }
  return pid;
}

void RemoveTempFilesOfEndedRuns(Disk& disk, Folder& folder) {
  std::vector<DirEntry> entries;
  std::string err;
  if (!disk.List(folder, &entries, &err)) return;
  const int64_t self = CurrentProcessId();
  for (const DirEntry& e : entries) {
    const int64_t owner = TempNameOwner(e.name);
    if (owner > 0 && owner != self && ProcessEnded(owner)) {
      disk.RemoveIn(folder, e.name);
    }
  }
}

}  // namespace kirato
