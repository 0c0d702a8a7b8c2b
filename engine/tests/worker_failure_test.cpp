// What a worker thread cannot handle (a failed allocation, an exception out
// of a callback) ends the run as a failure on the run's own thread does:
// the fatal verdict, the work files removed; never the process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/deflate_pool.h"
#include "core/inflate_pool.h"
#include "core/run_guard.h"
#include "core/run_log.h"
#include "table_builder.h"
#include "test_util.h"
#include "walk_fixture.h"

using namespace orva;
using namespace orva::test;

namespace {

std::vector<uint8_t> Data(size_t size) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  return v;
}

// Stored streams one after the other; reads at or beyond failAt throw.
class MemoryReader : public PositionalReader {
 public:
  std::string bytes;
  int64_t failAt = INT64_MAX;
  size_t ReadAt(int64_t offset, void* buffer, uint32_t size) override {
    if (offset + size > failAt) throw std::bad_alloc();
    if (offset >= static_cast<int64_t>(bytes.size())) return 0;
    const size_t n = std::min<size_t>(size, bytes.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, bytes.data() + offset, n);
    return n;
  }
};

// The restore's use of the inflate workers: files started ahead, taken in order.
void InflateAheadFails() {
  MemoryReader reader;
  std::vector<std::pair<int64_t, int64_t>> files;
  for (int i = 0; i < 12; ++i) {
    const std::vector<uint8_t> data = Data(40000 + 10000 * i);
    const std::string stored = Deflate(std::string(data.begin(), data.end()));
    files.push_back({static_cast<int64_t>(reader.bytes.size()), static_cast<int64_t>(stored.size())});
    reader.bytes += stored;
  }
  reader.failAt = files[6].first + 100;  // inside the seventh file
  InflateAhead ahead(3, 1 << 20);
  std::vector<InflateAhead::Ticket> tickets;
  for (const auto& [offset, length] : files) tickets.push_back(ahead.Start(reader, offset, length, nullptr));
  ahead.Go();
  for (auto& ticket : tickets)
    ahead.Take(
        ticket, [](const uint8_t*, uint32_t) { return true; }, nullptr);
}

// The capture's use of the compression workers: one task per file, drained
// in order. A file of several blocks has them compressed by other workers.
void DeflatePoolFails(bool inBlocks) {
  const std::vector<uint8_t> small = Data(70000), large = Data(5 * kDeflateBlock + 1234);
  DeflatePool pool(4, 8 << 20);
  std::vector<std::shared_ptr<DeflatePool::Job>> jobs;
  auto polls = std::make_shared<std::atomic<int>>(0);
  for (int i = 0; i < 10; ++i) {
    const std::vector<uint8_t>* data = inBlocks && i == 3 ? &large : &small;
    const bool failing = i == 3;
    jobs.push_back(pool.Submit([data, failing, inBlocks, polls](DeflatePool::Context& ctx) {
      size_t at = 0;
      auto read = [&](uint8_t* buffer, uint32_t& got, uint32_t&) {
        if (failing && !inBlocks && at > 0) throw std::runtime_error("compression broke down");
        got = static_cast<uint32_t>(std::min<size_t>(kDeflateChunk, data->size() - at));
        std::memcpy(buffer, data->data() + at, got);
        at += got;
        return true;
      };
      // The poll is asked on every thread that works on the stream,
      // once for each block among them.
      const DeflatePollFn poll = [failing, inBlocks, polls] {
        if (failing && inBlocks && ++*polls == 40) throw std::bad_alloc();
        return true;
      };
      DeflateStream(
          ctx.State(), 6, ctx.In(), ctx.Out(), read,
          [&ctx](const uint8_t* d, uint32_t n, uint32_t&) { return ctx.Put(d, n); }, poll, &ctx);
    }));
  }
  for (auto& job : jobs) pool.Drain(*job, [](const uint8_t*, uint32_t) { return true; });
}

}  // namespace

TEST(WorkerFailure, EndsTheRunFatallyWithoutWorkFiles) {
  struct Case {
    const char* what;
    std::function<void()> run;
    const wchar_t* said;
  } cases[] = {
      {"failed allocation of an inflate worker", InflateAheadFails, L"(out of memory)"},
      {"exception of a compression task", [] { DeflatePoolFails(false); }, L"(compression broke down)"},
      {"failed allocation in a block of a large file", [] { DeflatePoolFails(true); }, L"(out of memory)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFile work("worker_work");
    work.Write({1, 2, 3});
    ClearWorkFiles();
    AddWorkFile(work.Path());
    ResetRun();
    CaptureOutput out;
    const bool report = GuardRun([&] {
      c.run();
      return true;
    });
    EXPECT_TRUE(report);
    EXPECT_EQ(Counters().fatalErrors, 1);
    PrintReport(NowLocal());
    EXPECT_NE(out.console.find(std::wstring(L"  SYSTEM Error : The imaging process cannot go on ") + c.said),
              std::wstring::npos)
        << std::string(out.console.begin(), out.console.end());
    EXPECT_NE(out.console.find(L"\nThere were fatal SYSTEM errors in the imaging process.\n"), std::wstring::npos);
    FileStream probe;
    EXPECT_FALSE(probe.Open(work.Path(), L"rb"));
  }
  ClearWorkFiles();
}
