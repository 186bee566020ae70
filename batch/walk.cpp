#include "batch/walk.h"

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "batch/output_folder.h"
#include "batch/pool.h"
#include "batch/record_names.h"
#include "convert/convert.h"

namespace kirato {

namespace {

// Says that the output folder `path` cannot be made; `where` names the
// datafile line or the option that asked for it.
void OutputDirFailure(Run& run, const std::string& where,
                      const std::string& path, const std::string& err) {
  ShowMessage(run, Format("%s: the outputdir '%s' cannot be created: %s",
                          where.c_str(), path.c_str(), err.c_str()));
  run.state.errorFlag = true;
}

// Creates one leading part, or all, of the output directory. True when it
// exists afterwards.
bool MakeOutputDir(Run& run, const std::string& where,
                   const std::string& path) {
  std::string err;
  if (run.disk.MakeDir(path, &err)) return true;
  OutputDirFailure(run, where, path, err);
  return false;
}

// Creates the output directory one component at a time, so that a whole new
// tree can be named. The root it begins with (a drive, a share) is never
// created. *created receives the directory as created (without a trailing
// separator). False when a part could not be made, as a message has said.
bool CreateOutputDir(Run& run, const std::string& where,
                    const std::string& inputDir,
                    const std::string& outputDir, std::string* created) {
  const PathRules& paths = run.disk.Paths();
  const size_t root = paths.RootLength(outputDir);
  std::string path;
  for (size_t i = 0; i < outputDir.size(); ++i) {
    if (paths.IsSeparator(outputDir[i]) && i >= root) {
      const bool made = MakeOutputDir(run, where, path);
      if (run.state.traceLevel >= 6) {
        TraceWrite(run, "ProcessDir::mkdir ", inputDir);
      }
      if (!made) return false;
    }
    path += outputDir[i];
  }
  // One trailing separator is dropped, but not the root itself.
  if (path.size() > std::max<size_t>(root, 1) &&
      paths.IsSeparator(path.back())) {
    path.pop_back();
  }
  if (path.size() > root && !MakeOutputDir(run, where, path)) return false;
  *created = path;
  return true;
}

// Two statuses of one file, reached by whatever names.
bool SameFile(const FileStatus& a, const FileStatus& b) {
  return a.device == b.device && a.inode == b.inode;
}

// One record to convert, and where its output goes. Without folders the
// paths are used as they stand.
struct RecordJob {
  RecordFormat format = RecordFormat::kUgf;
  std::shared_ptr<Folder> in;
  std::string inName;
  std::string inputPath;
  FileStatus inStatus;  // the record before it was read
  std::shared_ptr<OutputFolder> out;
  std::string outName;
  std::string outputPath;
  FileStatus outStatus;  // the output as the decision to convert saw it
  bool outputIsInput = false;
  // A name that a record could have: never written, whatever it holds.
  bool outputNamedLikeRecord = false;
  // The walk removes the SGF file of a record that no longer converts, so
  // that it cannot pass for this record's; a single conversion leaves its
  // output as it was.
  bool removeStaleOutput = false;
  // A single conversion puts its output on stable storage before it is
  // reported; a run does so for all its outputs before its summary.
  bool syncOutput = false;
  std::string gameName;
};

void AddMessage(RecordOutcome& o, std::string text,
                NoteKind kind = NoteKind::kProblem) {
  o.notes.push_back({kind, std::move(text)});
}

// The record could not be read, or its output not stored: a fault of the
// system rather than of the record, which the run must report as failed.
void IoFailure(RecordOutcome& o, const char* verb, const std::string& path,
               const std::string& reason) {
  AddMessage(o, Format("Cannot %s '%s': %s", verb, path.c_str(),
                       reason.c_str()));
  o.status = RecordStatus::kFailed;
}

// The record's and its output's files, reached through their folders when
// the walk opened them, else by their paths.
Disk::ReadResult ReadRecord(Disk& disk, const RecordJob& job,
                            std::string* bytes, std::string* err) {
  return job.in ? disk.ReadIn(*job.in, job.inName, bytes, err)
                : disk.ReadFile(job.inputPath, bytes, err);
}

// Makes the output's folder where it is missing, and starts the output.
bool CreateOutputFor(Disk& disk, const RecordJob& job, RecordOutcome& o,
                     std::unique_ptr<OutputFile>* file, std::string* err) {
  if (!job.out) {
    return disk.CreateOutput(job.outputPath, job.outStatus, file, err);
  }
  std::shared_ptr<Folder> folder;
  if (!job.out->Make(disk, &folder, err)) return false;
  o.wroteIn = job.out;
  return disk.CreateOutputIn(folder, job.outName, job.outStatus, file, err);
}

void RemoveOutput(Disk& disk, const RecordJob& job) {
  std::shared_ptr<Folder> folder;
  if (!job.out) {
    disk.Remove(job.outputPath);
  } else if (job.out->Existing(disk, &folder)) {
    disk.RemoveIn(*folder, job.outName);
  }
}

bool StatRecord(Disk& disk, const RecordJob& job, FileStatus* st) {
  return job.in ? disk.StatIn(*job.in, job.inName, st)
                : disk.Stat(job.inputPath, st);
}

// Two looks at a record that saw the same bytes: the same file, the same
// size and the same time to the fraction of a second.
bool SameVersion(const FileStatus& a, const FileStatus& b) {
  return a.kind == b.kind && SameFile(a, b) && a.size == b.size &&
         a.mtime == b.mtime && a.mtimeNsec == b.mtimeNsec;
}

// How often a record that changes while it is converted is converted.
constexpr int kAttempts = 2;

enum class Stored { kYes, kNotConverted, kFailed };

// Reads, converts and stores one record, adding to `o` what it showed.
// kNotConverted: the record itself was refused; kFailed: the system
// refused a read or a write, or the record kept changing.
Stored ConvertAndStore(Disk& disk, const RecordJob& job,
                       ConvertOptions options, RecordOutcome& o) {
  if (job.outputIsInput) {
    IoFailure(o, "write", job.outputPath,
              "it is the record '" + job.inputPath + "' itself");
    return Stored::kFailed;
  }
  if (job.outputNamedLikeRecord) {
    IoFailure(o, "write", job.outputPath,
              "the name of a game record, not of an SGF file");
    return Stored::kFailed;
  }
  options.recordPath = job.inputPath;
  options.format = job.format;
  FileStatus before = job.inStatus;
  for (int attempt = 1;; ++attempt) {
    const size_t firstNote = o.notes.size();
    std::string err;
    std::string record;
    if (ReadRecord(disk, job, &record, &err) != Disk::ReadResult::kRead) {
      IoFailure(o, "read", job.inputPath, err);
      return Stored::kFailed;
    }
    GameResult game;
    ConvertGame(record, job.gameName, options, &game);
    std::move(game.notes.begin(), game.notes.end(),
              std::back_inserter(o.notes));
    // Only a game that converted gets an output, and its folder: a
    // mirrored walk makes no folder for records that fail.
    std::unique_ptr<OutputFile> out;
    if (game.converted) {
      if (!CreateOutputFor(disk, job, o, &out, &err)) {
        IoFailure(o, "write", job.outputPath, err);
        return Stored::kFailed;
      }
      out->Write(game.sgf);  // errors come with Commit
    }
    // The SGF file's time is that of its last byte written: a record that
    // changes after this look is at least as new as its SGF file, and so
    // converted again by the next run. One that changed before it may have
    // been read half-written.
    FileStatus after;
    StatRecord(disk, job, &after);
    if (!SameVersion(before, after)) {
      if (attempt < kAttempts) {
        o.notes.erase(o.notes.begin() + static_cast<ptrdiff_t>(firstNote),
                      o.notes.end());
        before = after;
        continue;
      }
      AddMessage(o, Format("'%s' changed while it was converted; it is left "
                           "for the next run",
                           job.inputPath.c_str()));
      o.status = RecordStatus::kFailed;
      return Stored::kFailed;
    }
    if (!game.converted) {
      // Whatever stopped it, the record has no SGF file: a run that leaves
      // one behind has failed.
      o.status = game.refused ? RecordStatus::kRefused : RecordStatus::kFailed;
      return Stored::kNotConverted;
    }
    // A game that is not completely on disk must not count as converted: a
    // later run would skip it as up to date.
    if (!out->Commit(&err) || (job.syncOutput && !disk.SyncWritten(&err))) {
      IoFailure(o, "write", job.outputPath, err);
      return Stored::kFailed;
    }
    return Stored::kYes;
  }
}

// Converts one record. Touches nothing but the disk, so that it can run on
// any thread; the outcome says what the run must show.
RecordOutcome ConvertRecord(Disk& disk, const RecordJob& job,
                            const ConvertOptions& options) {
  RecordOutcome o;
  o.input = job.inputPath;
  o.output = job.outputPath;
  Stored stored = Stored::kFailed;
  try {
    stored = ConvertAndStore(disk, job, options, o);
  } catch (const std::bad_alloc&) {
    // Whatever ran out, this record alone fails, named as any other; what
    // it held is freed by now.
    AddMessage(o, Format("Not enough memory to convert '%s'",
                         job.inputPath.c_str()));
    o.status = RecordStatus::kFailed;
  }
  const bool ok = stored == Stored::kYes;
  AddMessage(o,
             Format("convert %s%s -> %s", ok ? "" : "(FOUT) ",
                    job.inputPath.c_str(), job.outputPath.c_str()),
             ok ? NoteKind::kConverted : NoteKind::kFailed);
  if (ok) {
    o.status = RecordStatus::kConverted;
  } else if (stored == Stored::kNotConverted && job.removeStaleOutput &&
             job.outStatus.kind == FileStatus::kRegular &&
             !job.outStatus.isLink) {
    // The SGF file of an earlier conversion would now pass for this
    // record's, and be taken as up to date. An output that could not be
    // replaced stays: the next run tries again, and finds it older than
    // the record.
    RemoveOutput(disk, job);
  }
  return o;
}

// What the run says of how records are converted.
ConvertOptions OptionsOf(const Run& run) {
  ConvertOptions options;
  options.traceLevel = run.state.traceLevel;
  options.charset = run.state.charset;
  return options;
}

// One walk of an input tree into OUT.
struct Walk {
  Run& run;
  int lineNumber;
  const std::string& outputDir;  // as the datafile gave it, for the trace
  std::shared_ptr<OutputFolder> out;  // OUT
  // Each input folder writes into a folder of its own under OUT.
  bool mirror;
  // Every folder is entered once, however many links lead to it.
  std::set<std::pair<uint64_t, uint64_t>> entered;
  RecordPool& pool;
  // Output folders numbered before they existed, to be known by their
  // identity once the walk is over.
  std::vector<std::shared_ptr<OutputFolder>> unbound;
};

// The number the run's claims know `out` by: its identity when it exists,
// else a new one, tied to its identity when the walk is over.
uint32_t ClaimNumber(Walk& w, const std::shared_ptr<OutputFolder>& out) {
  if (!out->numbered) {
    OutputNames& names = w.run.state.outputs;
    uint64_t device = 0, inode = 0;
    std::shared_ptr<Folder> folder;
    out->numbered = true;
    out->bound = out->Existing(w.run.disk, &folder) &&
                 out->Identity(w.run.disk, &device, &inode);
    out->number = out->bound ? names.OutputFolder(device, inode)
                             : names.NewOutputFolder();
    if (!out->bound) w.unbound.push_back(out);
  }
  return out->number;
}

// Ties the numbers of the output folders this walk made to their identity,
// so that a later IN line that reaches one by another path claims there.
void BindMadeFolders(Walk& w) {
  for (const std::shared_ptr<OutputFolder>& out : w.unbound) {
    uint64_t device = 0, inode = 0;
    if (out->Identity(w.run.disk, &device, &inode)) {
      w.run.state.outputs.Bind(out->number, device, inode);
    }
  }
  w.unbound.clear();
}

// A record to decide on: a name in a folder the walk opened, or a file
// named on the command line, reached by its path as given.
struct Candidate {
  std::shared_ptr<Folder> folder;  // null: reached by `path`
  std::string name;                // its file name
  std::string path;                // set when there is no folder
  uint32_t folderNumber = 0;       // of its folder among the run's outputs
  std::shared_ptr<OutputFolder> out;
  std::string outName;
  RecordFormat format = RecordFormat::kUgf;

  std::string Path() const { return folder ? folder->PathOf(name) : path; }
};

bool StatCandidate(Disk& disk, const Candidate& c, FileStatus* st) {
  return c.folder ? disk.StatIn(*c.folder, c.name, st) : disk.Stat(c.path, st);
}

void ProcessCandidate(Walk& w, const Candidate& c) {
  Run& run = w.run;
  if (run.state.traceLevel >= 3) {
    TraceWrite(run, "ProcessFile ", c.Path(), " -> ", c.out->PathOf(c.outName));
  }
  // Whatever the times say: the output belongs to the record that came
  // first, and a second record would silently replace its game.
  std::string holder;
  const uint32_t outNumber = ClaimNumber(w, c.out);
  if (!run.state.outputs.Claim(outNumber, c.folderNumber, c.name,
                               run.disk.Paths().caseBlind, &holder)) {
    RecordOutcome taken;
    taken.status = RecordStatus::kCollision;
    taken.input = c.Path();
    taken.output = c.out->PathOf(c.outName);
    taken.notes.push_back(
        {NoteKind::kProblem,
         Format("'%s' not converted: its output '%s' comes from '%s'",
                taken.input.c_str(), taken.output.c_str(), holder.c_str())});
    w.pool.Decided(std::move(taken));
    return;
  }
  RecordJob job;
  std::shared_ptr<Folder> outFolder;
  if (c.out->Existing(run.disk, &outFolder)) {
    run.disk.StatIn(*outFolder, c.outName, &job.outStatus);
  }
  const bool inputSeen = StatCandidate(run.disk, c, &job.inStatus);
  if (inputSeen && job.outStatus.kind == FileStatus::kRegular) {
    job.outputIsInput = SameFile(job.inStatus, job.outStatus);
    // An empty SGF file is never a finished game: what a power cut can
    // leave of one written just before.
    if (!job.outputIsInput && !run.state.force && job.outStatus.size > 0 &&
        IsUpToDate(job.inStatus.mtime, job.outStatus.mtime,
                   run.state.executableTime)) {
      RecordOutcome upToDate;
      upToDate.status = RecordStatus::kUpToDate;
      // The paths cost a string each, which only a report reads.
      if (run.state.report) {
        upToDate.input = c.Path();
        upToDate.output = c.out->PathOf(c.outName);
      }
      w.pool.Decided(std::move(upToDate));
      return;
    }
  }
  job.format = c.format;
  job.in = c.folder;
  job.inName = c.name;
  job.inputPath = c.Path();
  job.out = c.out;
  job.outName = c.outName;
  job.outputPath = c.out->PathOf(c.outName);
  job.gameName = c.outName;
  job.removeStaleOutput = true;
  Disk& disk = run.disk;
  w.pool.Submit([&disk, options = OptionsOf(run), job = std::move(job)] {
    return ConvertRecord(disk, job, options);
  });
}

// Lists one folder and converts its records into `out`. Returns its
// entries in byte order, for the walk into its subfolders; none when it
// cannot be listed.
std::vector<DirEntry> VisitFolder(Walk& w,
                                  const std::shared_ptr<Folder>& folder,
                                  const std::shared_ptr<OutputFolder>& out,
                                  const std::string& shownPath,
                                  const std::string& prefix,
                                  std::string err) {
  Run& run = w.run;
  ReportProgress(run, shownPath);
  const int level = run.state.traceLevel;
  if (level >= 3) TraceWrite(run, "ProcessDir::FindFirst ", prefix, "*.ug?");
  std::vector<DirEntry> entries;
  if (!folder || !run.disk.List(*folder, &entries, &err)) {
    ShowMessage(run, Format("Datafile line %d: input '%s' cannot be read: %s",
                            w.lineNumber, shownPath.c_str(), err.c_str()));
    run.state.errorFlag = true;
    ++run.state.directoriesScanned;
    return {};
  }
  // Byte order of the names makes every run over the same tree show the
  // same lines in the same order.
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  bool registered = false;
  uint32_t folderNumber = 0;
  Candidate c;
  c.folder = folder;
  c.out = out;
  for (const DirEntry& e : entries) {
    c.outName = OutputNameFor(e.name, run.state.formats, &c.format);
    if (c.outName.empty()) continue;
    if (!registered) {
      folderNumber = run.state.outputs.AddFolder(folder->prefix());
      registered = true;
    }
    c.name = e.name;
    c.folderNumber = folderNumber;
    ProcessCandidate(w, c);
  }
  ++run.state.directoriesScanned;
  if (level >= 3) TraceWrite(run, "ProcessDir::FindFirst ", prefix, "*.*");
  return entries;
}

// A folder on a pseudo file system is never walked: it holds no records,
// and proc, reached by a link to the root, would lead on for ever.
bool OnPseudoFileSystem(Walk& w, Folder& folder, const std::string& path) {
  const std::string type = w.run.disk.PseudoFileSystem(folder);
  if (type.empty()) return false;
  if (w.run.state.traceLevel >= 3) {
    TraceWrite(w.run, "ProcessDir::skip ", path,
               " (" + type + " file system)");
  }
  return true;
}

// Depth first, a folder's own records before its subfolders, with a stack
// of its own so that the depth of a tree cannot exhaust the thread's.
void WalkTree(Walk& w, const std::string& inputDir) {
  Run& run = w.run;
  const char separator = run.disk.Paths().separator;
  const std::string prefix = run.disk.Paths().WithSeparator(inputDir);
  std::string err;
  std::shared_ptr<Folder> top;
  run.disk.OpenFolder(prefix, &top, &err);
  if (top && OnPseudoFileSystem(w, *top, inputDir)) return;
  FileStatus st;
  if (top && run.disk.Stat(prefix, &st)) {
    w.entered.insert({st.device, st.inode});
  }
  struct Frame {
    std::shared_ptr<Folder> folder;
    std::shared_ptr<OutputFolder> out;
    std::vector<DirEntry> entries;
    size_t next = 0;
  };
  std::vector<Frame> stack;
  stack.push_back({top, w.out, VisitFolder(w, top, w.out, inputDir, prefix, err)});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.entries.size()) {
      stack.pop_back();
      continue;
    }
    const DirEntry& e = f.entries[f.next++];
    if (!e.isDir || e.name.front() == '.') continue;
    const std::string sub = f.folder->PathOf(e.name);
    if (run.disk.StatIn(*f.folder, e.name, &st) &&
        !w.entered.insert({st.device, st.inode}).second) {
      if (run.state.traceLevel >= 3) {
        TraceWrite(run, "ProcessDir::seen ", sub);
      }
      continue;
    }
    err.clear();
    std::shared_ptr<Folder> child;
    run.disk.OpenSubfolder(*f.folder, e.name, &child, &err);
    if (child && OnPseudoFileSystem(w, *child, sub)) continue;
    std::shared_ptr<OutputFolder> out =
        w.mirror ? std::make_shared<OutputFolder>(f.out, e.name, separator)
                 : f.out;
    if (run.state.traceLevel >= 1) {
      if (w.mirror) {
        const std::string& o = out->prefix();
        TraceWrite(run, "ProcessDir ", sub, " -> ",
                   std::string_view(o).substr(0, o.size() - 1));
      } else {
        TraceWrite(run, "ProcessDir ", sub, " -> ", w.outputDir);
      }
    }
    std::vector<DirEntry> entries =
        VisitFolder(w, child, out, sub, sub + separator, err);
    stack.push_back({std::move(child), std::move(out), std::move(entries)});
  }
}

// Makes the output folder and opens it; its leftovers of killed runs are
// removed the first time. False when it cannot be made or opened.
bool OpenOutputFolder(Run& run, const std::string& where,
                      const std::string& inputDir,
                      const std::string& outputDir,
                      std::shared_ptr<OutputFolder>* out) {
  std::string created;
  if (!CreateOutputDir(run, where, inputDir, outputDir, &created)) {
    return false;
  }
  std::string err;
  std::shared_ptr<Folder> folder;
  FileStatus st;
  if (!run.disk.OpenFolder(run.disk.Paths().WithSeparator(created), &folder,
                           &err) ||
      !run.disk.Stat(folder->prefix(), &st)) {
    OutputDirFailure(run, where, created, err);
    return false;
  }
  if (run.state.cleanedFolders.insert({st.device, st.inode}).second) {
    run.disk.RemoveLeftovers(*folder);
  }
  *out = std::make_shared<OutputFolder>(std::move(folder));
  (*out)->numbered = (*out)->bound = true;
  (*out)->number = run.state.outputs.OutputFolder(st.device, st.inode);
  return true;
}

}  // namespace

bool ProcessDir(Run& run, int lineNumber, const std::string& inputDir,
                const std::string& outputDir) {
  if (inputDir.empty()) {
    // Searching "" would mean searching from the root of the file system.
    ShowMessage(run, Format("Datafile line %d: input directory is empty, "
                            "nothing searched",
                            lineNumber));
    run.state.errorFlag = true;
    return false;
  }
  if (run.state.traceLevel >= 1) {
    TraceWrite(run, "ProcessDir ", inputDir, " -> ", outputDir);
  }
  std::shared_ptr<OutputFolder> out;
  if (!OpenOutputFolder(run, Format("Datafile line %d", lineNumber), inputDir,
                        outputDir, &out)) {
    return false;
  }
  RecordPool pool(run, WorkerCount(run.state.threads));
  Walk w{run, lineNumber, outputDir, out, run.state.mirror, {}, pool, {}};
  WalkTree(w, inputDir);
  pool.Finish();
  BindMadeFolders(w);
  return true;
}

bool ProcessFiles(Run& run, const std::vector<std::string>& files,
                  const std::string& outputDir) {
  std::shared_ptr<OutputFolder> out;
  if (!OpenOutputFolder(run, "Option -o", "", outputDir, &out)) {
    return false;
  }
  RecordPool pool(run, WorkerCount(run.state.threads));
  Walk w{run, 0, outputDir, out, false, {}, pool, {}};
  const PathRules& paths = run.disk.Paths();
  for (const std::string& file : files) {
    Candidate c;
    c.path = file;
    c.name = std::string(paths.FileName(file));
    std::string folder, name;
    paths.Split(file, &folder, &name);
    c.folderNumber = run.state.outputs.AddFolder(folder);
    c.out = out;
    // Named by the user, a file is converted whatever FORMATS holds: as
    // its name says, or as UGF, the format of any other name.
    if (!RecordFormatOf(c.name, &c.format)) c.format = RecordFormat::kUgf;
    const size_t dot = c.name.rfind('.');
    c.outName = c.name.substr(0, dot).append(".sgf");
    ProcessCandidate(w, c);
  }
  pool.Finish();
  return true;
}

bool IsUpToDate(int64_t inputTime, int64_t outputTime, int64_t programTime) {
  return inputTime < outputTime &&
         (programTime == 0 || programTime < outputTime);
}

bool ConvertFile(Run& run, const std::string& inputPath,
                 const std::string& outputPath, std::string_view gameName,
                 RecordFormat format) {
  RecordJob job;
  job.inputPath = inputPath;
  job.outputPath = outputPath;
  job.gameName = std::string(gameName);
  job.format = format;
  run.disk.Stat(outputPath, &job.outStatus);
  const bool inputSeen = run.disk.Stat(inputPath, &job.inStatus);
  // "-" in and "-" out are standard input and output, never one file.
  job.outputIsInput =
      (inputPath == outputPath && inputPath != "-") ||
      (inputSeen && job.outStatus.kind == FileStatus::kRegular &&
       SameFile(job.inStatus, job.outStatus));
  job.outputNamedLikeRecord = IsNamedLikeRecord(run.disk.Paths(), outputPath);
  job.syncOutput = true;
  const RecordOutcome outcome = ConvertRecord(run.disk, job, OptionsOf(run));
  Deliver(run, outcome);
  return outcome.status == RecordStatus::kConverted;
}

}  // namespace kirato
