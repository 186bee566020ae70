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
    : run_(run),
      single_(threads <= 1),
      // Enough batches for each worker to find one when it is done with
      // the last, and the walk to stay ahead of them all.
      window_(threads > 1 ? static_cast<size_t>(threads) * 128 : 1) {
  // The walk's own thread is one of them: when it has handed out all it
  // may, it does batches too rather than sleep.
  for (int i = 1; threads > 1 && i < threads; ++i) {
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

void RecordPool::Submit(Outcomes outcomes, BatchWork work) {
  if (single_ && work) {
    work(&outcomes, &scratch_);
    work = nullptr;
  }
  if (!work && queue_.empty()) {
    for (const RecordOutcome& o : outcomes) Deliver(run_, o);
    return;
  }
  const size_t records = outcomes.size();
  while (inFlight_ > 0 && inFlight_ + records > window_) MakeRoom();
  auto slot = std::make_shared<Slot>();
  slot->outcomes = std::move(outcomes);
  slot->done = !work;  // no worker ever sees it then
  queue_.push_back({slot, {}, false});
  inFlight_ += records;
  if (!work) return;
  slot->work = std::move(work);
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_.push_back(std::move(slot));
    wake = idle_ > 0;
  }
  // A worker that is busy takes the batch when it is done: waking one
  // costs a system call, which only an idle worker is worth.
  if (wake) workReady_.notify_one();
  DeliverReady(nullptr);
}

void RecordPool::Defer(NoteKind kind, std::string_view text) {
  queue_.push_back({nullptr, {kind, std::string(text)}, false});
}

void RecordPool::DeferProgress(std::string_view folder) {
  queue_.push_back({nullptr, {NoteKind::kInfo, std::string(folder)}, true});
}

void RecordPool::Ahead(std::shared_ptr<Prefetch> work, uint64_t rank) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Prefetch& p = *work;
    p.state_ = Prefetch::State::kQueued;
    p.queued_ = ahead_.emplace(rank, std::move(work));
    wake = idle_ > 0;
  }
  if (wake) workReady_.notify_one();
}

void RecordPool::RunFirstAhead(std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Prefetch> p = std::move(ahead_.begin()->second);
  ahead_.erase(ahead_.begin());
  p->state_ = Prefetch::State::kRunning;
  ++aheadRunning_;
  lock.unlock();
  p->Run();
  lock.lock();
  p->state_ = Prefetch::State::kDone;
  --aheadRunning_;
}

void RecordPool::Await(Prefetch& work) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (work.state_ == Prefetch::State::kNew ||
      work.state_ == Prefetch::State::kQueued) {
    // Nobody has begun it: it is done here, now.
    std::shared_ptr<Prefetch> self;
    if (work.state_ == Prefetch::State::kQueued) {
      self = std::move(work.queued_->second);
      ahead_.erase(work.queued_);
    }
    work.state_ = Prefetch::State::kRunning;
    lock.unlock();
    work.Run();
    lock.lock();
    work.state_ = Prefetch::State::kDone;
    return;
  }
  while (work.state_ != Prefetch::State::kDone) {
    if (!ahead_.empty()) {
      RunFirstAhead(lock);
      continue;
    }
    if (!work_.empty()) {
      RunFirstBatch(lock);
      continue;
    }
    awaiting_ = true;
    workDone_.wait(lock, [&] {
      return work.state_ == Prefetch::State::kDone || !ahead_.empty();
    });
    awaiting_ = false;
  }
}

void RecordPool::MakeRoom() {
  // The batch halfway along: batches are taken in order, so once it is
  // done most of those before it are too.
  const Slot* target = nullptr;
  for (size_t i = queue_.size() / 2; i < queue_.size() && !target; ++i) {
    target = queue_[i].slot.get();
  }
  for (size_t i = 0; i < queue_.size() && !target; ++i) {
    target = queue_[i].slot.get();
  }
  HelpUntil(target);
  DeliverReady(target);
}

void RecordPool::HelpUntil(const Slot* target) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!target->done.load() && !work_.empty()) RunFirstBatch(lock);
}

void RecordPool::RunFirstBatch(std::unique_lock<std::mutex>& lock) {
  std::shared_ptr<Slot> slot = std::move(work_.front());
  work_.pop_front();
  lock.unlock();
  RunBatch(*slot, &scratch_);
  lock.lock();
}

void RecordPool::RunBatch(Slot& slot, Scratch* scratch) {
  try {
    slot.work(&slot.outcomes, scratch);
  } catch (const std::exception&) {
    // Each record fails alone where it can; should anything else run out
    // of memory, the records not done count as failed, and the run goes
    // on rather than hang.
  }
  slot.work = nullptr;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.done.store(true, std::memory_order_release);
    wake = waitingFor_ == &slot;
  }
  // The walk goes on by itself and collects what is done in passing; it
  // is woken only when it waits for this batch.
  if (wake) workDone_.notify_one();
}

void RecordPool::Finish() {
  while (!queue_.empty()) {
    const Slot* last = nullptr;
    for (const Entry& e : queue_) {
      if (e.slot) last = e.slot.get();
    }
    if (last) HelpUntil(last);
    DeliverReady(last);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  for (auto& [rank, p] : ahead_) p->state_ = Prefetch::State::kDropped;
  ahead_.clear();
  awaiting_ = true;
  workDone_.wait(lock, [&] { return aheadRunning_ == 0; });
  awaiting_ = false;
}

void RecordPool::DeliverReady(const Slot* target) {
  if (target) {
    std::unique_lock<std::mutex> lock(mutex_);
    waitingFor_ = target;
    workDone_.wait(lock, [&] { return target->done.load(); });
    waitingFor_ = nullptr;
  }
  while (!queue_.empty()) {
    Entry& front = queue_.front();
    if (front.slot) {
      if (!front.slot->done.load(std::memory_order_acquire)) return;
      for (const RecordOutcome& o : front.slot->outcomes) Deliver(run_, o);
      inFlight_ -= front.slot->outcomes.size();
    } else if (front.progress) {
      ReportProgress(run_, front.note.text);
    } else if (front.note.kind == NoteKind::kTrace) {
      TraceWriteNow(run_, front.note.text);
    } else {
      ShowMessageNow(run_, front.note.kind, front.note.text);
    }
    queue_.pop_front();
  }
}

void RecordPool::WorkerLoop() {
  Scratch scratch;
  for (;;) {
    std::shared_ptr<Slot> slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ++idle_;
      workReady_.wait(lock, [&] {
        return stopping_ || !work_.empty() || !ahead_.empty();
      });
      --idle_;
      if (!ahead_.empty()) {
        RunFirstAhead(lock);
        const bool wake = awaiting_;
        lock.unlock();
        if (wake) workDone_.notify_one();
        continue;
      }
      if (work_.empty()) return;
      slot = std::move(work_.front());
      work_.pop_front();
    }
    RunBatch(*slot, &scratch);
  }
}

}  // namespace kirato
