// The names under which outputs are written before they are complete, on
// file systems that cannot write a file without a name.
#ifndef KIRATO_BATCH_TEMP_NAME_H_
#define KIRATO_BATCH_TEMP_NAME_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kirato {

// The longest file name most file systems take, in bytes.
inline constexpr size_t kNameLimit = 255;

// A hidden name beside `target`. It never ends in ".ugf", ".ugi" or ".sgf",
// so a later walk of the same folder ignores it, and it carries the id of
// the process `pid` that writes it, so that the leftovers of a killed run
// can be told apart from the files of a run still going on. It is at most
// `limit` bytes long: of a long target only the beginning is kept (whole
// UTF-8 characters), as a target that fits the limit would not be
// replaceable otherwise.
std::string TempName(std::string_view target, int64_t pid, unsigned attempt,
                     size_t limit = kNameLimit);

// The process id in a name made by TempName, or -1.
int64_t TempNameOwner(std::string_view name);

class Disk;
class Folder;

// For disks whose outputs can have a temporary name: removes from `folder`
// the temporary files of processes that have ended. A run killed while it
// moved a finished file over an older one can leave one.
void RemoveTempFilesOfEndedRuns(Disk& disk, Folder& folder);

}  // namespace kirato

#endif  // KIRATO_BATCH_TEMP_NAME_H_
