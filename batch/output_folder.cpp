#include "batch/output_folder.h"

#include <algorithm>

namespace kirato {

OutputFolder::OutputFolder(std::shared_ptr<Folder> opened, bool clean)
    : prefix_(opened->prefix()),
      mutex_(std::make_shared<std::mutex>()),
      folder_(std::move(opened)),
      clean_(clean) {}

OutputFolder::OutputFolder(std::shared_ptr<OutputFolder> parent,
                           std::string_view name, char separator)
    : parent_(std::move(parent)),
      name_(name),
      prefix_(parent_->PathOf(name) + separator),
      mutex_(parent_->mutex_) {}

OutputFolder::~OutputFolder() {
  // A deep tree makes a long chain of parents: those this folder alone
  // holds go one after the other, not each from within its child.
  std::shared_ptr<OutputFolder> parent = std::move(parent_);
  while (parent && parent.use_count() == 1) {
    std::shared_ptr<OutputFolder> next = std::move(parent->parent_);
    parent.reset();
    parent = std::move(next);
  }
}

std::string OutputFolder::PathOf(std::string_view name) const {
  std::string path = prefix_;
  path.append(name);
  return path;
}

std::vector<OutputFolder*> OutputFolder::UnopenedChain() {
  std::vector<OutputFolder*> chain;
  for (OutputFolder* f = this; f && !f->folder_; f = f->parent_.get()) {
    chain.push_back(f);
  }
  return chain;
}

bool OutputFolder::Existing(Disk& disk, std::shared_ptr<Folder>* folder) {
  std::lock_guard<std::mutex> lock(*mutex_);
  if (!folder_ && !absent_) {
    const std::vector<OutputFolder*> chain = UnopenedChain();
    // From the outermost down: one that is not there has nothing below.
    bool there = true;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      OutputFolder& f = **it;
      std::string err;
      there = there && !f.absent_ &&
              disk.OpenSubfolder(*f.parent_->folder_, f.name_, &f.folder_,
                                 &err);
      f.absent_ = !there;
    }
  }
  *folder = folder_;
  return folder_ != nullptr;
}

bool OutputFolder::Make(Disk& disk, std::shared_ptr<Folder>* folder,
                        std::string* err) {
  if (!ready_.load(std::memory_order_acquire)) {
    {
      std::lock_guard<std::mutex> lock(*mutex_);
      const std::vector<OutputFolder*> chain = UnopenedChain();
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        OutputFolder& f = **it;
        bool made = false;
        if (!disk.MakeSubfolder(*f.parent_->folder_, f.name_, &f.folder_,
                                &made, err)) {
          return false;
        }
        f.absent_ = false;
        f.made_ = made;
        if (made) f.clean_ = false;  // a folder made now holds nothing
      }
    }
    // One thread lists the folder; the others write into it meanwhile, as
    // only files of ended runs are removed.
    if (clean_.exchange(false)) disk.RemoveLeftovers(*folder_);
    ready_.store(true, std::memory_order_release);
  }
  *folder = folder_;
  return true;
}

bool OutputFolder::Identity(Disk& disk, uint64_t* device, uint64_t* inode) {
  std::lock_guard<std::mutex> lock(*mutex_);
  if (!folder_) return false;
  FileStatus st;
  const bool looked = parent_ ? disk.StatIn(*parent_->folder_, name_, &st)
                              : disk.Stat(prefix_, &st);
  if (!looked) return false;
  *device = st.device;
  *inode = st.inode;
  return true;
}

std::vector<std::string> OutputFolder::TakeMadeUntraced() {
  std::lock_guard<std::mutex> lock(*mutex_);
  std::vector<std::string> paths;
  // Above a folder that was there before, or one already named, nothing is
  // left to name: folders are made from the outermost down.
  for (OutputFolder* f = this; f && f->made_ && !f->traced_;
       f = f->parent_.get()) {
    f->traced_ = true;
    paths.push_back(f->prefix_.substr(0, f->prefix_.size() - 1));
  }
  std::reverse(paths.begin(), paths.end());
  return paths;
}

}  // namespace kirato
