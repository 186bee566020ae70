#include "batch/walk.h"

#include <algorithm>
#include <vector>

#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

namespace {

// Creates one leading part, or all, of the output directory. Returns 0 when
// it exists afterwards.
int MakeOutputDir(Run& run, int lineNumber, const std::string& path) {
  std::string err;
  if (run.disk.MakeDir(path, &err) != Disk::kFailed) return 0;
  ShowMessage(run, Format("Datafile line %d: the outputdir '%s' cannot be "
                          "created: %s",
                          lineNumber, path.c_str(), err.c_str()));
  run.state.errorFlag = 1;
  return 1;
}

// Creates the output directory one component at a time, so that a whole new
// tree can be named. *created receives the directory as created (without a
// trailing '/').
int CreateOutputDir(Run& run, int lineNumber, const std::string& inputDir,
                    const std::string& outputDir, std::string* created) {
  std::string path;
  for (size_t i = 0; i < outputDir.size(); ++i) {
    if (outputDir[i] == '/' && i != 0) {
      const int failed = MakeOutputDir(run, lineNumber, path);
      if (run.state.traceLevel >= 6) {
        TraceWrite(run, "ProcessDir::mkdir ", inputDir);
      }
      if (failed) return 1;
    }
    path += outputDir[i];
  }
  // One trailing separator is dropped, but not the root itself.
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  if (MakeOutputDir(run, lineNumber, path) != 0) return 1;
  *created = path;
  return 0;
}

std::string WithSlash(const std::string& dir) {
  return (!dir.empty() && dir.back() == '/') ? dir : dir + '/';
}

// The output name of a candidate: a name whose part from its last '.' is
// exactly ".ugf" or ".ugi" (letter case counts), with that part made ".sgf".
// Empty for any other name.
std::string OutputNameFor(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  const std::string_view ext = std::string_view(name).substr(dot);
  if (ext != ".ugf" && ext != ".ugi") return {};
  return name.substr(0, dot) + ".sgf";
}

// `made` is the output directory once the outermost call has made it:
// subdirectories write into the same one, which need not be made again.
int WalkDir(Run& run, int lineNumber, const std::string& inputDir,
            const std::string& outputDir, std::vector<std::string>& ancestors,
            const std::string* made) {
  const int level = run.state.traceLevel;
  if (level >= 1) TraceWrite(run, "ProcessDir ", inputDir, " -> ", outputDir);

  std::string created;
  if (made) {
    created = *made;
  } else if (CreateOutputDir(run, lineNumber, inputDir, outputDir, &created) !=
             0) {
    return 1;
  }
  const std::string outPrefix = WithSlash(created);
  const std::string inPrefix = WithSlash(inputDir);

  // One listing serves both passes; byte order of the names makes every
  // run over the same tree show the same lines in the same order.
  std::vector<DirEntry> entries;
  if (level >= 3) TraceWrite(run, "ProcessDir::FindFirst ", inPrefix, "*.ug?");
  if (run.disk.ListDir(inPrefix, &entries) != 0) entries.clear();
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });

  for (const DirEntry& e : entries) {
    const std::string outName = OutputNameFor(e.name);
    if (!outName.empty()) {
      ProcessFile(run, inPrefix + e.name, outPrefix + outName);
    }
  }
  ++run.state.directoriesScanned;

  if (level >= 3) TraceWrite(run, "ProcessDir::FindFirst ", inPrefix, "*.*");
  // Links may lead back to a directory that is being walked; walking it
  // again would never end, and its files are handled already.
  std::string key;
  const bool keyed = run.disk.DirKey(inPrefix, &key) == 0;
  if (keyed) ancestors.push_back(key);
  for (const DirEntry& e : entries) {
    if (!e.isDir || e.name.front() == '.') continue;
    const std::string sub = inPrefix + e.name;
    std::string subKey;
    if (run.disk.DirKey(sub, &subKey) == 0 &&
        std::find(ancestors.begin(), ancestors.end(), subKey) !=
            ancestors.end()) {
      continue;
    }
    WalkDir(run, lineNumber, sub, outputDir, ancestors, &created);
  }
  if (keyed) ancestors.pop_back();
  return 0;
}

}  // namespace

int ProcessDir(Run& run, int lineNumber, const std::string& inputDir,
               const std::string& outputDir) {
  if (inputDir.empty()) {
    // Searching "" would mean searching from the root of the file system.
    ShowAndTrace(run, Format("Datafile line %d: input directory is empty, "
                             "nothing searched",
                             lineNumber));
    run.state.errorFlag = 1;
    return 1;
  }
  std::vector<std::string> ancestors;
  return WalkDir(run, lineNumber, inputDir, outputDir, ancestors, nullptr);
}

bool IsUpToDate(Run& run, const std::string& inputPath,
                const std::string& outputPath) {
  int64_t inTime = 0;
  int64_t outTime = 0;
  // The output first: on a first run it is missing, and the input's time
  // is then not needed.
  if (run.disk.Stat(outputPath, &outTime) != 0) return false;
  if (run.disk.Stat(inputPath, &inTime) != 0) return false;
  const int64_t exeTime = run.state.executableTime;
  return inTime < outTime && (exeTime == 0 || exeTime < outTime);
}

int ProcessFile(Run& run, const std::string& inputPath,
                const std::string& outputPath) {
  if (run.state.traceLevel >= 3) {
    TraceWrite(run, "ProcessFile ", inputPath, " -> ", outputPath);
  }
  if (IsUpToDate(run, inputPath, outputPath)) {
    ++run.state.filesUpToDate;
    return 0;
  }
  return ConvertFile(run, inputPath, outputPath, outputPath) == kOpenFailed;
}

namespace {

// Hands what a conversion produced to the run, in the order it was made.
void ReplayNotes(Run& run, const std::vector<Note>& notes) {
  for (const Note& n : notes) {
    if (n.shown) {
      ShowMessage(run, n.text);
    } else {
      TraceWrite(run, n.text);
    }
  }
}

}  // namespace

ConvertResult ConvertFile(Run& run, const std::string& inputPath,
                          const std::string& outputPath,
                          std::string_view gameNamePath,
                          std::string* openError) {
  std::string err;
  std::string record;
  const Disk::ReadResult read = run.disk.ReadFile(inputPath, &record, &err);
  std::unique_ptr<OutputFile> out;
  if (read == Disk::kCannotOpen) {
    if (openError) *openError = "cannot open '" + inputPath + "': " + err;
  } else {
    std::string createErr;
    out = run.disk.CreateOutput(outputPath, &createErr);
    if (!out && openError) {
      *openError = "cannot create '" + outputPath + "': " + createErr;
    }
  }
  if (!out) {
    ++run.state.filesFailed;
    return kOpenFailed;
  }

  // An I/O error is no fault of the record: like a file that cannot be
  // opened, it counts under files failed, so the summary shows it.
  bool ioError = false;
  int failed = 0;
  if (read == Disk::kReadError) {
    ShowMessage(run, Format("Cannot read '%s', error: %s", inputPath.c_str(),
                            err.c_str()));
    run.state.errorFlag = 1;
    ioError = true;
    failed = 1;
  }
  err.clear();
  if (!failed) {
    ConvertOptions options;
    options.traceLevel = run.state.traceLevel;
    options.charset = run.state.charset;
    options.recordPath = inputPath;
    GameResult game =
        ConvertGame(record, FileNameOf(gameNamePath), options);
    ReplayNotes(run, game.notes);
    if (game.errorFlag) run.state.errorFlag = 1;
    failed = game.result;
    // A game that is not completely on disk must not count as converted: a
    // later run would skip it as up to date.
    if (!failed) {
      out->Write(game.sgf);  // a write error is reported again by Commit
      failed = out->Commit(&err) ? 0 : 1;
    }
  }
  if (failed && !err.empty()) {
    ShowMessage(run, Format("Cannot write '%s', error: %s", outputPath.c_str(),
                            err.c_str()));
    run.state.errorFlag = 1;
    ioError = true;
  }
  out.reset();  // an uncommitted output takes its temporary file with it
  ShowMessage(run, Format("convert %s%s -> %s", failed ? "(FOUT) " : "",
                          inputPath.c_str(), outputPath.c_str()));
  if (failed) {
    run.disk.Remove(outputPath);
    if (ioError) ++run.state.filesFailed;
    return kConversionFailed;
  }
  ++run.state.filesConverted;
  return kConverted;
}

}  // namespace kirato
