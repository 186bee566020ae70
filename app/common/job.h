// What the Linux and the Windows window agree on about a job: where its
// files lie, what the window tells of its progress, and how the program's
// exit status follows from the run.
#ifndef KIRATO_APP_COMMON_JOB_H_
#define KIRATO_APP_COMMON_JOB_H_

#include <string>
#include <string_view>

namespace kirato {

// A job folder holds the program (or a link to it, or a renamed copy), the
// datafile named after it and its trace log.
struct JobFiles {
  std::string folder;    // ends in a separator
  std::string datafile;  // NAME.txt for a program named NAME or NAME.EXT
  std::string log;       // NAME.log
};

// The job of the program started as `programPath`: only the extension of
// the program's own name is replaced, so a '.' in a folder's name counts
// for nothing, and a program without an extension gets one appended.
JobFiles JobFilesOf(const std::string& programPath);

// Makes the job folder the program's working folder, so that the program
// to run first and the relative paths of the datafile are found in the job
// folder whatever folder a scheduler starts the program in. False with
// *err set to the message that says so when it cannot be entered.
bool EnterJobFolder(const JobFiles& job, std::string* err);

// Makes `folder` the working folder; false with *err set to the system's
// reason. One implementation per platform.
bool EnterFolder(const std::string& folder, std::string* err);

// The line above the message list: the records decided so far and the
// folder being walked, when there is one.
std::string ProgressText(int records, std::string_view folder);

// How a run ended.
struct JobOutcome {
  bool datafileFound = false;
  bool failed = false;  // an error was reported, FORCEERROR included
  bool closes = false;  // the datafile asks the window to close itself
  // The program to run first could not be started: the records it should
  // have brought may be missing, which a scheduler must be able to see.
  bool startFailed = false;
};

// The exit status of kirato-cli for the same job: 0 clean, 1 after an
// error, 2 when there is no datafile.
int ExitStatusOf(const JobOutcome& outcome);

}  // namespace kirato

#endif  // KIRATO_APP_COMMON_JOB_H_
