// An in-memory disk for tests: a tree of files, directories and links with
// settable times, and faults that can be switched on per path.
#ifndef KIRATO_TESTS_FAKE_DISK_H_
#define KIRATO_TESTS_FAKE_DISK_H_

#include <algorithm>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "batch/disk.h"
#include "batch/run_state.h"

namespace kirato {

class FakeDisk : public Disk {
 public:
  enum Kind { kFile, kDir, kLink, kDevice };
  struct Node {
    Kind kind = kFile;
    std::string content;  // a file's bytes, or a link's target
    int64_t mtime = 0;
  };

  // The tree. Paths are absolute, without a trailing '/'; "/" always exists.
  std::map<std::string, Node> nodes{{"/", {kDir, "", 0}}};
  int64_t now = 1000;  // the time that new files get
  // How the walk writes paths on this disk. With Windows rules, '\' is
  // taken as '/' and a drive "C:" is a folder below "/".
  const PathRules* paths = &kPosixPaths;
  // As on Windows: listings tell the status of files, and LookIn tells it
  // without the identity, which only Stat (counted) gives.
  bool looksCheaply = false;
  std::multiset<std::string> statted;  // the paths Stat was asked about

  // Faults.
  std::set<std::string> failMkdir;     // mkdir fails ("Permission denied")
  std::set<std::string> failRead;      // opening for reading fails
  std::set<std::string> noMemory;      // reading throws std::bad_alloc
  std::set<std::string> failList;      // listing a directory fails
  std::set<std::string> failOpen;      // opening a directory fails
  std::set<std::string> failCreate;    // an output cannot be created
  std::map<std::string, size_t> readErrorAfter;  // reading fails part way
  size_t spaceLeft = std::string::npos;  // bytes until "No space left"
  // Each read of the path takes the first text off the list and makes it
  // the file's new content, one second newer: a record that changes while
  // it is converted.
  std::map<std::string, std::vector<std::string>> changesOnRead;
  bool failLog = false;
  size_t logSpace = std::string::npos;  // bytes of log until "No space left"
  // Folders on pseudo file systems, with their type ("proc").
  std::map<std::string, std::string> pseudo;
  bool failSync = false;

  // What happened.
  std::map<std::string, std::string> logs;  // log path -> bytes written
  std::vector<std::string> made;            // directories made, in order
  std::vector<std::string> removed;         // files removed, in order
  int openOutputs = 0;                      // outputs not yet committed
  int syncs = 0;                            // calls of SyncWritten

  // Each Add* makes the missing parent directories too.
  void AddDir(const std::string& path, int64_t mtime = 0) {
    AddParents(Clean(path));
    nodes[Clean(path)] = {kDir, "", mtime};
  }
  void AddFile(const std::string& path, std::string content,
               int64_t mtime = 0) {
    AddParents(Clean(path));
    nodes[Clean(path)] = {kFile, std::move(content), mtime};
  }
  void AddDevice(const std::string& path) {
    AddParents(Clean(path));
    nodes[Clean(path)] = {kDevice, "", 0};
  }
  void AddLink(const std::string& path, const std::string& target) {
    AddParents(Clean(path));
    nodes[Clean(path)] = {kLink, Clean(target), 0};
  }
  void AddParents(const std::string& clean) {
    for (size_t slash = clean.find('/', 1); slash != std::string::npos;
         slash = clean.find('/', slash + 1)) {
      nodes.insert({clean.substr(0, slash), {kDir, "", 0}});
    }
  }
  bool Exists(const std::string& path) {
    return nodes.count(Resolve(path)) != 0;
  }
  std::string Content(const std::string& path) {
    auto it = nodes.find(Resolve(path));
    return it == nodes.end() ? std::string("<missing>") : it->second.content;
  }

  // "a//b/" -> "/a/b"; relative paths are taken from the root.
  std::string Clean(const std::string& path) const {
    std::string out = "/";
    for (char c : path) {
      if (paths->IsSeparator(c)) c = '/';
      if (c == '/' && out.back() == '/') continue;
      out += c;
    }
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
  }

  // The path with every link along it followed.
  std::string Resolve(const std::string& path) {
    std::string p = Clean(path);
    for (int hops = 0; hops < 40; ++hops) {
      bool followed = false;
      for (size_t end = 1; end <= p.size(); ++end) {
        if (end != p.size() && p[end] != '/') continue;
        auto it = nodes.find(p.substr(0, end));
        if (it != nodes.end() && it->second.kind == kLink) {
          p = Clean(it->second.content + p.substr(end));
          followed = true;
          break;
        }
      }
      if (!followed) return p;
    }
    return p;
  }

  const Node* Find(const std::string& path) {
    auto it = nodes.find(Resolve(path));
    return it == nodes.end() ? nullptr : &it->second;
  }
  static std::string Parent(const std::string& clean) {
    const size_t slash = clean.rfind('/');
    return slash == 0 ? "/" : clean.substr(0, slash);
  }

  bool Stat(const std::string& path, FileStatus* st) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    statted.insert(Clean(path));
    *st = FileStatus();
    auto own = nodes.find(Clean(path));
    st->isLink = own != nodes.end() && own->second.kind == kLink;
    const Node* n = Find(path);
    if (!n) return false;
    static const FileStatus::Kind kKinds[] = {
        FileStatus::kRegular, FileStatus::kDirectory, FileStatus::kOther,
        FileStatus::kOther};
    st->kind = kKinds[n->kind];
    st->mtime = n->mtime;
    st->size = static_cast<int64_t>(n->content.size());
    st->identified = true;
    st->device = 1;
    st->inode = InodeOf(Resolve(path));
    return true;
  }

  bool ListDir(const std::string& dir, std::vector<DirEntry>* entries,
               std::string* err) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    entries->clear();
    const std::string d = Resolve(dir);
    const Node* n = Find(d);
    if (failList.count(Clean(dir))) {
      *err = "Permission denied";
      return false;
    }
    if (!n || n->kind != kDir) {
      *err = n ? "Not a directory" : "No such file or directory";
      return false;
    }
    // Newest first, so that tests see the walk sort the names itself.
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      if (it->first == "/" || Parent(it->first) != d) continue;
      const Node* target = Find(it->first);
      DirEntry e;
      e.name = it->first.substr(it->first.rfind('/') + 1);
      e.isDir = target && target->kind == kDir;
      if (looksCheaply && it->second.kind == kFile) {
        e.looked = true;
        e.status.kind = FileStatus::kRegular;
        e.status.mtime = it->second.mtime;
        e.status.size = static_cast<int64_t>(it->second.content.size());
      }
      entries->push_back(std::move(e));
    }
    return true;
  }

  bool MakeDir(const std::string& path, std::string* err) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string p = Clean(path);
    if (failMkdir.count(path) || failMkdir.count(p)) {
      *err = "Permission denied";
      return false;
    }
    if (Find(p)) return true;
    const Node* parent = Find(Parent(p));
    if (!parent || parent->kind != kDir) {
      *err = "No such file or directory";
      return false;
    }
    const std::string parentPath = Resolve(Parent(p));
    const std::string name = p.substr(p.rfind('/') + 1);
    nodes[parentPath == "/" ? "/" + name : parentPath + "/" + name] = {
        kDir, "", now};
    made.push_back(path);
    return true;
  }

  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    bytes->clear();
    const Node* n = Find(path);
    if (failRead.count(path)) {
      *err = "Permission denied";
      return ReadResult::kCannotOpen;
    }
    if (noMemory.count(path)) throw std::bad_alloc();
    if (!n) {
      *err = "No such file or directory";
      return ReadResult::kCannotOpen;
    }
    if (n->kind != kFile) {
      *err = n->kind == kDir ? "Is a directory" : kNotRegular;
      return ReadResult::kCannotOpen;
    }
    if (readErrorAfter.count(path)) {
      *err = "Input/output error";
      return ReadResult::kReadError;
    }
    *bytes = n->content;
    auto change = changesOnRead.find(path);
    if (change != changesOnRead.end() && !change->second.empty()) {
      Node& node = nodes[Resolve(path)];
      node.content = change->second.front();
      ++node.mtime;
      change->second.erase(change->second.begin());
    }
    return ReadResult::kRead;
  }

  class FakeOutput : public OutputFile {
   public:
    FakeOutput(FakeDisk& disk, std::string target)
        : disk_(disk), target_(std::move(target)) {
      ++disk_.openOutputs;
    }
    ~FakeOutput() override {
      std::lock_guard<std::recursive_mutex> lock(disk_.mutex_);
      --disk_.openOutputs;
    }
    bool Write(std::string_view bytes) override {
      std::lock_guard<std::recursive_mutex> lock(disk_.mutex_);
      for (char c : bytes) {
        if (disk_.spaceLeft == 0) {
          error_ = "No space left on device";
          return false;
        }
        if (disk_.spaceLeft != std::string::npos) --disk_.spaceLeft;
        data_ += c;
      }
      return true;
    }
    bool Commit(std::string* err) override {
      std::lock_guard<std::recursive_mutex> lock(disk_.mutex_);
      if (!error_.empty()) {
        *err = error_;
        return false;
      }
      disk_.nodes[disk_.Resolve(target_)] = {kFile, data_, disk_.now};
      return true;
    }

   private:
    FakeDisk& disk_;
    std::string target_;
    std::string data_;
    std::string error_;
  };

  bool CreateOutput(const std::string& path, const FileStatus& known,
                    std::unique_ptr<OutputFile>* file,
                    std::string* err) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (known.kind == FileStatus::kDirectory ||
        known.kind == FileStatus::kOther) {
      *err = kNotRegular;
      return false;
    }
    const Node* parent = Find(Parent(Resolve(path)));
    if (failCreate.count(path) || !parent || parent->kind != kDir) {
      *err = "Permission denied";
      return false;
    }
    *file = std::make_unique<FakeOutput>(*this, path);
    return true;
  }

  class FakeLog : public LogFile {
   public:
    FakeLog(std::string& sink, size_t& space) : sink_(sink), space_(space) {}
    bool Write(std::string_view bytes, std::string* err) override {
      for (char c : bytes) {
        if (space_ == 0) {
          *err = "No space left on device";
          return false;
        }
        if (space_ != std::string::npos) --space_;
        sink_ += c;
      }
      return true;
    }
    bool Flush(std::string* err) override { return Write({}, err); }

   private:
    std::string& sink_;
    size_t& space_;
  };

  bool OpenLog(const std::string& path, std::unique_ptr<LogFile>* log,
               std::string* err) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (failLog) {
      *err = "Permission denied";
      return false;
    }
    logs[path].clear();
    *log = std::make_unique<FakeLog>(logs[path], logSpace);
    return true;
  }

  const PathRules& Paths() const override { return *paths; }

  bool OpenFolder(const std::string& prefix, std::shared_ptr<Folder>* folder,
                  std::string* err) override {
    if (failOpen.count(Clean(prefix))) {
      *err = "Permission denied";
      return false;
    }
    return Disk::OpenFolder(prefix, folder, err);
  }

  bool LookIn(Folder& folder, std::string_view name,
              FileStatus* st) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const bool seen = StatIn(folder, name, st);
    if (looksCheaply) {
      statted.erase(statted.find(Clean(folder.PathOf(name))));
      st->identified = false;
      st->device = st->inode = 0;
    }
    return seen;
  }

  std::string PseudoFileSystem(Folder& folder) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = pseudo.find(Resolve(folder.prefix()));
    return it == pseudo.end() ? std::string() : it->second;
  }

  bool SyncWritten(std::string* err) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++syncs;
    if (failSync) *err = "Input/output error";
    return !failSync;
  }

  bool Remove(const std::string& path) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string p = Resolve(path);
    auto it = nodes.find(p);
    if (it == nodes.end() || it->second.kind != kFile) return false;
    nodes.erase(it);
    removed.push_back(path);
    return true;
  }

 private:
  // A number per resolved path, standing for the inode.
  uint64_t InodeOf(const std::string& resolved) {
    return inodes_.emplace(resolved, inodes_.size() + 1).first->second;
  }
  std::map<std::string, uint64_t> inodes_;
  // Worker threads convert records side by side.
  std::recursive_mutex mutex_;
};

// For the tests of the real disks, the calls as the walk makes them: null
// (with *err set) when the output cannot be started, or the folder opened.
inline std::unique_ptr<OutputFile> StartOutput(Disk& disk,
                                               const std::string& path,
                                               std::string* err) {
  FileStatus st;
  disk.Stat(path, &st);
  std::unique_ptr<OutputFile> out;
  return disk.CreateOutput(path, st, &out, err) ? std::move(out) : nullptr;
}
inline std::shared_ptr<Folder> OpenedFolder(Disk& disk,
                                            const std::string& prefix,
                                            std::string* err) {
  std::shared_ptr<Folder> folder;
  return disk.OpenFolder(prefix, &folder, err) ? folder : nullptr;
}

// A run over a fake disk that collects its messages.
struct TestRun {
  FakeDisk disk;
  std::vector<std::string> messages;
  Run run{disk,
          [this](NoteKind, std::string_view m) { messages.emplace_back(m); }};
};

}  // namespace kirato

#endif  // KIRATO_TESTS_FAKE_DISK_H_
