// The datafile: the list of commands that drives one unattended run.
#ifndef KIRATO_BATCH_DATAFILE_H_
#define KIRATO_BATCH_DATAFILE_H_

#include <string>

#include "batch/run_state.h"

namespace kirato {

// Runs the datafile that lies beside the program: `executablePath` with
// everything from its last '.' on replaced by ".txt" (the trace log: ".log").
// Reads the program file's time for the up-to-date test first. True when
// the program should close itself (also when there is no datafile, which
// two messages have said), false when it should stay open.
bool RunDatafile(Run& run, const std::string& executablePath);

// Ends a run: what it wrote put on stable storage, its report finished,
// its log flushed, and the summary shown.
void FinishRun(Run& run);

// Reads the program file's modification time into the run (0 when it cannot
// be read).
void ReadExecutableTime(Run& run, const std::string& executablePath);

// Carries out the datafile at `datafilePath`; LOG lines open `logPath`.
// *close receives the close flag: CLOSE was read and nothing went wrong.
// False, with *err set to the system's reason, when the datafile cannot be
// opened: nothing is shown and nothing done, as each front-end says so in
// its own way.
bool ExecuteDatafile(Run& run, const std::string& datafilePath,
                     const std::string& logPath, bool* close,
                     std::string* err);

// The two lines of the window programs when there is no datafile.
void ShowDatafileNotFound(Run& run, const std::string& datafilePath);

// CHARSET=KEEP copies the bytes of the records as they are, for anyone who
// relies on the old output; CHARSET=UTF-8 (or UTF8) decodes them again, in
// any letter case. False for any other value.
bool ReadCharsetMode(std::string_view value, CharsetMode* mode);

// THREADS=N and -j N: a number from 0 (one thread a core) to kMaxThreads.
// False for any other value.
constexpr int kMaxThreads = 256;
bool ReadThreadCount(std::string_view value, int* threads);

// `path` with everything from the last '.' of its final component on replaced
// by `extension`, or with `extension` appended when that component has no
// '.'. For programs and datafiles whose names carry no extension.
std::string ReplaceFileExtension(const std::string& path,
                                 const std::string& extension);

}  // namespace kirato

#endif  // KIRATO_BATCH_DATAFILE_H_
