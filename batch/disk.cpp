// What every disk can do by joining a folder's path and a name.
#include "batch/disk.h"

namespace kirato {

bool BlockLogFile::Write(std::string_view bytes, std::string* err) {
  constexpr size_t kBlock = 65536;
  buffer_.append(bytes);
  return buffer_.size() < kBlock ? Failed(err) : Flush(err);
}

bool BlockLogFile::Flush(std::string* err) {
  if (error_.empty() && !buffer_.empty()) WriteOut(buffer_, &error_);
  buffer_.clear();
  return Failed(err);
}

bool BlockLogFile::Failed(std::string* err) const {
  if (error_.empty()) return true;
  *err = error_;
  return false;
}

namespace {

// Why a file of `size` bytes is not read.
std::string TooLargeText(int64_t size) {
  return "too large for a game record: " + std::to_string(size) +
         " bytes (at most " + std::to_string(Disk::kMaxReadBytes >> 20) +
         " MiB are read)";
}

}  // namespace

Disk::ReadResult Disk::ReadToEnd(int64_t size, const ReadSome& readSome,
                                 std::string* bytes, std::string* err) {
  if (size > kMaxReadBytes) {
    *err = TooLargeText(size);
    return ReadResult::kCannotOpen;
  }
  const size_t expected = static_cast<size_t>(size);
  size_t have = 0;
  size_t want = expected + 1;
  for (;;) {
    bytes->resize(have + want);
    const int64_t n = readSome(bytes->data() + have, want, err);
    if (n < 0) {
      bytes->clear();
      return ReadResult::kReadError;
    }
    have += static_cast<size_t>(n);
    if (n == 0 || (static_cast<size_t>(n) < want && have == expected)) break;
    if (have > static_cast<size_t>(kMaxReadBytes)) {  // it grew
      *err = TooLargeText(static_cast<int64_t>(have));
      bytes->clear();
      return ReadResult::kReadError;
    }
    want = 65536;
  }
  bytes->resize(have);
  return ReadResult::kRead;
}

bool Disk::OpenFolder(const std::string& prefix,
                      std::shared_ptr<Folder>* folder, std::string* err) {
  FileStatus st;
  if (!Stat(prefix, &st) || st.kind != FileStatus::kDirectory) {
    // The listing names the reason: missing, not a folder, not allowed.
    std::vector<DirEntry> entries;
    if (ListDir(prefix, &entries, err)) *err = "Not a directory";
    return false;
  }
  *folder = std::make_shared<Folder>(prefix, st.device, st.inode);
  return true;
}

bool Disk::OpenSubfolder(Folder& parent, std::string_view name,
                         std::shared_ptr<Folder>* folder, std::string* err) {
  return OpenFolder(parent.PathOf(name) + Paths().separator, folder, err);
}

bool Disk::MakeSubfolder(Folder& parent, std::string_view name,
                         std::shared_ptr<Folder>* folder, bool* made,
                         std::string* err) {
  FileStatus st;
  *made = !StatIn(parent, name, &st);
  if (*made && !MakeDir(parent.PathOf(name), err)) return false;
  return OpenSubfolder(parent, name, folder, err);
}

bool Disk::List(Folder& folder, std::vector<DirEntry>* entries,
                std::string* err) {
  return ListDir(folder.prefix(), entries, err);
}

bool Disk::StatIn(Folder& folder, std::string_view name, FileStatus* st) {
  return Stat(folder.PathOf(name), st);
}

bool Disk::LookIn(Folder& folder, std::string_view name, FileStatus* st) {
  return StatIn(folder, name, st);
}

Disk::ReadResult Disk::ReadIn(Folder& folder, std::string_view name,
                              std::string* bytes, std::string* err) {
  return ReadFile(folder.PathOf(name), bytes, err);
}

bool Disk::CreateOutputIn(const std::shared_ptr<Folder>& folder,
                          std::string_view name, const FileStatus& known,
                          std::unique_ptr<OutputFile>* file,
                          std::string* err) {
  return CreateOutput(folder->PathOf(name), known, file, err);
}

bool Disk::RemoveIn(Folder& folder, std::string_view name) {
  return Remove(folder.PathOf(name));
}

void Disk::RemoveLeftovers(Folder&) {}

}  // namespace kirato
