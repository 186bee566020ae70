#include "batch/pool.h"

#include <exception>

namespace kirato {

void Deliver(Run& run, const RecordOutcome& outcome) {
  for (const Note& n : outcome.notes) {
    // The folders made for the output were made after the conversion, and
    // before its line, which comes last.
    if (&n == &outcome.notes.back() && outcome.wroteIn &&
        run.state.traceLevel >= 6) {
      for (const std::string& made : outcome.wroteIn->TakeMadeUntraced()) {
        TraceWriteNow(run, "ProcessDir::mkdir " + made);
      }
    }
    if (n.kind == NoteKind::kTrace) {
      TraceWriteNow(run, n.text);
    } else {
      ShowMessageNow(run, n.kind, n.text);
    }
  }
  RunState& s = run.state;
  switch (outcome.status) {
    case RecordStatus::kConverted:
      ++s.filesConverted;
      break;
    case RecordStatus::kUpToDate:
      ++s.filesUpToDate;
      break;
    case RecordStatus::kFailed:
    case RecordStatus::kRefused:
    case RecordStatus::kCollision:
      ++s.filesFailed;
      s.errorFlag = true;
      break;
  }
  if (s.report) {
    s.report->Add(outcome.input, outcome.output, outcome.status,
                  outcome.notes);
  }
  ReportProgress(run);
}

int WorkerCount(int setting) {
  if (setting > 0) return setting;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

RecordPool::RecordPool(Run& run, int threads)
    : run_(run), window_(threads > 1 ? static_cast<size_t>(threads) * 4 : 1) {
  for (int i = 0; threads > 1 && i < threads; ++i) {
    workers_.emplace_back([this] { WorkerLoop(); });
  }
  run_.pool = this;
}

RecordPool::~RecordPool() {
  Finish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (std::thread& t : workers_) t.join();
  run_.pool = nullptr;
}

namespace {

// A record's conversion must not take the run down: anything it throws
// (only running out of memory) fails that record alone.
RecordOutcome RunWork(const std::function<RecordOutcome()>& work) {
  try {
    return work();
  } catch (const std::exception&) {
    RecordOutcome failed;
    failed.notes.push_back(
        {NoteKind::kProblem,
         "Not enough memory for this file. Conversion aborted."});
    return failed;
  }
}

}  // namespace

void RecordPool::Submit(std::function<RecordOutcome()> work) {
  if (workers_.empty()) {
    // One thread: nothing can be waiting, so the record is handed over
    // the moment it is converted.
    Deliver(run_, RunWork(work));
    return;
  }
  while (inFlight_ >= window_) DeliverReady(true);
  auto slot = std::make_shared<Slot>();
  slot->work = std::move(work);
  queue_.push_back({slot, {}});
  ++inFlight_;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_.push_back(std::move(slot));
    wake = idle_ > 0;
  }
  // A worker that is busy takes the record when it is done: waking one
  // costs a system call, which only an idle worker is worth.
  if (wake) workReady_.notify_one();
  DeliverReady(false);
}

void RecordPool::Decided(RecordOutcome outcome) {
  if (queue_.empty()) {
    Deliver(run_, outcome);
    return;
  }
  auto slot = std::make_shared<Slot>();
  slot->outcome = std::move(outcome);
  slot->done = true;  // no worker ever sees it
  queue_.push_back({slot, {}});
  ++inFlight_;
}

void RecordPool::Defer(NoteKind kind, std::string_view text) {
  queue_.push_back({nullptr, {kind, std::string(text)}});
}

void RecordPool::Finish() {
  while (!queue_.empty()) DeliverReady(true);
}

void RecordPool::DeliverReady(bool wait) {
  while (!queue_.empty()) {
    Entry& front = queue_.front();
    if (front.slot) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!front.slot->done) {
        if (!wait) return;
        waiting_ = true;
        workDone_.wait(lock, [&] { return front.slot->done; });
        waiting_ = false;
      }
      lock.unlock();
      wait = false;  // one record waited for is enough
      Deliver(run_, front.slot->outcome);
      --inFlight_;
    } else if (front.note.kind == NoteKind::kTrace) {
      TraceWriteNow(run_, front.note.text);
    } else {
      ShowMessageNow(run_, front.note.kind, front.note.text);
    }
    queue_.pop_front();
  }
}

void RecordPool::WorkerLoop() {
  for (;;) {
    std::shared_ptr<Slot> slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++idle_;
      workReady_.wait(lock, [&] { return stopping_ || !work_.empty(); });
      --idle_;
      if (work_.empty()) return;
      slot = std::move(work_.front());
      work_.pop_front();
    }
    RecordOutcome outcome = RunWork(slot->work);
    slot->work = nullptr;
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->outcome = std::move(outcome);
      slot->done = true;
      wake = waiting_;
    }
    // The walk goes on by itself and collects what is done in passing; it
    // is woken only when it waits.
    if (wake) workDone_.notify_one();
  }
}

}  // namespace kirato
