#include "batch/output_names.h"

#include "base/ascii.h"

namespace kirato {

namespace {

// FNV-1a over the output folder's number and the output's stem, its
// letters folded, so that stems that differ in case alone meet where the
// file system takes them for one.
uint32_t HashOf(uint32_t outFolder, std::string_view stem) {
  uint64_t h = 14695981039346656037ULL;
  const auto mix = [&h](unsigned char byte) {
    h ^= byte;
    h *= 1099511628211ULL;
  };
  for (int i = 0; i < 4; ++i)
    mix(static_cast<unsigned char>(outFolder >> (8 * i)));
  for (char c : stem) mix(static_cast<unsigned char>(ToLower(c)));
  return static_cast<uint32_t>(h ^ (h >> 32));
}

// The size of a block of names: far more than any file name, which a file
// system keeps within a few hundred bytes.
constexpr size_t kNameBlock = 65536;

// The record's name without its extension: what its output is named after.
std::string_view Stem(std::string_view record) {
  return record.substr(0, record.rfind('.'));
}

}  // namespace

uint32_t OutputNames::AddFolder(std::string_view prefix) {
  folders_.emplace_back(prefix);
  return static_cast<uint32_t>(folders_.size() - 1);
}

std::string_view OutputNames::NameOf(const Entry& e) const {
  return std::string_view(names_[e.recordAt >> 16])
      .substr(e.recordAt & 0xFFFF, e.recordSize);
}

std::string_view OutputNames::StemOf(const Entry& e) const {
  return NameOf(e).substr(0, e.stemSize);
}

uint32_t OutputNames::Keep(std::string_view name) {
  if (names_.empty() || names_.back().size() + name.size() > kNameBlock) {
    names_.emplace_back().reserve(kNameBlock);
  }
  std::string& block = names_.back();
  const uint32_t at =
      static_cast<uint32_t>((names_.size() - 1) << 16 | block.size());
  block.append(name);
  return at;
}

void OutputNames::Grow() {
  std::vector<uint32_t> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
  const size_t mask = slots_.size() - 1;
  for (uint32_t slot : old) {
    if (slot == 0) continue;
    size_t i = entries_[slot - 1].hash & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

uint32_t OutputNames::OutputFolder(uint64_t device, uint64_t inode) {
  const auto known =
      outFolders_.emplace(std::make_pair(device, inode), outFolderCount_);
  if (known.second) ++outFolderCount_;
  return known.first->second;
}

uint32_t OutputNames::NewOutputFolder() { return outFolderCount_++; }

void OutputNames::Bind(uint32_t number, uint64_t device, uint64_t inode) {
  // A folder reached already by its identity keeps the number it had.
  outFolders_.emplace(std::make_pair(device, inode), number);
}

bool OutputNames::Claim(uint32_t outFolder, uint32_t folder,
                        std::string_view recordName, bool caseBlind,
                        std::string* holder) {
  // No folder holds a name this long; one named on the command line is
  // known by as much of it as a block of names takes.
  recordName = recordName.substr(0, kNameBlock - 1);
  const std::string_view stem = Stem(recordName);
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  const uint32_t hash = HashOf(outFolder, stem);
  size_t i = hash & mask;
  for (; slots_[i] != 0; i = (i + 1) & mask) {
    const Entry& e = entries_[slots_[i] - 1];
    if (e.hash == hash && e.outFolder == outFolder &&
        (caseBlind ? EqualsNoCase(StemOf(e), stem) : StemOf(e) == stem)) {
      *holder = folders_[e.folder];
      holder->append(NameOf(e));
      return false;
    }
  }
  entries_.push_back({outFolder, folder, Keep(recordName),
                      static_cast<uint16_t>(recordName.size()),
                      static_cast<uint16_t>(stem.size()), hash});
  slots_[i] = static_cast<uint32_t>(entries_.size());
  return true;
}

}  // namespace kirato
