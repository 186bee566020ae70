// A window's job, carried out on a thread of its own. The run never waits
// for the window: its messages and its progress wait here until the
// window's timer takes them, so the window repaints a few times a second
// however fast the lines come, and stays answering while a record is read.
#ifndef KIRATO_APP_COMMON_BACKGROUND_RUN_H_
#define KIRATO_APP_COMMON_BACKGROUND_RUN_H_

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/common/job.h"
#include "batch/run_state.h"

namespace kirato {

class BackgroundRun {
 public:
  // What the window has not shown yet.
  struct Update {
    std::vector<std::string> lines;  // in the run's order
    int records = 0;                 // decided so far
    std::string folder;              // being walked; empty once it is over
  };

  // How often a window catches up with the run, in milliseconds. Adding,
  // selecting and painting every line as it comes would cost more than
  // converting its record; ten times a second still reads as a list that
  // moves with the run.
  static constexpr int kTickMs = 100;

  explicit BackgroundRun(Disk& disk);
  // Waits for the run: its outputs and its log are complete when the
  // program ends, whenever the window was closed.
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  // Carries out the job's datafile on a thread of its own; `programFile`'s
  // time makes older outputs out of date. `problem`, when not empty, is
  // shown first and fails the run. `finished` is called on the run's
  // thread once the run is over, unless Detach() came first: a window
  // wakes itself up with it rather than wait for its next tick.
  void Start(const JobFiles& job, const std::string& programFile,
             const std::string& problem, std::function<void()> finished);

  // Moves into *update what came since the last call.
  void Take(Update* update);

  // After it returns, `finished` is never called: for a window that is
  // going away while the run goes on.
  void Detach();

  // Waits until the run is over and tells how it ended.
  JobOutcome Wait();

 private:
  void Carry(const JobFiles& job, const std::string& programFile,
             const std::string& problem);

  Run run_;
  std::thread thread_;
  JobOutcome outcome_;  // the run's thread's until it has ended

  std::mutex mutex_;  // guards what follows
  Update pending_;
  std::function<void()> finished_;
};

}  // namespace kirato

#endif  // KIRATO_APP_COMMON_BACKGROUND_RUN_H_
