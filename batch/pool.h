// Worker threads that convert records while the walk goes on. Records are
// converted in any order, but what each produced reaches the run in the
// order the walk met them, interleaved with what the walk itself showed and
// traced meanwhile: messages, the trace log and the counters come out the
// same for any number of threads.
#ifndef KIRATO_BATCH_POOL_H_
#define KIRATO_BATCH_POOL_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "batch/output_folder.h"
#include "batch/run_state.h"
#include "batch/report.h"
#include "convert/convert.h"

namespace kirato {

// What became of one record, to be shown in its turn.
struct RecordOutcome {
  RecordStatus status = RecordStatus::kFailed;
  // As the messages show them; needed only by a report.
  std::string input;
  std::string output;
  std::vector<Note> notes;  // messages and trace lines, in the order made
  // The output folder the record was written into, when the walk makes
  // such folders: the first record in a folder this run made names it in
  // the trace log, whichever thread made it.
  std::shared_ptr<OutputFolder> wroteIn;
};

// Hands an outcome to the run: its notes, its count and, for any record
// that has no SGF file now, the error flag; the report and the progress
// hear of it too.
void Deliver(Run& run, const RecordOutcome& outcome);

// The number of worker threads a setting asks for: 0 means one per core.
int WorkerCount(int setting);

class RecordPool {
 public:
  // With `threads` of 1 or less every record is converted at once, on the
  // calling thread. Installs itself in `run` until destroyed.
  RecordPool(Run& run, int threads);
  ~RecordPool();
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;

  // Converts a record. Waits while too many records are in flight, so
  // that memory stays bounded however large the tree.
  void Submit(std::function<RecordOutcome()> work);

  // A record the walk decided on itself (up to date, or its output taken):
  // handed to the run in its turn, after the records before it.
  void Decided(RecordOutcome outcome);

  // True while something submitted has not yet been handed to the run;
  // what the walk shows then must wait its turn (Defer).
  bool Busy() const { return !queue_.empty(); }
  void Defer(NoteKind kind, std::string_view text);

  // Waits for every record and hands everything to the run.
  void Finish();

 private:
  struct Slot {
    std::function<RecordOutcome()> work;
    RecordOutcome outcome;
    bool done = false;
  };
  // One entry of the run's order: a record, or a note of the walk.
  struct Entry {
    std::shared_ptr<Slot> slot;
    Note note;
  };

  void WorkerLoop();
  // Hands over the entries at the front that are ready; with `wait`, waits
  // for the first record among them.
  void DeliverReady(bool wait);

  Run& run_;
  const size_t window_;  // records in flight at the most
  size_t inFlight_ = 0;  // records submitted, not yet handed over
  std::deque<Entry> queue_;

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable workDone_;
  std::deque<std::shared_ptr<Slot>> work_;
  bool stopping_ = false;
  int idle_ = 0;          // workers waiting for a record
  bool waiting_ = false;  // the walk waits for a record to be done
  std::vector<std::thread> workers_;
};

}  // namespace kirato

#endif  // KIRATO_BATCH_POOL_H_
