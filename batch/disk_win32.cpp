// The file system on Windows, through the wide-character API. Together with
// process_win32.cpp and path_win32.cpp this is the only place that calls
// the operating system there.
//
// The walk reaches every name by its path (the folder calls of the seam
// keep their defaults). Outputs are written under a hidden temporary name
// beside their target, marked for deletion while they are written, so that
// a run killed before the end leaves nothing, and moved onto the target
// when complete.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "batch/disk.h"
#include "batch/path_win32.h"
#include "batch/process.h"
#include "batch/temp_name.h"

namespace kirato {

namespace {

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string LastErrorText() { return ErrorText(::GetLastError()); }
std::string ErrnoText(int e) { return std::strerror(e); }

// Seconds since 1970 from a FILETIME, which counts 100 ns since 1601.
int64_t UnixSeconds(const FILETIME& t) {
  const uint64_t ticks =
      (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
}

// Closes a handle however the function that opened it returns.
class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!ok()) return true;
    const bool closed = ::CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE h_;
};

// Opens a name without asking for any access, which sharing modes never
// refuse, following links; folders open too.
HANDLE OpenForQuery(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether `path` is a folder: opening one as a file is refused as if a
// permission were missing, which would be the wrong reason to show.
bool IsDirectoryPath(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Marks an open file to be deleted when its last handle closes, or takes
// the mark away again.
bool MarkForDeletion(HANDLE file, bool deleteIt) {
  FILE_DISPOSITION_INFO info;
  info.DeleteFile = deleteIt ? TRUE : FALSE;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &info,
                                      sizeof info) != 0;
}

using ReadResult = Disk::ReadResult;

ReadResult ReadAll(HANDLE file, std::string* bytes, std::string* err) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file, &size)) {
    *err = LastErrorText();
    return ReadResult::kCannotOpen;
  }
  return Disk::ReadToEnd(
      size.QuadPart,
      [file](char* at, size_t want, std::string* readError) -> int64_t {
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(want, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file, at, ask, &got, nullptr)) {
          *readError = LastErrorText();
          return -1;
        }
        return got;
      },
      bytes, err);
}

// Whether another program holds `path` open so that it cannot be replaced:
// a move onto such a file is refused as if a permission were missing.
bool HeldOpen(const std::wstring& path) {
  const HANDLE h = ::CreateFileW(path.c_str(), DELETE, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    ::CloseHandle(h);
    return false;
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// Writes all of `bytes`, in pieces a DWORD can count. False with *err set
// when the system refuses.
bool WriteAll(HANDLE file, std::string_view bytes, std::string* err) {
  while (!bytes.empty()) {
    const DWORD ask =
        static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD done = 0;
    if (!::WriteFile(file, bytes.data(), ask, &done, nullptr)) {
      *err = LastErrorText();
      return false;
    }
    if (done == 0) {
      *err = ErrnoText(EIO);
      return false;
    }
    bytes.remove_prefix(done);
  }
  return true;
}

class Win32OutputFile : public OutputFile {
 public:
  Win32OutputFile(HANDLE file, bool marked, std::wstring temp,
                  std::wstring target)
      : file_(file),
        marked_(marked),
        temp_(std::move(temp)),
        target_(std::move(target)) {}
  ~Win32OutputFile() override {
    // Marked, the file goes with its handle; otherwise it is deleted.
    const bool named = !marked_ || !file_.ok();
    file_.Close();
    if (named && !temp_.empty()) ::DeleteFileW(temp_.c_str());
  }

  bool Write(std::string_view bytes) override {
    if (error_.empty()) WriteAll(file_.get(), bytes, &error_);
    return error_.empty();
  }

  bool Commit(std::string* err) override {
    // The game reaches the disk before it gets its name: a power cut then
    // leaves the old file or the whole new one, never an empty one with a
    // new time. Windows has no cheaper way for a user without privileges.
    if (error_.empty() && !::FlushFileBuffers(file_.get())) {
      error_ = LastErrorText();
    }
    if (error_.empty() && marked_ && !MarkForDeletion(file_.get(), false)) {
      error_ = LastErrorText();
    }
    if (error_.empty()) marked_ = false;
    // Closing may report a write that failed late.
    if (!file_.Close() && error_.empty()) error_ = LastErrorText();
    if (error_.empty() &&
        !::MoveFileExW(temp_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DWORD error = ::GetLastError();
      if (error == ERROR_ACCESS_DENIED && HeldOpen(target_)) {
        error = ERROR_SHARING_VIOLATION;
      }
      error_ = ErrorText(error);
    }
    if (!error_.empty()) {
      *err = error_;
      return false;
    }
    temp_.clear();
    return true;
  }

 private:
  Handle file_;
  bool marked_;        // deleted by the system when its handle closes
  std::wstring temp_;  // the file's name while it is written
  std::wstring target_;
  std::string error_;
};

// The trace log, written in large blocks.
class Win32LogFile : public BlockLogFile {
 public:
  explicit Win32LogFile(HANDLE file) : file_(file) {}
  ~Win32LogFile() override {
    std::string ignored;
    Flush(&ignored);
  }

 private:
  bool WriteOut(std::string_view bytes, std::string* err) override {
    return WriteAll(file_.get(), bytes, err);
  }
  Handle file_;
};

class Win32Disk : public Disk {
 public:
  bool Stat(const std::string& path, FileStatus* st) override {
    *st = FileStatus();
    const std::wstring wide = WidePath(path);
    WIN32_FILE_ATTRIBUTE_DATA own;
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &own)) {
      return false;
    }
    st->isLink = (own.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    Handle h(OpenForQuery(wide));
    BY_HANDLE_FILE_INFORMATION info;
    if (h.ok() && ::GetFileInformationByHandle(h.get(), &info)) {
      Fill(info.dwFileAttributes, info.ftLastWriteTime, info.nFileSizeHigh,
           info.nFileSizeLow, st);
      if (st->kind == FileStatus::kRegular &&
          ::GetFileType(h.get()) != FILE_TYPE_DISK) {
        st->kind = FileStatus::kOther;
      }
      st->identified = true;
      st->device = info.dwVolumeSerialNumber;
      st->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) |
                  info.nFileIndexLow;
      return true;
    }
    if (st->isLink) {  // a link that leads nowhere
      *st = FileStatus();
      st->isLink = true;
      return false;
    }
    // Known but not to be opened: the path itself stands for its identity,
    // and never for another file's. A device name (con.sgf without a
    // console) is no file at all.
    Fill(own.dwFileAttributes, own.ftLastWriteTime, own.nFileSizeHigh,
         own.nFileSizeLow, st);
    if (IsReservedDeviceName(kWindowsPaths.FileName(path))) {
      st->kind = FileStatus::kOther;
    }
    st->identified = true;
    st->device = ~uint64_t{0};
    st->inode = std::hash<std::wstring>()(wide);
    return true;
  }

  bool ListDir(const std::string& dir, std::vector<DirEntry>* entries,
              std::string* err) override {
    entries->clear();
    std::string pattern = dir.empty() ? std::string(".\\")
                                      : kWindowsPaths.WithSeparator(dir);
    pattern += '*';
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileExW(
        WidePath(pattern).c_str(), FindExInfoBasic, &found,
        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      // An empty drive has not even "." to list.
      if (error == ERROR_FILE_NOT_FOUND) return true;
      *err = error == ERROR_PATH_NOT_FOUND && ExistsAsFile(dir)
                 ? ErrnoText(ENOTDIR)
                 : ErrorText(error);
      return false;
    }
    do {
      const std::wstring_view name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      DirEntry entry;
      entry.name = Utf8FromWide(name);
      entry.isDir = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // The search tells each file's time and size: a record need not be
      // opened to be found older than its SGF file. Not for a link, whose
      // entry tells of the link, nor a device's name.
      entry.looked = Looked(found.dwFileAttributes, found.ftLastWriteTime,
                            found.nFileSizeHigh, found.nFileSizeLow,
                            entry.name, &entry.status);
      entries->push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
      *err = ErrorText(error);
      return false;
    }
    return true;
  }

  // One call for the attributes, time and size: opening the file for its
  // identity costs three more, and no up-to-date test needs it.
  bool LookIn(Folder& folder, std::string_view name,
              FileStatus* st) override {
    const std::string path = folder.PathOf(name);
    WIN32_FILE_ATTRIBUTE_DATA own;
    if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard,
                                &own)) {
      *st = FileStatus();
      return false;
    }
    if (Looked(own.dwFileAttributes, own.ftLastWriteTime, own.nFileSizeHigh,
               own.nFileSizeLow, name, st)) {
      return true;
    }
    return Stat(path, st);  // a link, followed; a device's name
  }

  bool MakeDir(const std::string& path, std::string* err) override {
    if (::CreateDirectoryW(WidePath(path).c_str(), nullptr)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return true;
    // The folder is made inside one that the walk has just made or found,
    // so a missing path there means that a file is in the way.
    std::string parent, name;
    kWindowsPaths.Split(path, &parent, &name);
    if (error == ERROR_PATH_NOT_FOUND && ExistsAsFile(parent)) {
      *err = ErrnoText(ENOTDIR);
    } else {
      *err = ErrorText(error);
    }
    return false;
  }

  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override {
    bytes->clear();
    const std::wstring wide = WidePath(path);
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
    if (!file.ok()) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_ACCESS_DENIED && IsDirectoryPath(path)) {
        *err = ErrnoText(EISDIR);
      } else if (IsReservedDeviceName(kWindowsPaths.FileName(path))) {
        *err = kNotRegular;  // con.ugf without a console to open
      } else {
        *err = ErrorText(error);
      }
      return ReadResult::kCannotOpen;
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
      *err = kNotRegular;
      return ReadResult::kCannotOpen;
    }
    return ReadAll(file.get(), bytes, err);
  }

  bool CreateOutput(const std::string& path, const FileStatus& known,
                    std::unique_ptr<OutputFile>* file,
                    std::string* err) override {
    FileStatus st = known;
    std::string target = path;
    if (known.isLink) {
      target = FinalTarget(path, err);
      if (target.empty()) return false;
      Stat(target, &st);
    }
    // A device name is refused whatever the system says of it: where it
    // is the device, the game would go to the null device or the printer.
    if (st.kind == FileStatus::kDirectory || st.kind == FileStatus::kOther ||
        IsReservedDeviceName(kWindowsPaths.FileName(target))) {
      *err = kNotRegular;
      return false;
    }
    const std::wstring wideTarget = WidePath(target);
    // Refuse what a plain open for writing would refuse: a read-only file,
    // which a move would replace all the same.
    if (st.kind == FileStatus::kRegular) {
      const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        *err = ErrnoText(EACCES);
        return false;
      }
    }
    std::string dir, name;
    kWindowsPaths.Split(target, &dir, &name);
    const int64_t pid = CurrentProcessId();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const std::wstring temp = WidePath(dir + TempName(name, pid, attempt));
      HANDLE handle = ::CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        const bool marked = MarkForDeletion(handle, true);
        *file = std::make_unique<Win32OutputFile>(handle, marked, temp,
                                                  wideTarget);
        return true;
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        *err = error == ERROR_PATH_NOT_FOUND && ExistsAsFile(dir)
                   ? ErrnoText(ENOTDIR)
                   : ErrorText(error);
        return false;
      }
    }
    *err = ErrnoText(EEXIST);
    return false;
  }

  bool OpenLog(const std::string& path, std::unique_ptr<LogFile>* log,
               std::string* err) override {
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      *err = error == ERROR_ACCESS_DENIED && IsDirectoryPath(path)
                 ? ErrnoText(EISDIR)
                 : ErrorText(error);
      return false;
    }
    // A device name (con.log) or a pipe would swallow or block the log.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
      ::CloseHandle(file);
      *err = kNotRegular;
      return false;
    }
    *log = std::make_unique<Win32LogFile>(file);
    return true;
  }

  bool Remove(const std::string& path) override {
    return ::DeleteFileW(WidePath(path).c_str()) != 0;
  }

  bool OpenFolder(const std::string& prefix, std::shared_ptr<Folder>* folder,
                  std::string* err) override {
    const DWORD attributes = ::GetFileAttributesW(WidePath(prefix).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      // "file\" names no folder, and a file lies there.
      *err = ExistsAsFile(prefix) ? ErrnoText(ENOTDIR) : ErrorText(error);
      return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      *err = ErrnoText(ENOTDIR);
      return false;
    }
    // Known by its identity, so that the walk enters it once however many
    // links lead to it.
    FileStatus st;
    *folder = Stat(prefix, &st)
                  ? std::make_shared<Folder>(prefix, st.device, st.inode)
                  : std::make_shared<Folder>(prefix);
    return true;
  }

  // Removes the temporary files of runs that are no longer alive. Files
  // are deleted with their handle, so only a run killed in the moment
  // between the end of a file and its move can leave one.
  void RemoveLeftovers(Folder& folder) override {
    RemoveTempFilesOfEndedRuns(*this, folder);
  }

  const PathRules& Paths() const override { return kWindowsPaths; }

  // Notepad saves in UTF-8 or in the ANSI code page; names in the latter
  // are carried over into UTF-8, the program's encoding of paths.
  std::string DatafileText(std::string bytes) override {
    if (IsUtf8(bytes)) return bytes;
    return Utf8FromCodePage(bytes, 0);
  }

 private:
  static void Fill(DWORD attributes, const FILETIME& written, DWORD sizeHigh,
                   DWORD sizeLow, FileStatus* st) {
    st->kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? FileStatus::kDirectory
                   : FileStatus::kRegular;
    st->mtime = UnixSeconds(written);
    st->mtimeNsec = static_cast<uint32_t>(
        ((static_cast<uint64_t>(written.dwHighDateTime) << 32 |
          written.dwLowDateTime) % 10000000) * 100);
    st->size = static_cast<int64_t>(static_cast<uint64_t>(sizeHigh) << 32 |
                                    sizeLow);
  }

  // Fills *st from what a search or the attributes tell, when they tell
  // all LookIn gives: not for a link, nor for a name of a device.
  static bool Looked(DWORD attributes, const FILETIME& written, DWORD sizeHigh,
                     DWORD sizeLow, std::string_view name, FileStatus* st) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        IsReservedDeviceName(name)) {
      return false;
    }
    *st = FileStatus();
    Fill(attributes, written, sizeHigh, sizeLow, st);
    return true;
  }

  // Whether `path` (or `path` without its trailing separators) is a file.
  static bool ExistsAsFile(std::string path) {
    while (path.size() > 1 && kWindowsPaths.IsSeparator(path.back())) {
      path.pop_back();
    }
    if (path.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  // The name a chain of links ends at. Empty (with *err set) when it
  // cannot be followed.
  static std::string FinalTarget(const std::string& path, std::string* err) {
    Handle h(OpenForQuery(WidePath(path)));
    std::wstring name(MAX_PATH, L'\0');
    DWORD n = 0;
    if (h.ok()) {
      n = ::GetFinalPathNameByHandleW(h.get(), name.data(),
                                      static_cast<DWORD>(name.size()),
                                      FILE_NAME_NORMALIZED);
      if (n >= name.size()) {
        name.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(h.get(), name.data(),
                                        static_cast<DWORD>(name.size()),
                                        FILE_NAME_NORMALIZED);
      }
    }
    if (n == 0 || n >= name.size()) {
      *err = LastErrorText();
      return {};
    }
    name.resize(n);
    return Utf8FromWide(name);
  }
};

}  // namespace

Disk& SystemDisk() {
  static Win32Disk disk;
  return disk;
}

}  // namespace kirato
