#include "core/deflate_pool.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orva {

DeflateState::~DeflateState() {
  if (level_ >= 0) deflateEnd(&z_);
}

bool DeflateState::Start(int level) {
  if (level_ == level && deflateReset(&z_) == Z_OK) return true;
  if (level_ >= 0) deflateEnd(&z_);
  z_ = z_stream{};
  const int made =
      raw_ ? deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) : deflateInit(&z_, level);
  level_ = made == Z_OK ? level : -1;
  return level_ >= 0;
}

DeflateState& DeflateState::Raw() {
  if (!rawState_) rawState_ = std::make_unique<DeflateState>(true);
  return *rawState_;
}

void CompressBlock(DeflateState& raw, DeflateBlock& b) {
  b.failure = DeflateFailure::kNone;
  if (b.poll && *b.poll && !(*b.poll)()) {
    b.failure = DeflateFailure::kStopped;
  } else if (!raw.Start(b.level)) {
    b.failure = DeflateFailure::kDeflateInit;
  } else {
    z_stream& z = raw.z();
    const uint8_t* data = b.data.data() + kDeflateWindow;
    if (b.primer && deflateSetDictionary(&z, data - b.primer, b.primer) != Z_OK) b.failure = DeflateFailure::kDeflate;
    b.adler = adler32(adler32(0, nullptr, 0), data, b.size);
    z.next_in = const_cast<uint8_t*>(data);
    z.avail_in = b.size;
    // Room for the whole block as a rule; the same sizes whoever compresses it.
    b.out.resize(deflateBound(&z, b.size) + 64);
    size_t have = 0;
    while (b.failure == DeflateFailure::kNone) {
      z.next_out = b.out.data() + have;
      z.avail_out = static_cast<uInt>(b.out.size() - have);
      if (deflate(&z, b.last ? Z_FINISH : Z_FULL_FLUSH) == Z_STREAM_ERROR) b.failure = DeflateFailure::kDeflate;
      have = b.out.size() - z.avail_out;
      if (z.avail_out != 0) break;
      b.out.resize(b.out.size() + kDeflateChunk);
    }
    b.out.resize(have);
    if (b.failure == DeflateFailure::kNone && z.avail_in != 0) b.failure = DeflateFailure::kAvailIn;
  }
}

namespace {

// Blocks compressed in turn by the stream's own thread, one held at a time.
class InlineBlocks : public DeflateBlocks {
 public:
  explicit InlineBlocks(DeflateState& raw) : raw_(raw) {}
  bool Reserve(bool wait) override { return wait; }
  void Start(const std::shared_ptr<DeflateBlock>& block) override { CompressBlock(raw_, *block); }
  void Finish(DeflateBlock&) override {}
  void Release() override {}

 private:
  DeflateState& raw_;
};

// Deflates with flush until the output window comes back with room; each
// window after a poll, handed to put.
DeflateFailure DeflateWindows(z_stream& z, int flush, uint8_t* out, const DeflatePutFn& put, const DeflatePollFn& poll,
                              DeflateOutcome& r) {
  do {
    if (poll && !poll()) return DeflateFailure::kStopped;
    z.next_out = out;
    z.avail_out = kDeflateChunk;
    if (deflate(&z, flush) == Z_STREAM_ERROR) return DeflateFailure::kDeflate;
    const uint32_t produced = kDeflateChunk - z.avail_out;
    if (produced && !put(out, produced, r.error)) return DeflateFailure::kWrite;
    r.compressed += produced;
  } while (z.avail_out == 0);
  return z.avail_in != 0 ? DeflateFailure::kAvailIn : DeflateFailure::kNone;
}

// The blocks after the first: read in turn, compressed by blocks, joined in
// order. in holds the first carry bytes of the second block; primer the
// last kDeflateWindow bytes of the first block; adler its Adler-32.
void DeflateRest(int level, uint8_t* in, uint32_t carry, const uint8_t* primer, uLong adler, const DeflateReadFn& read,
                 const DeflatePutFn& put, const DeflatePollFn& poll, DeflateBlocks& blocks, DeflateOutcome& r) {
  std::deque<std::shared_ptr<DeflateBlock>> flight;
  std::shared_ptr<DeflateBlock> spare;  // one finished with: its buffers serve again
  std::vector<uint8_t> lastWindow(primer, primer + kDeflateWindow);
  // The oldest block held: waited for, then handed on.
  auto finishFront = [&] {
    std::shared_ptr<DeflateBlock> b = std::move(flight.front());
    flight.pop_front();
    blocks.Finish(*b);
    spare = b;
    if (r.failure != DeflateFailure::kNone) return;
    if (b->failure != DeflateFailure::kNone) {
      r.failure = b->failure;
      return;
    }
    // Handed on in windows, as the rest of the stream.
    for (size_t at = 0; at < b->out.size(); at += kDeflateChunk) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kDeflateChunk, b->out.size() - at));
      if (!put(b->out.data() + at, n, r.error)) {
        r.failure = DeflateFailure::kWrite;
        return;
      }
      r.compressed += n;
    }
    adler = adler32_combine(adler, b->adler, b->size);
  };
  // A stream that an exception ends still waits for the blocks it started
  // (they ask its poll) and frees the room it reserved.
  bool reserved = false;
  std::shared_ptr<DeflateBlock> starting;  // started, not yet in flight
  struct Unwind {
    DeflateBlocks& blocks;
    std::deque<std::shared_ptr<DeflateBlock>>& flight;
    bool& reserved;
    std::shared_ptr<DeflateBlock>& starting;
    ~Unwind() {
      for (auto& b : flight) blocks.Finish(*b);
      if (starting && !reserved) blocks.Finish(*starting);
      if (reserved) blocks.Release();
    }
  } unwind{blocks, flight, reserved, starting};
  bool ended = carry < kDeflateChunk;  // a short read was seen: no read follows
  bool last = false;
  // A failed read ends the stream once the blocks read before it are handed
  // on, as they would have been one chunk after the other.
  bool readFailed = false;
  while (!last && r.failure == DeflateFailure::kNone) {
    while (!flight.empty() && r.failure == DeflateFailure::kNone &&
           (flight.size() >= kBlocksPerStream || !(reserved = blocks.Reserve(false))))
      finishFront();
    if (r.failure != DeflateFailure::kNone) break;
    if (flight.empty()) reserved = blocks.Reserve(true);
    std::shared_ptr<DeflateBlock> b = std::move(spare);
    if (b) {
      b->done = false;
    } else {
      b = std::make_shared<DeflateBlock>();
      b->data.resize(kDeflateWindow + kDeflateBlock);
    }
    b->level = level;
    b->poll = &poll;
    b->primer = kDeflateWindow;
    uint8_t* data = b->data.data() + kDeflateWindow;
    std::memcpy(b->data.data(), lastWindow.data(), kDeflateWindow);
    std::memcpy(data, in, carry);
    uint32_t filled = carry;
    carry = 0;
    while (!ended && filled < kDeflateBlock) {
      uint32_t got = 0;
      if (poll && !poll()) {
        r.failure = DeflateFailure::kStopped;
      } else if (!read(data + filled, got, r.error)) {
        readFailed = true;
      }
      if (r.failure != DeflateFailure::kNone || readFailed) break;
      filled += got;
      ended = got < kDeflateChunk;
    }
    if (!ended && r.failure == DeflateFailure::kNone && !readFailed) {
      // A full block: the next read tells whether another follows.
      if (poll && !poll()) {
        r.failure = DeflateFailure::kStopped;
      } else if (!read(in, carry, r.error)) {
        readFailed = true;
      }
      ended = carry < kDeflateChunk;
    }
    if (r.failure != DeflateFailure::kNone || readFailed) {
      reserved = false;
      blocks.Release();
      break;
    }
    b->size = filled;
    last = b->last = carry == 0;
    if (!last) std::memcpy(lastWindow.data(), data + filled - kDeflateWindow, kDeflateWindow);
    starting = b;
    blocks.Start(b);
    reserved = false;
    flight.push_back(std::move(b));
    starting = nullptr;
  }
  while (!flight.empty()) finishFront();
  if (r.failure == DeflateFailure::kNone && readFailed) r.failure = DeflateFailure::kRead;
  if (r.failure != DeflateFailure::kNone) return;
  const uint8_t trailer[4] = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                              static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
  if (!put(trailer, 4, r.error)) {
    r.failure = DeflateFailure::kWrite;
    return;
  }
  r.compressed += 4;
}

}  // namespace

DeflateOutcome DeflateStream(DeflateState& state, int level, uint8_t* in, uint8_t* out, const DeflateReadFn& read,
                             const DeflatePutFn& put, const DeflatePollFn& poll, DeflateBlocks* blocks) {
  DeflateOutcome r;
  if (!state.Start(level)) {
    r.failure = DeflateFailure::kDeflateInit;
    return r;
  }
  z_stream& z = state.z();
  // Stored data (level 0) stays one stream: copying gains nothing from blocks.
  const bool blocked = level != 0;
  std::unique_ptr<uint8_t[]> primer;
  uint32_t taken = 0;  // bytes of the first block
  uint32_t got = 0;
  int flush = Z_NO_FLUSH;
  do {
    got = 0;
    if (!read(in, got, r.error)) {
      r.failure = DeflateFailure::kRead;
      return r;
    }
    if (blocked && taken == kDeflateBlock && got != 0) break;
    taken += got;
    flush = got < kDeflateChunk ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = in;
    z.avail_in = got;
    r.failure = DeflateWindows(z, flush, out, put, poll, r);
    if (r.failure != DeflateFailure::kNone) return r;
    if (blocked && taken == kDeflateBlock && flush == Z_NO_FLUSH) {
      primer.reset(new uint8_t[kDeflateWindow]);
      std::memcpy(primer.get(), in + kDeflateChunk - kDeflateWindow, kDeflateWindow);
    }
  } while (flush != Z_FINISH);
  if (flush == Z_FINISH) return r;
  // More data than one block: the first ends here, its header already out.
  z.next_in = nullptr;
  z.avail_in = 0;
  r.failure = DeflateWindows(z, Z_FULL_FLUSH, out, put, poll, r);
  if (r.failure != DeflateFailure::kNone) return r;
  InlineBlocks inlineBlocks(state.Raw());
  DeflateRest(level, in, got, primer.get(), z.adler, read, put, poll, blocks ? *blocks : inlineBlocks, r);
  return r;
}

bool DeflatePool::Context::Put(const uint8_t* data, uint32_t size) {
  std::unique_lock<Mutex> lock(pool_->m_);
  pool_->cv_.wait(lock, [&] { return job_->stop || job_->front || pool_->buffered_ + size <= pool_->budget_; });
  if (job_->stop) return false;
  job_->chunks.emplace_back(data, data + size);
  pool_->buffered_ += size;
  pool_->cv_.notify_all();
  return true;
}

bool DeflatePool::Context::Stopped() const {
  std::lock_guard<Mutex> lock(pool_->m_);
  return job_->stop;
}

bool DeflatePool::Context::Reserve(bool wait) {
  DeflatePool& p = *pool_;
  std::unique_lock<Mutex> lock(p.m_);
  auto room = [&] { return p.blocksHeld_ < kBlocksInFlight || job_->front || job_->stop; };
  if (!wait && !room()) return false;
  while (!room()) {
    if (!p.blocks_.empty()) {
      std::shared_ptr<DeflateBlock> other = p.blocks_.front();
      p.blocks_.pop_front();
      p.RunBlock(lock, other, state_->Raw());
    } else {
      p.cv_.wait(lock);
    }
  }
  ++p.blocksHeld_;
  return true;
}

void DeflatePool::Context::Start(const std::shared_ptr<DeflateBlock>& block) {
  {
    std::lock_guard<Mutex> lock(pool_->m_);
    pool_->blocks_.push_back(block);
  }
  pool_->cv_.notify_all();
}

void DeflatePool::Context::Finish(DeflateBlock& block) {
  DeflatePool& p = *pool_;
  std::unique_lock<Mutex> lock(p.m_);
  while (!block.done) {
    // The block itself when no worker has taken it yet, else any other.
    auto it = std::find_if(p.blocks_.begin(), p.blocks_.end(), [&](const auto& b) { return b.get() == &block; });
    if (it == p.blocks_.end()) it = p.blocks_.begin();
    if (it != p.blocks_.end()) {
      std::shared_ptr<DeflateBlock> next = *it;
      p.blocks_.erase(it);
      p.RunBlock(lock, next, state_->Raw());
    } else {
      p.cv_.wait(lock);
    }
  }
  --p.blocksHeld_;
  p.cv_.notify_all();
}

void DeflatePool::Context::Release() {
  {
    std::lock_guard<Mutex> lock(pool_->m_);
    --pool_->blocksHeld_;
  }
  pool_->cv_.notify_all();
}

void DeflatePool::RunBlock(std::unique_lock<Mutex>& lock, const std::shared_ptr<DeflateBlock>& block,
                           DeflateState& raw) {
  lock.unlock();
  const bool ran = failure_.Run([&] { CompressBlock(raw, *block); });
  lock.lock();
  if (!ran) block->failure = DeflateFailure::kStopped;
  block->done = true;
  cv_.notify_all();
}

DeflatePool::DeflatePool(unsigned workers, size_t budget) : budget_(budget) {
  workers = std::max(1u, workers);
  for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

DeflatePool::~DeflatePool() {
  {
    std::lock_guard<Mutex> lock(m_);
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
    std::lock_guard<Mutex> lock(m_);
    queue_.push_back(job);
    ++pending_;
  }
  cv_.notify_all();
  return job;
}

void DeflatePool::Work() {
  DeflateState state;
  std::unique_ptr<uint8_t[]> in(new uint8_t[kDeflateChunk]), out(new uint8_t[kDeflateChunk]);
  std::unique_lock<Mutex> lock(m_);
  for (;;) {
    cv_.wait(lock, [&] { return stopping_ || !queue_.empty() || !blocks_.empty(); });
    if (stopping_) return;
    if (!blocks_.empty()) {
      std::shared_ptr<DeflateBlock> block = blocks_.front();
      blocks_.pop_front();
      RunBlock(lock, block, state.Raw());
      continue;
    }
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
    if (!job->stop) failure_.Run([&] { job->task(ctx); });
    lock.lock();
    job->task = nullptr;  // what it holds goes now, on this thread
    job->done = true;
    running_.erase(std::find(running_.begin(), running_.end(), job));
    cv_.notify_all();
  }
}

bool DeflatePool::Drain(Job& job, const std::function<bool(const uint8_t*, uint32_t)>& sink,
                        const std::function<void()>& idle) {
  std::unique_lock<Mutex> lock(m_);
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
  lock.unlock();
  failure_.Rethrow();
  return ok;
}

void DeflatePool::Discard(Job& job) {
  {
    std::lock_guard<Mutex> lock(m_);
    job.stop = true;
  }
  Drain(job, [](const uint8_t*, uint32_t) { return true; });
}

bool DeflatePool::Done(const Job& job) const {
  std::lock_guard<Mutex> lock(m_);
  return job.done;
}

size_t DeflatePool::Pending() const {
  std::lock_guard<Mutex> lock(m_);
  return pending_;
}

}  // namespace orva
