#include "app/common/job.h"

#include "batch/datafile.h"
#include "batch/path.h"
#include "batch/run_state.h"

namespace kirato {

JobFiles JobFilesOf(const std::string& programPath) {
  JobFiles job;
  std::string name;
  SystemPaths().Split(programPath, &job.folder, &name);
  job.datafile = ReplaceFileExtension(programPath, ".txt");
  job.log = ReplaceFileExtension(programPath, ".log");
  return job;
}

bool EnterJobFolder(const JobFiles& job, std::string* err) {
  std::string reason;
  if (EnterFolder(job.folder, &reason)) return true;
  *err = Format("Cannot enter the job folder '%s': %s", job.folder.c_str(),
                reason.c_str());
  return false;
}

std::string ProgressText(int records, std::string_view folder) {
  std::string text = "Records done: " + std::to_string(records);
  if (!folder.empty()) text.append("    Folder: ").append(folder);
  return text;
}

int ExitStatusOf(const JobOutcome& outcome) {
  if (!outcome.datafileFound) return 2;
  return outcome.failed || outcome.startFailed ? 1 : 0;
}

}  // namespace kirato
