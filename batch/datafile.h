// The datafile: the list of commands that drives one unattended run.
#ifndef KIRATO_BATCH_DATAFILE_H_
#define KIRATO_BATCH_DATAFILE_H_

#include <string>

#include "batch/run_state.h"

namespace kirato {

// Runs the datafile that lies beside the program: `executablePath` with
// everything from its last '.' on replaced by ".txt" (the trace log: ".log").
// Reads the program file's time for the up-to-date test first. Returns 1 when
// the program should close itself, 0 when it should stay open.
int RunDatafile(Run& run, const std::string& executablePath);

// Ends a run: what it wrote put on stable storage, its report finished,
// its log flushed, and the summary shown.
void FinishRun(Run& run);

// Reads the program file's modification time into the run (0 when it cannot
// be read).
void ReadExecutableTime(Run& run, const std::string& executablePath);

// Carries out the datafile at `datafilePath`; LOG lines open `logPath`.
// Returns the close flag. *opened tells whether the datafile could be opened
// (when not, the two "Datafile not found:" lines were shown and no summary).
// A front-end that reports that failure itself passes `openError`: it then
// receives the system's reason instead, and no message is shown.
int ExecuteDatafile(Run& run, const std::string& datafilePath,
                    const std::string& logPath, bool* opened = nullptr,
                    std::string* openError = nullptr);

// CHARSET=KEEP copies the bytes of the records as they are, for anyone who
// relies on the old output; CHARSET=UTF-8 (or UTF8) decodes them again, in
// any letter case. False for any other value.
bool ReadCharsetMode(std::string_view value, CharsetMode* mode);

// `path` with everything from the last '.' of its final component on replaced
// by `extension`, or with `extension` appended when that component has no
// '.'. For programs and datafiles whose names carry no extension.
std::string ReplaceFileExtension(const std::string& path,
                                 const std::string& extension);

}  // namespace kirato

#endif  // KIRATO_BATCH_DATAFILE_H_
