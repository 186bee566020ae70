// Worker threads that look at and convert records while the walk goes on.
// The walk hands them the records of a folder as one batch, and what they
// need to know ahead of it (the folders it will come to next); batches are
// done in any order, but what each produced reaches the run in the order
// the walk met its records, interleaved with what the walk itself showed
// and traced meanwhile: messages, the trace log and the counters come out
// the same for any number of threads.
#ifndef KIRATO_BATCH_POOL_H_
#define KIRATO_BATCH_POOL_H_

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "batch/output_folder.h"
#include "batch/report.h"
#include "batch/run_state.h"
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

// What a worker keeps from one record to the next, so that converting one
// allocates little: the buffers of the record's bytes and of its SGF text
// are used again with the room they have.
struct Scratch {
  std::string record;
  GameResult game;
  std::string name;  // of the SGF file being looked at
};

// The outcomes of a batch of records, one each, in the walk's order.
using Outcomes = std::vector<RecordOutcome>;
// Completes the outcomes of a batch; runs on any thread.
using BatchWork = std::function<void(Outcomes* outcomes, Scratch* scratch)>;

// Work the walk will need soon (a look at a folder), done ahead of it by
// whichever thread is free first.
class Prefetch {
 public:
  virtual ~Prefetch() = default;

 protected:
  // Touches nothing the walk's thread may touch meanwhile.
  virtual void Run() = 0;

 private:
  friend class RecordPool;
  enum class State : unsigned char {
    kNew,  // never queued: done when awaited
    kQueued,
    kRunning,
    kDone,
    kDropped
  };
  // Guarded by the pool's mutex.
  State state_ = State::kNew;
  std::multimap<uint64_t, std::shared_ptr<Prefetch>>::iterator queued_;
};

class RecordPool {
 public:
  // With `threads` of 1 or less every batch is done at once, on the
  // calling thread. Installs itself in `run` until destroyed.
  RecordPool(Run& run, int threads);
  ~RecordPool();
  RecordPool(const RecordPool&) = delete;
  RecordPool& operator=(const RecordPool&) = delete;

  // Hands a batch of records to a worker, which completes `outcomes` (one
  // for each record, holding what the walk put there already) with `work`;
  // the run hears of them in their turn, after all that came before. Waits
  // while too many records are in flight, so that memory stays bounded
  // however large the tree. Without `work` the outcomes are complete.
  void Submit(Outcomes outcomes, BatchWork work);

  // True while something submitted has not yet been handed to the run;
  // what the walk shows then must wait its turn (Defer).
  bool Busy() const { return !queue_.empty(); }
  void Defer(NoteKind kind, std::string_view text);
  // The progress of the run reaches the front-end in its turn too: the
  // folder a window shows is the one whose records it is counting.
  void DeferProgress(std::string_view folder);

  // Queues `work` to be done ahead of the walk. Of the work queued, workers
  // take the one of the lowest `rank` first, and all of it before any
  // batch: the walk, which hands them their batches, must not wait.
  void Ahead(std::shared_ptr<Prefetch> work, uint64_t rank);

  // Returns once `work` is done: done on this thread when no worker has
  // begun it. While a worker does it, this thread does other work queued
  // ahead rather than sleep.
  void Await(Prefetch& work);

  // Waits for every batch and hands everything to the run; work queued
  // ahead and never awaited is dropped, and what a worker is doing of it
  // is waited for.
  void Finish();

 private:
  struct Slot {
    BatchWork work;
    Outcomes outcomes;
    // Set with the pool's mutex held, for those who wait on it; read
    // without it where nobody waits.
    std::atomic<bool> done{false};
  };
  // One entry of the run's order: a batch, a note of the walk or a folder
  // it came to.
  struct Entry {
    std::shared_ptr<Slot> slot;
    Note note;
    bool progress = false;
  };

  void WorkerLoop();
  // Takes the first work queued ahead and does it; called and returns with
  // `lock` held.
  void RunFirstAhead(std::unique_lock<std::mutex>& lock);
  // Hands over the entries at the front whose batches are done; with
  // `target`, waits until that batch is done first.
  void DeliverReady(const Slot* target);
  // Waits until half the batches in flight are done, and hands them over:
  // the walk then goes on for a while before it waits again, rather than
  // wake for every batch.
  void MakeRoom();
  // Does a batch and says it is done.
  void RunBatch(Slot& slot, Scratch* scratch);
  // Takes the first batch no worker has taken and does it on the walk's
  // thread; called and returns with `lock` held.
  void RunFirstBatch(std::unique_lock<std::mutex>& lock);
  // Does the batches no worker has taken yet, on this thread, until
  // `target` is done or none is left.
  void HelpUntil(const Slot* target);

  Run& run_;
  const bool single_;    // all is done on the walk's thread, at once
  const size_t window_;  // records in flight at the most
  size_t inFlight_ = 0;  // records submitted, not yet handed over
  std::deque<Entry> queue_;
  Scratch scratch_;  // for batches done on the walk's own thread

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable workDone_;
  std::deque<std::shared_ptr<Slot>> work_;
  std::multimap<uint64_t, std::shared_ptr<Prefetch>> ahead_;
  int aheadRunning_ = 0;  // work taken from ahead_, not yet done
  bool stopping_ = false;
  int idle_ = 0;  // workers waiting for work
  // What the walk waits for: a batch, or work done ahead.
  const Slot* waitingFor_ = nullptr;
  bool awaiting_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace kirato

#endif  // KIRATO_BATCH_POOL_H_
