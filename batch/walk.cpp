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
                       ConvertOptions options, Scratch& scratch,
                       RecordOutcome& o) {
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
  std::string& record = scratch.record;
  GameResult& game = scratch.game;
  for (int attempt = 1;; ++attempt) {
    const size_t firstNote = o.notes.size();
    std::string err;
    if (ReadRecord(disk, job, &record, &err) != Disk::ReadResult::kRead) {
      IoFailure(o, "read", job.inputPath, err);
      return Stored::kFailed;
    }
    ConvertGame(record, job.gameName, options, &game);
    std::move(game.notes.begin(), game.notes.end(),
              std::back_inserter(o.notes));
    game.notes.clear();
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

// Converts one record into `o`, after what it holds already. Touches
// nothing but the disk and `scratch`, so that it can run on any thread; the
// outcome says what the run must show.
void ConvertRecord(Disk& disk, const RecordJob& job,
                   const ConvertOptions& options, Scratch& scratch,
                   RecordOutcome& o) {
  o.input = job.inputPath;
  o.output = job.outputPath;
  Stored stored = Stored::kFailed;
  try {
    stored = ConvertAndStore(disk, job, options, scratch, o);
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
}

// What the run says of how records are converted.
ConvertOptions OptionsOf(const Run& run) {
  ConvertOptions options;
  options.traceLevel = run.state.traceLevel;
  options.charset = run.state.charset;
  return options;
}

// What a worker needs of the run to decide on records and convert them:
// all of it fixed while a walk goes on.
struct BatchRules {
  Disk& disk;
  bool force;
  int64_t programTime;
  bool report;  // the paths of records up to date are wanted
  ConvertOptions options;
};

BatchRules RulesOf(Run& run) {
  return {run.disk, run.state.force, run.state.executableTime,
          run.state.report != nullptr, OptionsOf(run)};
}

// A record to decide on.
struct Candidate {
  std::string name;  // its file name, or its path when it has no folder
  // Where in `name` the stem its SGF file is named after lies.
  size_t stemAt = 0;
  size_t stemSize = 0;
  RecordFormat format = RecordFormat::kUgf;
  size_t outcome = 0;  // its place in the batch
  bool looked = false;  // the listing told its status (DirEntry)
  FileStatus status;

  // The name of its SGF file, into *out (whose room a caller may reuse
  // from one record to the next).
  void OutName(std::string* out) const {
    out->assign(name, stemAt, stemSize);
    out->append(".sgf");
  }
  std::string OutName() const {
    std::string out;
    OutName(&out);
    return out;
  }
};

// Buffers of records and SGF texts larger than this are not kept for the
// next record: a rare large game would hold its room for the whole run.
constexpr size_t kScratchKept = size_t{1} << 20;

// Looks at a record and its output (in `outFolder`, when it exists), then
// says it is up to date or converts it, into `o`. On any thread.
void DecideAndConvert(const BatchRules& rules,
                      const std::shared_ptr<Folder>& folder,
                      const std::shared_ptr<OutputFolder>& out,
                      Folder* outFolder, Candidate& c, Scratch& scratch,
                      RecordOutcome& o) {
  Disk& disk = rules.disk;
  RecordJob job;
  const auto statRecord = [&] {
    return folder ? disk.StatIn(*folder, c.name, &job.inStatus)
                  : disk.Stat(c.name, &job.inStatus);
  };
  bool inSeen = c.looked;
  if (c.looked) {
    job.inStatus = c.status;
  } else {
    inSeen = statRecord();
  }
  std::string& outName = scratch.name;
  c.OutName(&outName);
  if (outFolder) disk.LookIn(*outFolder, outName, &job.outStatus);
  const auto inputPath = [&] {
    return folder ? folder->PathOf(c.name) : c.name;
  };
  // An empty SGF file is never a finished game: what a power cut can
  // leave of one written just before. An output that is the record itself
  // has its time, and is never up to date.
  if (inSeen && job.outStatus.kind == FileStatus::kRegular && !rules.force &&
      job.outStatus.size > 0 &&
      IsUpToDate(job.inStatus.mtime, job.outStatus.mtime, rules.programTime)) {
    o.status = RecordStatus::kUpToDate;
    // The paths cost a string each, which only a report reads.
    if (rules.report) {
      o.input = inputPath();
      o.output = out->PathOf(outName);
    }
    return;
  }
  // Converting needs what the files are: the output must not be the record
  // itself, and the record is seen to stay the same while it is read.
  if (!job.inStatus.identified) inSeen = statRecord();
  if (job.outStatus.kind == FileStatus::kRegular &&
      !job.outStatus.identified) {
    disk.StatIn(*outFolder, outName, &job.outStatus);
  }
  job.outputIsInput = inSeen && job.outStatus.kind == FileStatus::kRegular &&
                      SameFile(job.inStatus, job.outStatus);
  job.format = c.format;
  job.in = folder;
  job.inputPath = inputPath();
  job.inName = std::move(c.name);
  job.out = out;
  job.outputPath = out->PathOf(outName);
  job.gameName = outName;
  job.outName = outName;
  job.removeStaleOutput = true;
  ConvertRecord(disk, job, rules.options, scratch, o);
  if (scratch.record.capacity() > kScratchKept) {
    std::string().swap(scratch.record);
  }
  if (scratch.game.sgf.capacity() > kScratchKept) {
    std::string().swap(scratch.game.sgf);
  }
}

// What the walk needs of one input folder before it can decide on its
// records and go into its subfolders: opened, listed, and its records and
// subfolders picked out. Looked at ahead of the walk on any thread; what
// the walk shows of it, it shows in its own order.
class FolderLook : public Prefetch {
 public:
  // The subfolder `name` of `parent`, or `opened` itself.
  FolderLook(Disk& disk, FormatSet formats, std::shared_ptr<Folder> parent,
             std::string_view name, std::shared_ptr<Folder> opened,
             std::shared_ptr<OutputFolder> out)
      : folder(std::move(opened)),
        out(std::move(out)),
        disk_(disk),
        formats_(formats),
        parent_(std::move(parent)),
        name_(name) {}

  std::shared_ptr<Folder> folder;  // null when it could not be opened
  // What tells it from every other folder, however it was reached: as
  // opening it showed, or as its status shows when it cannot be opened.
  bool identified = false;
  std::pair<uint64_t, uint64_t> identity;
  std::shared_ptr<OutputFolder> out;
  std::shared_ptr<Folder> outFolder;  // where `out` exists, for `records`
  std::string err;     // why it could not be opened or listed
  std::string pseudo;  // the type of the pseudo file system it lies on
  bool listed = false;
  std::vector<DirEntry> entries;  // in byte order of the names
  std::vector<Candidate> records;
  std::vector<size_t> subfolders;  // in `entries`

 protected:
  void Run() override {
    if (!folder && !disk_.OpenSubfolder(*parent_, name_, &folder, &err)) {
      // A folder that cannot be read is named once, however many links
      // lead to it.
      FileStatus st;
      identified = disk_.StatIn(*parent_, name_, &st);
      identity = {st.device, st.inode};
      return;
    }
    identified = folder->Identity(&identity);
    parent_.reset();
    pseudo = disk_.PseudoFileSystem(*folder);
    if (!pseudo.empty() || !disk_.List(*folder, &entries, &err)) return;
    listed = true;
    // Byte order of the names makes every run over the same tree show the
    // same lines in the same order.
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) {
                return a.name < b.name;
              });
    for (size_t i = 0; i < entries.size(); ++i) {
      DirEntry& e = entries[i];
      Candidate c;
      if (RecordStemOf(e.name, formats_, &c.format, &c.stemSize)) {
        c.looked = e.looked;
        c.status = e.status;
        // Only the names of subfolders are needed again.
        c.name = e.isDir ? e.name : std::move(e.name);
        records.push_back(std::move(c));
      }
      if (e.isDir && e.name.front() != '.') subfolders.push_back(i);
    }
    // A mirrored walk would otherwise open an output folder, or look for
    // one in vain, for every folder that only leads to others.
    if (!records.empty()) out->Existing(disk_, &outFolder);
  }

 private:
  Disk& disk_;
  FormatSet formats_;
  std::shared_ptr<Folder> parent_;
  std::string name_;
};

// One walk of an input tree into OUT.
struct Walk {
  Run& run;
  int lineNumber;
  const std::string& outputDir;  // as the datafile gave it, for the trace
  std::shared_ptr<OutputFolder> out;  // OUT
  // Each input folder writes into a folder of its own under OUT.
  bool mirror;
  RecordPool& pool;
  BatchRules rules;
  // Looks at folders taken ahead of the walk, and not yet reached, at the
  // most: each holds its folder's names until the walk comes to it.
  size_t aheadBound = 0;
  size_t ahead = 0;
  // Records handed to one worker at the most: the records of a large
  // folder are shared among the workers, those of a small one stay
  // together. On the walk's own thread, one at a time, so that each is
  // told as soon as it is done.
  size_t batchRecords = 1;
  // Every folder is entered once, however many links lead to it.
  std::set<std::pair<uint64_t, uint64_t>> entered = {};
  // Output folders numbered before they existed, to be known by their
  // identity once the walk is over.
  std::vector<std::shared_ptr<OutputFolder>> unbound = {};
};

// The number the run's claims know `out` by: its identity when it exists,
// else a new one, tied to its identity when the walk is over.
uint32_t ClaimNumber(Walk& w, const std::shared_ptr<OutputFolder>& out) {
  if (!out->numbered) {
    OutputNames& names = w.run.state.outputs;
    uint64_t device = 0, inode = 0;
    std::shared_ptr<Folder> folder;
    out->numbered = true;
    const bool bound = out->Existing(w.run.disk, &folder) &&
                       out->Identity(w.run.disk, &device, &inode);
    out->number =
        bound ? names.OutputFolder(device, inode) : names.NewOutputFolder();
    if (!bound) w.unbound.push_back(out);
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


// Hands the records of one folder (or named by their paths, without a
// folder) to the workers, in batches, after claiming each one's output in
// the walk's order: the first record keeps an output, whatever the file
// times say, as a second one would silently replace its game.
void ProcessCandidates(Walk& w, const std::shared_ptr<Folder>& folder,
                       uint32_t folderNumber,
                       const std::shared_ptr<OutputFolder>& out,
                       const std::shared_ptr<Folder>& outFolder,
                       std::vector<Candidate>& records) {
  Run& run = w.run;
  const PathRules& paths = run.disk.Paths();
  const uint32_t outNumber = records.empty() ? 0 : ClaimNumber(w, out);
  Outcomes outcomes;
  std::vector<Candidate> batch;
  const auto submit = [&] {
    if (outcomes.empty()) return;
    BatchWork work;
    if (!batch.empty()) {
      work = [rules = w.rules, folder, out, outFolder,
              batch = std::move(batch)](Outcomes* outcomes,
                                        Scratch* scratch) mutable {
        for (Candidate& c : batch) {
          DecideAndConvert(rules, folder, out, outFolder.get(), c, *scratch,
                           (*outcomes)[c.outcome]);
        }
      };
    }
    w.pool.Submit(std::move(outcomes), std::move(work));
    outcomes.clear();
    batch.clear();
  };
  for (Candidate& c : records) {
    RecordOutcome o;
    const auto inputPath = [&] {
      return folder ? folder->PathOf(c.name) : c.name;
    };
    if (run.state.traceLevel >= 3) {
      o.notes.push_back({NoteKind::kTrace, "ProcessFile " + inputPath() +
                                               " -> " +
                                               out->PathOf(c.OutName())});
    }
    std::string holder;
    const std::string_view fileName =
        folder ? std::string_view(c.name) : paths.FileName(c.name);
    if (!run.state.outputs.Claim(outNumber, folderNumber, fileName,
                                 paths.caseBlind, &holder)) {
      o.status = RecordStatus::kCollision;
      o.input = inputPath();
      o.output = out->PathOf(c.OutName());
      o.notes.push_back(
          {NoteKind::kProblem,
           Format("'%s' not converted: its output '%s' comes from '%s'",
                  o.input.c_str(), o.output.c_str(), holder.c_str())});
    } else {
      c.outcome = outcomes.size();
      batch.push_back(std::move(c));
    }
    outcomes.push_back(std::move(o));
    if (outcomes.size() == w.batchRecords) submit();
  }
  submit();
  records.clear();
}

// Says that the walk has come to `folder`: in its turn, once the records
// before it are told.
void ShowFolder(Walk& w, const std::string& folder) {
  if (w.pool.Busy()) {
    w.pool.DeferProgress(folder);
  } else {
    ReportProgress(w.run, folder);
  }
}

// Shows what was found in one folder and decides on its records, in the
// walk's order.
void VisitFolder(Walk& w, FolderLook& look, const std::string& shownPath,
                 const std::string& prefix) {
  Run& run = w.run;
  ShowFolder(w, shownPath);
  const int level = run.state.traceLevel;
  if (level >= 3) TraceWrite(run, "ProcessDir::FindFirst ", prefix, "*.ug?");
  if (!look.listed) {
    ShowMessage(run, Format("Datafile line %d: input '%s' cannot be read: %s",
                            w.lineNumber, shownPath.c_str(),
                            look.err.c_str()));
    run.state.errorFlag = true;
    ++run.state.directoriesScanned;
    return;
  }
  if (!look.records.empty()) {
    ProcessCandidates(w, look.folder,
                      run.state.outputs.AddFolder(look.folder->prefix()),
                      look.out, look.outFolder, look.records);
  }
  ++run.state.directoriesScanned;
  if (level >= 3) TraceWrite(run, "ProcessDir::FindFirst ", prefix, "*.*");
}

// A folder on a pseudo file system is never walked: it holds no records,
// and proc, reached by a link to the root, would lead on for ever.
bool OnPseudoFileSystem(Walk& w, const FolderLook& look,
                        const std::string& path) {
  if (look.pseudo.empty()) return false;
  if (w.run.state.traceLevel >= 3) {
    TraceWrite(w.run, "ProcessDir::skip ", path,
               " (" + look.pseudo + " file system)");
  }
  return true;
}

// The order in which looks taken ahead are needed: the subfolders of the
// deepest folder the walk is in first, each folder's in their order.
uint64_t NeedRank(size_t depth, size_t index) {
  constexpr uint64_t kMost = 0xFFFFFFFF;
  return (kMost - std::min<uint64_t>(depth, kMost)) << 32 |
         std::min<uint64_t>(index, kMost);
}

// Depth first, a folder's own records before its subfolders, with a stack
// of its own so that the depth of a tree cannot exhaust the thread's. The
// folders the walk will come to next are looked at ahead of it, and the
// records of each folder are looked at and converted in batches, all on
// every core; all it shows and counts, it shows in its order.
void WalkTree(Walk& w, const std::string& inputDir) {
  Run& run = w.run;
  const char separator = run.disk.Paths().separator;
  const FormatSet formats = run.state.formats;
  const std::string prefix = run.disk.Paths().WithSeparator(inputDir);
  std::string err;
  std::shared_ptr<Folder> top;
  std::pair<uint64_t, uint64_t> identity;
  if (run.disk.OpenFolder(prefix, &top, &err) && top->Identity(&identity)) {
    w.entered.insert(identity);
  }
  auto topLook =
      std::make_shared<FolderLook>(run.disk, formats, nullptr, "", top, w.out);
  if (top) w.pool.Await(*topLook);
  topLook->err = err;
  if (OnPseudoFileSystem(w, *topLook, inputDir)) return;

  struct Frame {
    std::shared_ptr<FolderLook> look;
    // The looks taken ahead at its subfolders; null where none was.
    std::vector<std::shared_ptr<FolderLook>> ahead;
    size_t next = 0;       // the subfolder to walk into next
    size_t scheduled = 0;  // the subfolder to look at ahead next
  };
  std::vector<Frame> stack;
  // The frames with subfolders not yet handed out to be looked at ahead,
  // deepest last.
  std::vector<size_t> pending;
  const auto push = [&](std::shared_ptr<FolderLook> look) {
    const size_t subfolders = look->subfolders.size();
    stack.push_back({std::move(look), {}, 0, 0});
    stack.back().ahead.resize(subfolders);
    if (subfolders > 0) pending.push_back(stack.size() - 1);
  };
  const auto subLook = [&](const Frame& f, size_t entry) {
    const std::string& name = f.look->entries[entry].name;
    return std::make_shared<FolderLook>(
        run.disk, formats, f.look->folder, name, nullptr,
        w.mirror ? std::make_shared<OutputFolder>(f.look->out, name, separator)
                 : f.look->out);
  };
  const auto lookAhead = [&] {
    while (w.ahead < w.aheadBound && !pending.empty()) {
      Frame& f = stack[pending.back()];
      if (f.scheduled == f.look->subfolders.size()) {
        pending.pop_back();
        continue;
      }
      const size_t i = f.scheduled++;
      f.ahead[i] = subLook(f, f.look->subfolders[i]);
      w.pool.Ahead(f.ahead[i], NeedRank(pending.back(), i));
      ++w.ahead;
    }
  };

  VisitFolder(w, *topLook, inputDir, prefix);
  push(std::move(topLook));
  lookAhead();
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.look->subfolders.size()) {
      if (!pending.empty() && pending.back() == stack.size() - 1) {
        pending.pop_back();
      }
      stack.pop_back();
      continue;
    }
    const size_t i = f.next++;
    const size_t entry = f.look->subfolders[i];
    std::shared_ptr<FolderLook> look = std::move(f.ahead[i]);
    if (look) --w.ahead;
    const std::string subPath =
        f.look->folder->PathOf(f.look->entries[entry].name);
    if (!look) look = subLook(f, entry);
    w.pool.Await(*look);
    // One reached before by another link is not walked again.
    if (look->identified && !w.entered.insert(look->identity).second) {
      if (run.state.traceLevel >= 3) {
        TraceWrite(run, "ProcessDir::seen ", subPath);
      }
      lookAhead();
      continue;
    }
    if (OnPseudoFileSystem(w, *look, subPath)) {
      lookAhead();
      continue;
    }
    if (run.state.traceLevel >= 1) {
      if (w.mirror) {
        const std::string& o = look->out->prefix();
        TraceWrite(run, "ProcessDir ", subPath, " -> ",
                   std::string_view(o).substr(0, o.size() - 1));
      } else {
        TraceWrite(run, "ProcessDir ", subPath, " -> ", w.outputDir);
      }
    }
    VisitFolder(w, *look, subPath, subPath + separator);
    push(std::move(look));
    lookAhead();
  }
}

// Makes the output folder and opens it; its leftovers of killed runs are
// removed the first time the run writes there. False when it cannot be
// made or opened.
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
  std::pair<uint64_t, uint64_t> identity;
  if (!run.disk.OpenFolder(run.disk.Paths().WithSeparator(created), &folder,
                           &err) ||
      !folder->Identity(&identity)) {
    OutputDirFailure(run, where, created, err);
    return false;
  }
  const bool clean = run.state.cleanedFolders.insert(identity).second;
  *out = std::make_shared<OutputFolder>(std::move(folder), clean);
  (*out)->numbered = true;
  (*out)->number =
      run.state.outputs.OutputFolder(identity.first, identity.second);
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
  const int threads = WorkerCount(run.state.threads);
  RecordPool pool(run, threads);
  Walk w{run, lineNumber, outputDir, out, run.state.mirror, pool,
         RulesOf(run)};
  // Some folders for each worker, so that none waits while the walk takes
  // what the others found.
  w.aheadBound = threads > 1 ? static_cast<size_t>(threads) * 8 : 0;
  w.batchRecords = threads > 1 ? 32 : 1;
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
  Walk w{run, 0, outputDir, out, false, pool, RulesOf(run)};
  // Files named one by one are converted one by one, on every core.
  const PathRules& paths = run.disk.Paths();
  std::shared_ptr<Folder> outFolder;
  out->Existing(run.disk, &outFolder);
  for (const std::string& file : files) {
    std::vector<Candidate> one(1);
    Candidate& c = one[0];
    c.name = file;
    const std::string_view fileName = paths.FileName(file);
    std::string folder, name;
    paths.Split(file, &folder, &name);
    // Named by the user, a file is converted whatever FORMATS holds: as
    // its name says, or as UGF, the format of any other name.
    if (!RecordFormatOf(fileName, &c.format)) c.format = RecordFormat::kUgf;
    c.stemAt = file.size() - fileName.size();
    c.stemSize = fileName.substr(0, fileName.rfind('.')).size();
    ProcessCandidates(w, nullptr, run.state.outputs.AddFolder(folder), out,
                      outFolder, one);
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
  Scratch scratch;
  RecordOutcome outcome;
  ConvertRecord(run.disk, job, OptionsOf(run), scratch, outcome);
  Deliver(run, outcome);
  return outcome.status == RecordStatus::kConverted;
}

}  // namespace kirato
