// What one run of the converter shares: the run record with its counters and
// error flag, the message sink installed by the front-end, the trace log and
// the disk. The front-end owns one Run and hands it down; nothing here is a
// global, so every test starts from a fresh run.
#ifndef KIRATO_BATCH_RUN_STATE_H_
#define KIRATO_BATCH_RUN_STATE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "batch/disk.h"
#include "batch/output_names.h"
#include "batch/record_names.h"
#include "batch/report.h"
#include "convert/convert.h"

namespace kirato {

struct RunState {
  int64_t executableTime = 0;  // 0 when the program file could not be read
  bool errorFlag = false;      // set once anything went wrong; never cleared
  int directoriesScanned = 0;
  int filesUpToDate = 0;
  int filesConverted = 0;
  int filesFailed = 0;
  int traceLevel = 0;  // 0: no tracing
  bool force = false;  // convert every candidate, up to date or not
  // How the records of the IN lines that follow are read (CHARSET=).
  CharsetMode charset = CharsetMode::kDecode;
  // Set on the command line: the datafile's THREADS and CHARSET lines are
  // still checked, but change nothing, as options overrule settings.
  bool threadsFixed = false;
  bool charsetFixed = false;
  // The IN lines that follow write each SGF file into the folder under OUT
  // that stands where its record's folder stands under IN (MIRROR).
  bool mirror = false;
  bool mirrorFixed = false;
  // The record formats the IN lines that follow convert (FORMATS=).
  FormatSet formats = kDefaultFormats;
  bool formatsFixed = false;
  std::unique_ptr<LogFile> log;
  // The report for scripts (REPORT=, --report), once one is written; a
  // report named on the command line holds over the datafile's.
  std::unique_ptr<Report> report;
  std::string reportPath;
  bool reportFixed = false;
  std::string logPath;  // for the message when the log cannot be written
  // Worker threads that convert records; 0: one per core.
  int threads = 0;
  // Which record each output of this run came from, so that two records
  // never write one output.
  OutputNames outputs;
  // The output folders whose leftovers of killed runs have been removed.
  std::set<std::pair<uint64_t, uint64_t>> cleanedFolders;
};

// Receives every message line, in order, with what kind of line it is. The
// dialog appends it to its list, the console prints it.
using MessageSink = std::function<void(NoteKind kind, std::string_view line)>;

// How far a run has got: the records decided so far (converted, failed or up
// to date) and the input folder being walked.
struct Progress {
  int records = 0;
  std::string_view folder;
};
using ProgressSink = std::function<void(const Progress& progress)>;

class RecordPool;

struct Run {
  explicit Run(Disk& d, MessageSink s = {}) : disk(d), sink(std::move(s)) {}
  Disk& disk;
  MessageSink sink;
  // Told on the run's thread after each record and at each folder; a
  // front-end that shows it decides how often.
  ProgressSink progress;
  RunState state;
  // While records are converted on worker threads, what the walk shows or
  // traces waits here behind their messages, so that the order is that of
  // a run on one thread.
  RecordPool* pool = nullptr;
};

// Shows a message and, at trace level 1 or more, writes it to the log too.
void ShowMessage(Run& run, std::string_view text,
                 NoteKind kind = NoteKind::kProblem);

// Closes the open log, then creates `path` afresh and traces at `level`. On
// failure a message names the path and the system's error, tracing is off
// and the run has failed.
void OpenTraceLog(Run& run, int level, const std::string& path);

// Writes out what the log holds. A log that cannot be written (a full
// disk) is reported once, naming its path and the reason, then closed; the
// run has failed. Every write of the log is checked likewise.
void FlushTraceLog(Run& run);

// Writes the pieces one after the other and ends the line with "\r\n". The
// caller tests the trace level first.
void TraceWrite(Run& run, std::string_view a, std::string_view b = {},
                std::string_view c = {}, std::string_view d = {});

// The same, without waiting for the records being converted: for what the
// records themselves produced, when their turn has come.
void ShowMessageNow(Run& run, NoteKind kind, std::string_view text);

// Starts the run's report at `path`. False, with *err set, when it cannot
// be created.
bool OpenReport(Run& run, const std::string& path, std::string* err);

// Tells the front-end how far the run has got, if it listens.
void ReportProgress(Run& run, std::string_view folder = {});
void TraceWriteNow(Run& run, std::string_view line);

// printf-style formatting into a string that grows as needed, so no message
// is ever cut short.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kirato

#endif  // KIRATO_BATCH_RUN_STATE_H_
