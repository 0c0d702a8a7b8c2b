// Inflating stored file data, on the restore's own thread or ahead of it.
// One function turns a stored stream into output windows whoever calls it,
// so a restore that inflates on worker threads writes the same bytes and
// meets the same errors as one that inflates as it writes.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/file_stream.h"
#include "core/sync.h"

namespace orva {

constexpr uint32_t kInflateBlock = 65536;

// kTruncated: the stored bytes ran out before the stream ended; kLeftOver:
// the stream ended before its stored bytes did.
enum class InflateFailure { kNone, kInit, kStream, kData, kWrite, kTruncated, kLeftOver, kStopped };

struct InflateOutcome {
  InflateFailure failure = InflateFailure::kNone;
  // The input block in work when it failed was a whole block of 65,536 bytes.
  bool wholeBlock = false;
};

// Reads up to size bytes of the stored stream, fewer only at its end.
using InflateReadFn = std::function<size_t(uint8_t* buffer, uint32_t size)>;
// Takes output produced from a whole (or the last, shorter) input block;
// false stops the stream (kWrite).
using InflatePutFn = std::function<bool(const uint8_t* data, uint32_t size, bool wholeBlock)>;
// Called before each input block; false stops the stream (kStopped).
using InflatePollFn = std::function<bool()>;

// Inflates length stored bytes read in blocks of 65,536 into output windows
// of 65,536; in and out hold kInflateBlock bytes each. Ends at the stream's
// end, at the first error, or when the stored bytes run out first
// (kTruncated). A stream must end exactly with its stored bytes: one that
// ends before them is another stream than the one stored (kLeftOver).
InflateOutcome InflateData(int64_t length, uint8_t* in, uint8_t* out, const InflateReadFn& read,
                           const InflatePutFn& put, const InflatePollFn& poll);

// Reads of an image file at given offsets, from any thread, without moving
// the stream the restore reads its table through.
class PositionalReader {
 public:
  virtual ~PositionalReader() = default;
  // Up to size bytes at offset; fewer only at the file's end or on failure.
  virtual size_t ReadAt(int64_t offset, void* buffer, uint32_t size) = 0;
};
// Null when the system gives no second way into the stream's file.
std::unique_ptr<PositionalReader> OpenPositionalReader(FileStream& stream);

// Files' data inflated on worker threads ahead of the writer, in the order
// they were started, the output held within a memory budget. A thread is
// woken only when something waits for it: under Wine every wake is a trip
// to the server.
class InflateAhead {
 public:
  struct Job;
  using Ticket = std::shared_ptr<Job>;

  // workers: at least 1; budget: bytes of output held at most (the file the
  // writer takes may pass it by one window).
  InflateAhead(unsigned workers, size_t budget);
  ~InflateAhead();  // stops every file still in work and joins the workers
  InflateAhead(const InflateAhead&) = delete;
  InflateAhead& operator=(const InflateAhead&) = delete;

  // Queues inflating length bytes at offset through reader; Go sets the
  // idle workers on what was queued (one wake for many files). paused, when
  // set, is asked between input blocks and holds the worker while it
  // returns true.
  Ticket Start(PositionalReader& reader, int64_t offset, int64_t length, std::function<bool()> paused);
  void Go();
  // Hands the file's output to write in order until its stream ended or
  // failed; idle is called about every 100 ms while the writer waits. A
  // write that returns false stops the file: the outcome is kWrite with the
  // whole-block flag of the output it refused. Files are taken (or
  // dropped) in the order they were started. What a worker threw is thrown
  // by the next Take or Drop, once its file is done with.
  InflateOutcome Take(Ticket& ticket, const std::function<bool(const uint8_t*, uint32_t)>& write,
                      const std::function<void()>& idle);
  // Stops a file's work and drops its output.
  void Drop(Ticket& ticket);
  // Files started and not yet taken or dropped.
  size_t Pending() const;
  unsigned Workers() const { return static_cast<unsigned>(threads_.size()); }

 private:
  void Work();
  void Run(Job& job, uint8_t* in, uint8_t* out);
  bool Put(Job& job, const uint8_t* data, uint32_t size, bool wholeBlock);
  void WakeBudgetWaiters();

  mutable Mutex m_;
  CondVar workCv_, writerCv_, budgetCv_;
  std::deque<Ticket> queue_;  // not yet started
  std::vector<Job*> running_;
  Job* front_ = nullptr;  // the file the writer takes now
  size_t idle_ = 0, budgetWaiters_ = 0, buffered_ = 0, pending_ = 0;
  const size_t budget_;
  bool stopping_ = false;
  WorkerFailure failure_;
  std::vector<std::thread> threads_;
};

}  // namespace orva
