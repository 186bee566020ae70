// Which record each output of a run came from. Kept compact, a few dozen
// bytes a record, so that a run over a hundred thousand records stays small.
#ifndef KIRATO_BATCH_OUTPUT_NAMES_H_
#define KIRATO_BATCH_OUTPUT_NAMES_H_

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kirato {

class OutputNames {
 public:
  // Registers an input folder (its path ending in a separator) and returns
  // its number; a record is then named by that number and its file name.
  uint32_t AddFolder(std::string_view prefix);

  // The number of the output folder known by (`device`, `inode`): the same
  // however its path is written.
  uint32_t OutputFolder(uint64_t device, uint64_t inode);
  // A number for an output folder that does not exist yet, as a mirrored
  // walk makes its folders only when a record is written into one.
  uint32_t NewOutputFolder();
  // Says that the folder of `number` has come to be known by (`device`,
  // `inode`), so that later walks that reach it by any path claim in it too.
  void Bind(uint32_t number, uint64_t device, uint64_t inode);

  // Claims, for the record `recordName` of input folder `folder`, its
  // output in output folder `outFolder`: the record's name with ".sgf" in
  // place of its extension, so two records claim the same output when
  // their names agree up to the extension. Returns true when the output
  // was still free; otherwise *holder receives the path of the record that
  // claimed it first. With `caseBlind`, names that differ in the case of
  // ASCII letters alone claim one output, as they would name one file
  // there.
  bool Claim(uint32_t outFolder, uint32_t folder, std::string_view recordName,
             bool caseBlind, std::string* holder);

 private:
  struct Entry {
    uint32_t outFolder;
    uint32_t folder;
    uint32_t recordAt;  // the record's file name: block << 16 | offset
    uint16_t recordSize;
    uint16_t stemSize;  // of the name without its extension
    uint32_t hash;      // kept, so that growing the table reads no name
  };
  std::string_view NameOf(const Entry& e) const;
  std::string_view StemOf(const Entry& e) const;
  // Keeps `name` in the blocks of names; returns where (Entry::recordAt).
  uint32_t Keep(std::string_view name);
  void Grow();

  std::vector<std::string> folders_;
  std::map<std::pair<uint64_t, uint64_t>, uint32_t> outFolders_;
  uint32_t outFolderCount_ = 0;
  // Both grow a block at a time, never by moving all they hold into a new
  // place twice as large: a run over a hundred thousand records would need
  // room for half as many again while it moved.
  std::deque<Entry> entries_;
  std::vector<std::string> names_;  // blocks of kNameBlock bytes at most
  // Open addressing: entry index + 1, or 0 for a free slot.
  std::vector<uint32_t> slots_;
};

}  // namespace kirato

#endif  // KIRATO_BATCH_OUTPUT_NAMES_H_
