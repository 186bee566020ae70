#include "app/common/background_run.h"

#include <utility>

#include "batch/datafile.h"

namespace kirato {

BackgroundRun::BackgroundRun(Disk& disk)
    : run_(disk, [this](NoteKind, std::string_view line) {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.lines.emplace_back(line);
      }) {
  run_.progress = [this](const Progress& progress) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.records = progress.records;
    // Records are told without their folder: the folder stays the one
    // being walked.
    if (!progress.folder.empty()) pending_.folder.assign(progress.folder);
  };
}

BackgroundRun::~BackgroundRun() {
  Detach();
  if (thread_.joinable()) thread_.join();
}

void BackgroundRun::Start(const JobFiles& job, const std::string& programFile,
                          const std::string& problem,
                          std::function<void()> finished) {
  finished_ = std::move(finished);
  thread_ = std::thread([this, job, programFile, problem] {
    Carry(job, programFile, problem);
  });
}

void BackgroundRun::Carry(const JobFiles& job, const std::string& programFile,
                          const std::string& problem) {
  if (!problem.empty()) {
    ShowMessage(run_, problem);
    run_.state.errorFlag = true;
  }
  ReadExecutableTime(run_, programFile);
  std::string err;
  outcome_.datafileFound =
      ExecuteDatafile(run_, job.datafile, job.log, &outcome_.closes, &err);
  if (!outcome_.datafileFound) {
    // Without a job there is nothing to look at: the window closes at once.
    ShowDatafileNotFound(run_, job.datafile);
    outcome_.closes = true;
  }
  outcome_.failed = run_.state.errorFlag;
  std::lock_guard<std::mutex> lock(mutex_);
  // Every record decided was told to the progress sink, the last one too;
  // only the folder is no longer being walked.
  pending_.folder.clear();
  // Called under the lock, so that Detach() cannot return while it runs.
  if (finished_) finished_();
}

void BackgroundRun::Take(Update* update) {
  update->lines.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  update->lines.swap(pending_.lines);
  update->records = pending_.records;
  update->folder = pending_.folder;
}

void BackgroundRun::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = nullptr;
}

JobOutcome BackgroundRun::Wait() {
  if (thread_.joinable()) thread_.join();
  return outcome_;
}

}  // namespace kirato
