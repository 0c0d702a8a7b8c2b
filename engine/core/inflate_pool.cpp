#include "core/inflate_pool.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace orva {

InflateOutcome InflateData(int64_t length, uint8_t* in, uint8_t* out, const InflateReadFn& read,
                           const InflatePutFn& put, const InflatePollFn& poll) {
  InflateOutcome r;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    r.failure = InflateFailure::kInit;
    return r;
  }
  struct End {
    z_stream& z;
    ~End() { inflateEnd(&z); }  // also when a callback throws
  } end{z};
  int64_t remaining = length;
  bool ended = false;
  while (remaining > 0 && !ended && r.failure == InflateFailure::kNone) {
    if (poll && !poll()) {
      r.failure = InflateFailure::kStopped;
      break;
    }
    const uint32_t want = static_cast<uint32_t>(std::min<int64_t>(remaining, kInflateBlock));
    r.wholeBlock = want == kInflateBlock;
    const size_t got = read(in, want);
    if (got == 0) break;
    remaining -= static_cast<int64_t>(got);
    z.next_in = in;
    z.avail_in = static_cast<uInt>(got);
    do {
      z.next_out = out;
      z.avail_out = kInflateBlock;
      const int status = inflate(&z, Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) {
        r.failure = InflateFailure::kStream;
        break;
      }
      if (status == Z_NEED_DICT || status == Z_DATA_ERROR || status == Z_MEM_ERROR) {
        r.failure = InflateFailure::kData;
        break;
      }
      const uint32_t produced = kInflateBlock - z.avail_out;
      if (produced && !put(out, produced, r.wholeBlock)) {
        r.failure = InflateFailure::kWrite;
        break;
      }
      if (status == Z_STREAM_END) {
        ended = true;
        if (z.avail_in != 0 || remaining > 0) r.failure = InflateFailure::kLeftOver;
        break;
      }
    } while (z.avail_out == 0);
  }
  if (r.failure == InflateFailure::kNone && !ended) r.failure = InflateFailure::kTruncated;
  return r;
}

struct InflateAhead::Job {
  PositionalReader* reader = nullptr;
  int64_t offset = 0, length = 0;
  std::function<bool()> paused;
  std::deque<std::vector<uint8_t>> windows;  // a whole-block byte, then the output
  InflateOutcome outcome;
  bool done = false, writerWaits = false;
  std::atomic<bool> stop{false};
};

InflateAhead::InflateAhead(unsigned workers, size_t budget) : budget_(budget) {
  workers = std::max(1u, workers);
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

InflateAhead::~InflateAhead() {
  {
    std::lock_guard<Mutex> lock(m_);
    stopping_ = true;
    for (Job* job : running_) job->stop = true;
  }
  workCv_.notify_all();
  budgetCv_.notify_all();
  for (auto& t : threads_) t.join();
}

InflateAhead::Ticket InflateAhead::Start(PositionalReader& reader, int64_t offset, int64_t length,
                                         std::function<bool()> paused) {
  auto job = std::make_shared<Job>();
  job->reader = &reader;
  job->offset = offset;
  job->length = length;
  job->paused = std::move(paused);
  std::lock_guard<Mutex> lock(m_);
  queue_.push_back(job);
  ++pending_;
  return job;
}

void InflateAhead::Go() {
  std::lock_guard<Mutex> lock(m_);
  if (idle_ && !queue_.empty()) workCv_.notify_all();
}

size_t InflateAhead::Pending() const {
  std::lock_guard<Mutex> lock(m_);
  return pending_;
}

void InflateAhead::Work() {
  std::unique_ptr<uint8_t[]> in(new uint8_t[kInflateBlock]), out(new uint8_t[kInflateBlock]);
  std::unique_lock<Mutex> lock(m_);
  for (;;) {
    while (!stopping_ && queue_.empty()) {
      ++idle_;
      workCv_.wait(lock);
      --idle_;
    }
    if (stopping_) return;
    Ticket job = queue_.front();
    queue_.pop_front();
    running_.push_back(job.get());
    lock.unlock();
    const bool ran = failure_.Run([&] { Run(*job, in.get(), out.get()); });
    lock.lock();
    if (!ran) job->outcome.failure = InflateFailure::kStopped;
    running_.erase(std::find(running_.begin(), running_.end(), job.get()));
    job->done = true;
    if (job->writerWaits) writerCv_.notify_one();
  }
}

void InflateAhead::Run(Job& job, uint8_t* in, uint8_t* out) {
  int64_t at = job.offset;
  auto read = [&](uint8_t* buffer, uint32_t size) {
    size_t done = 0;
    while (done < size) {
      const size_t got = job.reader->ReadAt(at, buffer + done, size - static_cast<uint32_t>(done));
      if (got == 0) break;
      done += got;
      at += static_cast<int64_t>(got);
    }
    return done;
  };
  auto put = [&](const uint8_t* data, uint32_t size, bool wholeBlock) { return Put(job, data, size, wholeBlock); };
  auto poll = [&] {
    while (job.paused && !job.stop && job.paused()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !job.stop;
  };
  const InflateOutcome outcome = InflateData(job.length, in, out, read, put, poll);
  std::lock_guard<Mutex> lock(m_);
  job.outcome = outcome;
}

bool InflateAhead::Put(Job& job, const uint8_t* data, uint32_t size, bool wholeBlock) {
  std::vector<uint8_t> window(size + 1);
  window[0] = wholeBlock ? 1 : 0;
  std::memcpy(window.data() + 1, data, size);
  std::unique_lock<Mutex> lock(m_);
  while (!job.stop && front_ != &job && buffered_ + size > budget_) {
    ++budgetWaiters_;
    budgetCv_.wait(lock);
    --budgetWaiters_;
  }
  if (job.stop) return false;
  buffered_ += size;
  job.windows.push_back(std::move(window));
  if (job.writerWaits) writerCv_.notify_one();
  return true;
}

void InflateAhead::WakeBudgetWaiters() {
  if (budgetWaiters_) budgetCv_.notify_all();
}

InflateOutcome InflateAhead::Take(Ticket& ticket, const std::function<bool(const uint8_t*, uint32_t)>& write,
                                  const std::function<void()>& idle) {
  Job& job = *ticket;
  bool refused = false, wholeBlock = false;
  std::unique_lock<Mutex> lock(m_);
  front_ = &job;
  WakeBudgetWaiters();
  for (;;) {
    while (!job.windows.empty()) {
      std::vector<uint8_t> window = std::move(job.windows.front());
      job.windows.pop_front();
      buffered_ -= window.size() - 1;
      WakeBudgetWaiters();
      if (refused) continue;
      lock.unlock();
      const bool ok = write(window.data() + 1, static_cast<uint32_t>(window.size() - 1));
      lock.lock();
      if (!ok) {
        refused = true;
        wholeBlock = window[0] != 0;
        job.stop = true;
        WakeBudgetWaiters();
      }
    }
    if (job.done) break;
    job.writerWaits = true;
    const bool timedOut = writerCv_.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout;
    job.writerWaits = false;
    if (timedOut && idle && job.windows.empty() && !job.done) {
      lock.unlock();
      idle();
      lock.lock();
    }
  }
  front_ = nullptr;
  --pending_;
  InflateOutcome r = job.outcome;
  lock.unlock();
  ticket.reset();
  if (refused) {
    r.failure = InflateFailure::kWrite;
    r.wholeBlock = wholeBlock;
  }
  failure_.Rethrow();
  return r;
}

void InflateAhead::Drop(Ticket& ticket) {
  Job& job = *ticket;
  std::unique_lock<Mutex> lock(m_);
  job.stop = true;
  auto queued = std::find(queue_.begin(), queue_.end(), ticket);
  if (queued != queue_.end()) {
    queue_.erase(queued);
  } else {
    WakeBudgetWaiters();
    while (!job.done) {
      job.writerWaits = true;
      writerCv_.wait(lock);
      job.writerWaits = false;
    }
  }
  for (auto& window : job.windows) buffered_ -= window.size() - 1;
  job.windows.clear();
  WakeBudgetWaiters();
  --pending_;
  lock.unlock();
  ticket.reset();
  failure_.Rethrow();
}

}  // namespace orva
