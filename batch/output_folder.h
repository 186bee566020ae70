// The folders a walk writes its SGF files into. A flat walk has one, the OUT
// folder. A mirrored walk has one for each input folder, at the same place
// under OUT as the input folder has under IN; it is opened when the walk
// looks at the outputs of its records, and made only when a record is
// written into it, so that a run leaves no empty folder behind and a dry
// run makes none.
#ifndef KIRATO_BATCH_OUTPUT_FOLDER_H_
#define KIRATO_BATCH_OUTPUT_FOLDER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "batch/disk.h"

namespace kirato {

class OutputFolder {
 public:
  // OUT itself, which the walk has made and opened. `clean`: what killed
  // runs left in it is to be removed when the walk first writes there.
  OutputFolder(std::shared_ptr<Folder> opened, bool clean);
  // The folder `name` within `parent`, not yet looked for.
  OutputFolder(std::shared_ptr<OutputFolder> parent, std::string_view name,
               char separator);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Its path ending in a separator, as messages show it.
  const std::string& prefix() const { return prefix_; }
  std::string PathOf(std::string_view name) const;

  // The folder when it exists, opened the first time it is asked for.
  // False when it does not exist, or is no folder that can be opened: its
  // outputs are then all missing. Any thread.
  bool Existing(Disk& disk, std::shared_ptr<Folder>* folder);

  // The folder, made where it is missing, with the folders above it, for a
  // record to be written into. The first time, what runs killed while they
  // wrote here left behind is removed: a killed run always leaves a record
  // that the next run converts again, so only a folder written into can
  // hold anything to remove, and an up-to-date run lists no output folder.
  // False with *err set when a folder cannot be made or opened. Any thread.
  bool Make(Disk& disk, std::shared_ptr<Folder>* folder, std::string* err);

  // The device and inode of the folder, once it exists; false before.
  bool Identity(Disk& disk, uint64_t* device, uint64_t* inode);

  // The paths of the folders from OUT down to this one that Make made and
  // that no earlier call has named, outermost first: each is traced once,
  // with the first record that wrote into it in the walk's order. For the
  // walk's own thread.
  std::vector<std::string> TakeMadeUntraced();

  // The number the run's claims know this folder by (OutputNames). Set and
  // read on the walk's own thread.
  bool numbered = false;
  uint32_t number = 0;

 private:
  // Nearest first: this folder and those above it that are not open yet.
  std::vector<OutputFolder*> UnopenedChain();

  std::shared_ptr<OutputFolder> parent_;  // null for OUT
  std::string name_;                      // within the parent
  std::string prefix_;
  // One lock for the whole tree, as a folder is made from its parent.
  std::shared_ptr<std::mutex> mutex_;
  // Set once, with *mutex_ held; read without it once `ready_` is set.
  std::shared_ptr<Folder> folder_;
  std::atomic<bool> ready_{false};  // open, and its leftovers dealt with
  std::atomic<bool> clean_{true};   // leftovers still to be removed
  // Guarded by *mutex_.
  bool absent_ = false;  // looked for, and not there
  bool made_ = false;
  bool traced_ = false;
};

}  // namespace kirato

#endif  // KIRATO_BATCH_OUTPUT_FOLDER_H_
