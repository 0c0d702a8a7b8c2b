#include "core/deflate_pool.h"

#include <algorithm>
#include <chrono>

namespace orva {

DeflateState::~DeflateState() {
  if (level_ >= 0) deflateEnd(&z_);
}

bool DeflateState::Start(int level) {
  if (level_ == level && deflateReset(&z_) == Z_OK) return true;
  if (level_ >= 0) deflateEnd(&z_);
  z_ = z_stream{};
  level_ = deflateInit(&z_, level) == Z_OK ? level : -1;
  return level_ >= 0;
}

DeflateOutcome DeflateStream(DeflateState& state, int level, uint8_t* in, uint8_t* out, const DeflateReadFn& read,
                             const DeflatePutFn& put, const DeflatePollFn& poll) {
  DeflateOutcome r;
  if (!state.Start(level)) {
    r.failure = DeflateFailure::kDeflateInit;
    return r;
  }
  z_stream& z = state.z();
  int flush = Z_NO_FLUSH;
  do {
    uint32_t got = 0;
    if (!read(in, got, r.error)) {
      r.failure = DeflateFailure::kRead;
      break;
    }
    flush = got < kDeflateChunk ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = in;
    z.avail_in = got;
    do {
      if (poll && !poll()) {
        r.failure = DeflateFailure::kStopped;
        break;
      }
      z.next_out = out;
      z.avail_out = kDeflateChunk;
      if (deflate(&z, flush) == Z_STREAM_ERROR) {
        r.failure = DeflateFailure::kDeflate;
        break;
      }
      const uint32_t produced = kDeflateChunk - z.avail_out;
      if (produced && !put(out, produced, r.error)) {
        r.failure = DeflateFailure::kWrite;
        break;
      }
      r.compressed += produced;
    } while (z.avail_out == 0);
    if (r.failure != DeflateFailure::kNone) break;
    if (z.avail_in != 0) {
      r.failure = DeflateFailure::kAvailIn;
      break;
    }
  } while (flush != Z_FINISH);
  return r;
}

bool DeflatePool::Context::Put(const uint8_t* data, uint32_t size) {
  std::unique_lock<std::mutex> lock(pool_->m_);
  pool_->cv_.wait(lock, [&] { return job_->stop || job_->front || pool_->buffered_ + size <= pool_->budget_; });
  if (job_->stop) return false;
  job_->chunks.emplace_back(data, data + size);
  pool_->buffered_ += size;
  pool_->cv_.notify_all();
  return true;
}

bool DeflatePool::Context::Stopped() const {
  std::lock_guard<std::mutex> lock(pool_->m_);
  return job_->stop;
}

DeflatePool::DeflatePool(unsigned workers, size_t budget) : budget_(budget) {
  workers = std::max(1u, workers);
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

DeflatePool::~DeflatePool() {
  {
    std::lock_guard<std::mutex> lock(m_);
    stopping_ = true;
    for (auto& job : running_) job->stop = true;
    for (auto& job : queue_) job->stop = true;
  }
  cv_.notify_all();
  for (auto& t : threads_) t.join();
}

unsigned DeflatePool::DefaultWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::min(8u, std::max(1u, cores));
}

std::shared_ptr<DeflatePool::Job> DeflatePool::Submit(Task task) {
  auto job = std::make_shared<Job>();
  job->task = std::move(task);
  {
    std::lock_guard<std::mutex> lock(m_);
    queue_.push_back(job);
    ++pending_;
  }
  cv_.notify_all();
  return job;
}

void DeflatePool::Work() {
  DeflateState state;
  std::unique_ptr<uint8_t[]> in(new uint8_t[kDeflateChunk]), out(new uint8_t[kDeflateChunk]);
  std::unique_lock<std::mutex> lock(m_);
  for (;;) {
    cv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::shared_ptr<Job> job = queue_.front();
    queue_.pop_front();
    job->started = true;
    running_.push_back(job);
    lock.unlock();
    Context ctx;
    ctx.pool_ = this;
    ctx.job_ = job.get();
    ctx.state_ = &state;
    ctx.in_ = in.get();
    ctx.out_ = out.get();
    if (!job->stop) job->task(ctx);
    lock.lock();
    job->task = nullptr;  // what it holds goes now, on this thread
    job->done = true;
    running_.erase(std::find(running_.begin(), running_.end(), job));
    cv_.notify_all();
  }
}

bool DeflatePool::Drain(Job& job, const std::function<bool(const uint8_t*, uint32_t)>& sink,
                        const std::function<void()>& idle) {
  std::unique_lock<std::mutex> lock(m_);
  job.front = true;
  cv_.notify_all();
  bool ok = true;
  for (;;) {
    while (ok && !job.chunks.empty()) {
      std::vector<uint8_t> chunk = std::move(job.chunks.front());
      job.chunks.pop_front();
      buffered_ -= chunk.size();
      cv_.notify_all();
      lock.unlock();
      ok = sink(chunk.data(), static_cast<uint32_t>(chunk.size()));
      lock.lock();
      if (!ok) {
        job.stop = true;
        cv_.notify_all();
      }
    }
    if (job.done || (!job.started && stopping_)) break;
    if (cv_.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout && idle) {
      lock.unlock();
      idle();
      lock.lock();
    }
  }
  for (auto& chunk : job.chunks) buffered_ -= chunk.size();
  job.chunks.clear();
  --pending_;
  cv_.notify_all();
  return ok;
}

void DeflatePool::Discard(Job& job) {
  {
    std::lock_guard<std::mutex> lock(m_);
    job.stop = true;
  }
  Drain(job, [](const uint8_t*, uint32_t) { return true; });
}

bool DeflatePool::Done(const Job& job) const {
  std::lock_guard<std::mutex> lock(m_);
  return job.done;
}

size_t DeflatePool::Pending() const {
  std::lock_guard<std::mutex> lock(m_);
  return pending_;
}

}  // namespace orva
