// Compression of many files at once. Each file's data becomes one zlib
// stream made by DeflateStream; a pool of worker threads makes the streams
// into memory while one writer takes them in the order the files were
// given, so the bytes written are those of one file after the other. The
// blocks of a large file are compressed side by side as well.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <zlib.h>

#include "core/sync.h"

namespace orva {

constexpr uint32_t kDeflateChunk = 65536;
// A file with more data than one block: its stream is made of blocks of
// this size, each primed with the last kDeflateWindow bytes of the one
// before and ended with a full flush (the last with the stream's end), so
// that they can be compressed apart and joined.
constexpr uint32_t kDeflateBlock = 1u << 20;
constexpr uint32_t kDeflateWindow = 32768;

enum class DeflateFailure { kNone, kOpen, kDeflateInit, kRead, kDeflate, kWrite, kAvailIn, kStopped };

struct DeflateOutcome {
  DeflateFailure failure = DeflateFailure::kNone;
  uint32_t error = 0;      // the system error of a failed open, read or write
  int64_t compressed = 0;  // bytes handed on
};

// One deflate state, kept from file to file (a reset is far cheaper than a
// new state per small file).
class DeflateState {
 public:
  // raw: deflate data without the zlib header and trailer (the blocks).
  explicit DeflateState(bool raw = false) : raw_(raw) {}
  DeflateState(const DeflateState&) = delete;
  DeflateState& operator=(const DeflateState&) = delete;
  ~DeflateState();
  // Ready for a new stream at level; false when zlib refused.
  bool Start(int level);
  z_stream& z() { return z_; }
  // A raw state of the same thread, made when first asked for.
  DeflateState& Raw();

 private:
  z_stream z_{};
  int level_ = -1;  // the level the state was made for
  const bool raw_;
  std::unique_ptr<DeflateState> rawState_;
};

// Reads up to kDeflateChunk bytes, fewer only at the end of the data; false
// when the read failed (error set).
using DeflateReadFn = std::function<bool(uint8_t* buffer, uint32_t& got, uint32_t& error)>;
// Takes bytes of the stream; false when they could not be stored (error set).
using DeflatePutFn = std::function<bool(const uint8_t* data, uint32_t size, uint32_t& error)>;
// Called before each output window; false stops the stream (kStopped).
using DeflatePollFn = std::function<bool()>;

// One block of a large file and what becomes of it.
struct DeflateBlock {
  std::vector<uint8_t> data;  // kDeflateWindow bytes of primer, then the block
  uint32_t primer = 0;        // primer bytes in use
  uint32_t size = 0;
  bool last = false;
  int level = 0;
  const DeflatePollFn* poll = nullptr;  // asked once before the block is compressed
  std::vector<uint8_t> out;             // raw deflate data
  uLong adler = 0;                      // of the block's own bytes
  DeflateFailure failure = DeflateFailure::kNone;
  bool done = false;  // kept by a pool
};

// Compresses a block with a raw state.
void CompressBlock(DeflateState& raw, DeflateBlock& block);

// Where the blocks of a large file are compressed; without one,
// DeflateStream compresses them in turn itself.
class DeflateBlocks {
 public:
  virtual ~DeflateBlocks() = default;
  // Room for one more block of the stream: wait says the stream holds none
  // and may wait for it; without wait, false when there is none now.
  virtual bool Reserve(bool wait) = 0;
  // Begins compressing a block (its room reserved).
  virtual void Start(const std::shared_ptr<DeflateBlock>& block) = 0;
  // Waits until a started block is compressed and frees its room.
  virtual void Finish(DeflateBlock& block) = 0;
  // Frees room reserved for a block that was not started.
  virtual void Release() = 0;
};
// Blocks of one stream held at once, at most.
constexpr size_t kBlocksPerStream = 8;

// The data of one file as one zlib stream at level: reads of 65,536 bytes,
// finish with the first shorter read (an empty one included), output in
// windows of 65,536 bytes. Above level 0, once more than kDeflateBlock
// bytes were read, the first block is ended with a full flush and the rest
// of the data goes in blocks, compressed by blocks (without it here, in
// turn) and joined in order, the Adler-32 of the whole data last. The bytes
// depend on the data and the level only. in and out are kDeflateChunk bytes
// each.
DeflateOutcome DeflateStream(DeflateState& state, int level, uint8_t* in, uint8_t* out, const DeflateReadFn& read,
                             const DeflatePutFn& put, const DeflatePollFn& poll, DeflateBlocks* blocks = nullptr);

// Worker threads running tasks in the order given; what a task produces is
// held in memory (within a budget shared by all tasks) until the writer
// takes it with Drain, in the same order.
class DeflatePool {
 public:
  class Job;
  // What a task sees of its job; its large files' blocks go to the pool's
  // workers, ahead of further jobs.
  class Context : public DeflateBlocks {
   public:
    // Appends output; waits while the pool's budget is spent, unless this
    // is the job the writer waits for. False when the job was stopped.
    bool Put(const uint8_t* data, uint32_t size);
    bool Stopped() const;
    DeflateState& State() { return *state_; }
    uint8_t* In() { return in_; }
    uint8_t* Out() { return out_; }
    // At most kBlocksInFlight blocks of all jobs are held, and the job the
    // writer waits for may hold kBlocksPerStream beyond them. A task that
    // waits runs blocks itself.
    bool Reserve(bool wait) override;
    void Start(const std::shared_ptr<DeflateBlock>& block) override;
    void Finish(DeflateBlock& block) override;
    void Release() override;

   private:
    friend class DeflatePool;
    DeflatePool* pool_ = nullptr;
    Job* job_ = nullptr;
    DeflateState* state_ = nullptr;
    uint8_t* in_ = nullptr;
    uint8_t* out_ = nullptr;
  };
  using Task = std::function<void(Context&)>;

  // workers: at least 1; budget: bytes of output held at most (the job the
  // writer waits for may pass it by one window).
  DeflatePool(unsigned workers, size_t budget);
  ~DeflatePool();  // stops every job and joins the workers
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  std::shared_ptr<Job> Submit(Task task);
  // Hands the job's output to sink as it comes until the job has ended;
  // idle is called about every 100 ms while there is nothing to hand. A
  // sink that returns false stops the job; Drain then waits for its end and
  // returns false. Jobs are drained in the order they were submitted. What
  // a task or a block threw on a worker is thrown here, once the job ended.
  bool Drain(Job& job, const std::function<bool(const uint8_t*, uint32_t)>& sink,
             const std::function<void()>& idle = nullptr);
  // Tells a job to stop and waits for its end; its output is dropped.
  void Discard(Job& job);
  // The job's task has ended (its output may still wait for Drain).
  bool Done(const Job& job) const;
  // Submitted jobs not yet drained.
  size_t Pending() const;
  unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }

  // One worker per core, at most 8.
  static unsigned DefaultWorkers();
  static constexpr size_t kBlocksInFlight = 8;

  class Job {
   private:
    friend class DeflatePool;
    Task task;
    std::deque<std::vector<uint8_t>> chunks;
    bool started = false, done = false, stop = false, front = false;
  };

 private:
  void Work();
  // Runs a queued block (the lock held, released meanwhile).
  void RunBlock(std::unique_lock<Mutex>& lock, const std::shared_ptr<DeflateBlock>& block, DeflateState& raw);

  mutable Mutex m_;
  CondVar cv_;
  std::deque<std::shared_ptr<Job>> queue_;            // not yet started
  std::deque<std::shared_ptr<DeflateBlock>> blocks_;  // not yet started, taken before jobs
  size_t blocksHeld_ = 0;
  size_t pending_ = 0;
  size_t buffered_ = 0;
  const size_t budget_;
  bool stopping_ = false;
  std::vector<std::shared_ptr<Job>> running_;
  WorkerFailure failure_;
  std::vector<std::thread> threads_;
};

}  // namespace orva
