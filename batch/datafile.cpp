#include "batch/datafile.h"

#include <algorithm>
#include <string_view>

#include "base/ascii.h"
#include "base/text_file.h"
#include "base/utf8.h"
#include "batch/walk.h"

namespace kirato {

namespace {


enum class Command {
  kForceError,
  kLog,
  kIn,
  kOut,
  kClose,
  kThreads,
  kCharset,
  kFormats,
  kReport,
  kMirror,
  kUnknown
};

struct Keyword {
  std::string_view name;  // compared case-insensitively, as a prefix
  Command command;
};

// The order is the order of comparison: the first prefix that matches wins.
constexpr Keyword kCommands[] = {
    {"FORCEERROR", Command::kForceError}, {"LOG", Command::kLog},
    {"IN", Command::kIn},                 {"OUT", Command::kOut},
    {"CLOSE", Command::kClose},           {"THREADS", Command::kThreads},
    {"CHARSET", Command::kCharset},       {"FORMATS", Command::kFormats},
    {"REPORT", Command::kReport},         {"MIRROR", Command::kMirror},
};

Command FindCommand(std::string_view text) {
  for (const Keyword& k : kCommands) {
    if (StartsWithNoCase(text, k.name)) return k.command;
  }
  return Command::kUnknown;
}

// The text after the first '=', leading whitespace skipped; empty without '='.
std::string_view CommandValue(std::string_view command) {
  const size_t eq = command.find('=');
  if (eq == std::string_view::npos) return {};
  return command.substr(SkipSpace(command, eq + 1));
}

// The level of a LOG line: the digits right after the first '=' behind the
// keyword. No whitespace is skipped; -1 when there is no such number.
int LogLevel(std::string_view command) {
  const size_t eq = command.find('=', 3);
  if (eq == std::string_view::npos || eq + 1 >= command.size() ||
      !IsDigit(command[eq + 1])) {
    return -1;
  }
  return static_cast<int>(ReadNumber(command, eq + 1));
}

// FORCEERROR's message: what follows the keyword, without its leading run of
// whitespace and ':' characters.
std::string_view ForcedErrorText(std::string_view command) {
  std::string_view rest = command.substr(10);
  while (!rest.empty() && (IsSpace(rest.front()) || rest.front() == ':')) {
    rest.remove_prefix(1);
  }
  return rest;
}

// THREADS=N: how many records are converted at once; 0 means one per core.
void SetThreads(Run& run, int lineNumber, std::string_view value) {
  int threads = 0;
  if (!ReadThreadCount(value, &threads)) {
    ShowMessage(run, Format("Datafile line %d: THREADS needs a number from 0 "
                            "to %d, not '%.*s'",
                            lineNumber, kMaxThreads,
                            static_cast<int>(value.size()), value.data()));
    run.state.errorFlag = true;
    return;
  }
  if (!run.state.threadsFixed) run.state.threads = threads;
}

// Hands out the physical lines of a datafile, however long: a long path
// cut into pieces would be carried out as several commands, and send the
// SGF files into a folder the datafile never names. Lines end as in a
// record (a Ctrl-Z byte ends the text, a file of carriage returns alone
// has its lines end at them); the carriage return of CR LF is trailing
// whitespace, trimmed with the rest.
class DatafileLines {
 public:
  explicit DatafileLines(std::string_view text)
      : rest_(CutAtEndOfFile(text)), lineEnd_(LineEndOf(rest_)) {}
  bool Next(std::string_view* line) {
    if (rest_.empty()) return false;
    const size_t end = std::min(rest_.find(lineEnd_), rest_.size());
    *line = rest_.substr(0, end);
    rest_.remove_prefix(end < rest_.size() ? end + 1 : end);
    return true;
  }

 private:
  std::string_view rest_;
  char lineEnd_;
};

// REPORT=path: the run's report, written from here on. One report tells of
// one run: a second line is a mistake, unless the command line named the
// report, which holds over the datafile's.
void StartReport(Run& run, int lineNumber, std::string_view value) {
  RunState& s = run.state;
  if (s.reportFixed) return;
  std::string err;
  if (s.report) {
    err = "a report is already written to '" + s.reportPath + "'";
  } else if (value.empty()) {
    err = "REPORT needs the name of a file";
  } else if (OpenReport(run, std::string(value), &err)) {
    return;
  }
  ShowMessage(run, Format("Datafile line %d: %s", lineNumber, err.c_str()));
  s.errorFlag = true;
}

// MIRROR (or MIRROR=ON): the IN lines that follow keep the folders of
// their trees under OUT; MIRROR=OFF: they write into OUT itself again.
void SetMirror(Run& run, int lineNumber, std::string_view value) {
  bool mirror = true;
  if (EqualsNoCase(value, "OFF")) {
    mirror = false;
  } else if (!value.empty() && !EqualsNoCase(value, "ON")) {
    ShowMessage(run, Format("Datafile line %d: MIRROR takes ON or OFF, not "
                            "'%.*s'",
                            lineNumber, static_cast<int>(value.size()),
                            value.data()));
    run.state.errorFlag = true;
    return;
  }
  if (!run.state.mirrorFixed) run.state.mirror = mirror;
}

struct DatafileRun {
  Run& run;
  const std::string& logPath;
  std::string outputDir;
  bool close = false;
};

// Carries out one command line. Returns false when reading must stop.
bool DoCommand(DatafileRun& d, int lineNumber, std::string_view command) {
  Run& run = d.run;
  const std::string_view value = CommandValue(command);
  switch (FindCommand(command)) {
    case Command::kForceError:
      ShowMessage(run, ForcedErrorText(command));
      run.state.errorFlag = true;
      return false;
    case Command::kLog: {
      const int level = LogLevel(command);
      if (level >= 0) OpenTraceLog(run, level, d.logPath);
      return true;
    }
    case Command::kIn:
      if (d.outputDir.empty()) {
        ShowMessage(run, Format("Datafile line %d: input '%.*s' while no "
                                "output specified before",
                                lineNumber, static_cast<int>(value.size()),
                                value.data()));
        run.state.errorFlag = true;
      } else {
        ProcessDir(run, lineNumber, std::string(value), d.outputDir);
      }
      return true;
    case Command::kOut:
      d.outputDir = std::string(value);
      return true;
    case Command::kClose:
      if (!run.state.errorFlag) d.close = true;
      return false;
    case Command::kThreads:
      SetThreads(run, lineNumber, value);
      return true;
    case Command::kCharset: {
      CharsetMode mode = run.state.charset;
      if (!ReadCharsetMode(value, &mode)) {
        ShowMessage(run, Format("Datafile line %d: unknown charset '%.*s', "
                                "expected KEEP or UTF-8",
                                lineNumber, static_cast<int>(value.size()),
                                value.data()));
        run.state.errorFlag = true;
      } else if (!run.state.charsetFixed) {
        run.state.charset = mode;
      }
      return true;
    }
    case Command::kFormats: {
      FormatSet formats = run.state.formats;
      if (!ReadFormatSet(value, &formats)) {
        ShowMessage(run, Format("Datafile line %d: unknown formats '%.*s', "
                                "expected ALL or a list of UGF, GIB, NGF",
                                lineNumber, static_cast<int>(value.size()),
                                value.data()));
        run.state.errorFlag = true;
      } else if (!run.state.formatsFixed) {
        run.state.formats = formats;
      }
      return true;
    }
    case Command::kReport:
      StartReport(run, lineNumber, value);
      return true;
    case Command::kMirror:
      SetMirror(run, lineNumber, value);
      return true;
    case Command::kUnknown:
      ShowMessage(run, Format("Unknown command in datafile: '%.*s'",
                              static_cast<int>(command.size()),
                              command.data()));
      run.state.errorFlag = true;
      return true;
  }
  return true;
}

void ShowSummary(Run& run) {
  const RunState& s = run.state;
  constexpr NoteKind kInfo = NoteKind::kInfo;
  ShowMessage(run, "", kInfo);
  ShowMessage(run, "*** summary ***", kInfo);
  ShowMessage(run, Format("Directories scanned: %d", s.directoriesScanned),
              kInfo);
  ShowMessage(run, Format("Files up-to-date: %d", s.filesUpToDate), kInfo);
  ShowMessage(run, Format("Files converted: %d", s.filesConverted), kInfo);
  ShowMessage(run, Format("Files failed: %d", s.filesFailed), kInfo);
}

}  // namespace

void FinishRun(Run& run) {
  RunState& s = run.state;
  std::string err;
  // Only a game on stable storage is converted: after a power cut, an SGF
  // file that the system had not yet written would look up to date.
  if (!run.disk.SyncWritten(&err)) {
    ShowMessage(run, Format("Cannot write the SGF files to disk: %s",
                            err.c_str()));
    s.errorFlag = true;
  }
  // The report's closing object gives the run's exit status, so it is the
  // last thing that can fail before the summary.
  if (s.report) {
    const bool written =
        s.report->Finish(s, s.errorFlag ? 1 : 0, &err) &&
        run.disk.SyncWritten(&err);
    s.report.reset();
    if (!written) {
      ShowMessage(run, Format("Cannot write the report '%s': %s",
                              s.reportPath.c_str(), err.c_str()));
      s.errorFlag = true;
    }
  }
  // A log that cannot be written is reported before the summary, which
  // then counts the run as failed.
  FlushTraceLog(run);
  ShowSummary(run);
  // The log stays open for later LOG lines, but what this run traced can be
  // read while the program still shows its messages.
  FlushTraceLog(run);
}

void ReadExecutableTime(Run& run, const std::string& executablePath) {
  FileStatus st;
  run.state.executableTime =
      run.disk.Stat(executablePath, &st) ? st.mtime : 0;
}

bool ExecuteDatafile(Run& run, const std::string& datafilePath,
                     const std::string& logPath, bool* close,
                     std::string* err) {
  *close = false;
  std::string text;
  std::string readError;
  const Disk::ReadResult read =
      run.disk.ReadFile(datafilePath, &text, &readError);
  if (read == Disk::ReadResult::kCannotOpen) {
    *err = readError;
    return false;
  }
  if (read == Disk::ReadResult::kReadError) {
    // Commands after an unreadable part would be lost without a word: none
    // is carried out.
    ShowMessage(run, Format("Cannot read datafile '%s', error: %s",
                            datafilePath.c_str(), readError.c_str()));
    run.state.errorFlag = true;
  }

  text = run.disk.DatafileText(std::move(text));
  // Notepad starts a UTF-8 file with a byte order mark; it is no command.
  std::string_view rest = text;
  if (rest.starts_with(kByteOrderMark)) {
    rest.remove_prefix(kByteOrderMark.size());
  }

  DatafileRun d{run, logPath, {}, false};
  int lineNumber = 0;
  DatafileLines lines(rest);
  std::string_view physical;
  while (lines.Next(&physical)) {
    ++lineNumber;
    const std::string_view line = TrimTrailingSpace(physical);
    if (run.state.traceLevel >= 1) TraceWrite(run, "Datafile: ", line);
    // A path cut at a NUL byte would name another folder than the one
    // written: the line is refused whole.
    if (line.find('\0') != std::string_view::npos) {
      ShowMessage(run,
                  Format("Datafile line %d: contains a NUL byte", lineNumber));
      run.state.errorFlag = true;
      continue;
    }
    std::string_view command = line;
    command.remove_prefix(SkipSpace(command, 0));
    if (command.empty() || command.front() == ';') continue;
    if (!DoCommand(d, lineNumber, command)) break;
  }

  FinishRun(run);
  // A failure at the end of the run, after CLOSE, keeps the window open too.
  *close = d.close && !run.state.errorFlag;
  return true;
}

void ShowDatafileNotFound(Run& run, const std::string& datafilePath) {
  ShowMessage(run, "Datafile not found:");
  ShowMessage(run, datafilePath);
}

bool RunDatafile(Run& run, const std::string& executablePath) {
  ReadExecutableTime(run, executablePath);
  // A '.' anywhere in the path counts, also in a directory name.
  const size_t dot = executablePath.rfind('.');
  if (dot == std::string::npos) {
    ShowMessage(run, "Executable name has missing extention");
    ShowMessage(run, executablePath);
    return true;
  }
  const std::string stem = executablePath.substr(0, dot);
  bool close = false;
  std::string err;
  if (!ExecuteDatafile(run, stem + ".txt", stem + ".log", &close, &err)) {
    ShowDatafileNotFound(run, stem + ".txt");
    return true;
  }
  return close;
}

std::string ReplaceFileExtension(const std::string& path,
                                 const std::string& extension) {
  const size_t nameStart = path.size() - SystemPaths().FileName(path).size();
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + extension;
  return path.substr(0, dot) + extension;
}

// CHARSET=KEEP copies the bytes of the records as they are, for anyone who
// relies on the old output; CHARSET=UTF-8 decodes them again. False for any
// other value.
bool ReadThreadCount(std::string_view value, int* threads) {
  size_t end = 0;
  const long long n = ReadNumber(value, 0, &end);
  if (value.empty() || end != value.size() || n > kMaxThreads) return false;
  *threads = static_cast<int>(n);
  return true;
}

bool ReadCharsetMode(std::string_view value, CharsetMode* mode) {
  if (EqualsNoCase(value, "KEEP")) {
    *mode = CharsetMode::kKeep;
  } else if (EqualsNoCase(value, "UTF-8") || EqualsNoCase(value, "UTF8")) {
    *mode = CharsetMode::kDecode;
  } else {
    return false;
  }
  return true;
}

}  // namespace kirato
