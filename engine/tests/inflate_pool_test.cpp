#include "core/inflate_pool.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_log.h"
#include "memory_fs.h"
#include "restore_fixture.h"
#include "table_builder.h"
#include "test_util.h"

using namespace orva;
using namespace orva::test;

namespace {

std::string Noise(size_t size, unsigned seed) {
  std::mt19937 rnd(seed);
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 3 ? 'a' + rnd() % 4 : rnd());
  return s;
}

// A stored stream run through InflateData from memory.
struct Inflated {
  InflateOutcome outcome;
  std::string output;
};

Inflated InflateFromMemory(const std::string& stored, int64_t length, size_t refuseAfter = SIZE_MAX) {
  std::vector<uint8_t> in(kInflateBlock), out(kInflateBlock);
  size_t at = 0;
  Inflated r;
  r.outcome = InflateData(
      length, in.data(), out.data(),
      [&](uint8_t* buffer, uint32_t size) {
        const size_t n = std::min<size_t>(size, stored.size() - at);
        std::memcpy(buffer, stored.data() + at, n);
        at += n;
        return n;
      },
      [&](const uint8_t* data, uint32_t size, bool) {
        if (r.output.size() + size > refuseAfter) return false;
        r.output.append(reinterpret_cast<const char*>(data), size);
        return true;
      },
      nullptr);
  return r;
}

// A tree whose files fail in every way the data can: a corrupt stream and a
// cut one among good files, a folder that cannot be made (its files are
// read and dropped), large files of many blocks, empty files, and a table
// that is damaged after its last good entry.
void MixedTable(TableBuilder& t) {
  const std::string big = Noise(300000, 1);
  std::string corrupt = Deflate(big);
  corrupt[corrupt.size() / 2] ^= 0x5a;
  corrupt[corrupt.size() / 2 + 1] ^= 0x5a;
  const std::string good = Deflate(big);
  for (int d = 0; d < 6; ++d) {
    t.Directory(0, L"d" + std::to_wstring(d), 100 + d);
    for (int i = 0; i < 30; ++i) t.File(1, L"f" + std::to_wstring(i), Noise(100 + 997 * i, d * 100 + i), i);
    if (d == 1) t.FileStored(1, L"corrupt", corrupt, big.size());
    if (d == 2) t.FileStored(1, L"cut", good.substr(0, good.size() / 3), big.size());
    if (d == 3) t.File(1, L"big", big);
    if (d == 4) {
      t.Directory(1, L"refused", 7);
      t.File(2, L"inside", Noise(5000, 9));
    }
    t.File(1, L"empty", "");
  }
}

void ExpectSame(const Restored& a, const Restored& b) {
  EXPECT_EQ(a.fs.files, b.fs.files);
  EXPECT_EQ(a.fs.directories, b.fs.directories);
  EXPECT_EQ(a.fs.writeTimes, b.fs.writeTimes);
  EXPECT_EQ(a.fs.timeOrder, b.fs.timeOrder);
  EXPECT_TRUE(a.console == b.console) << std::string(a.console.begin(), a.console.end()) << "\n---\n"
                                      << std::string(b.console.begin(), b.console.end());
  EXPECT_TRUE(a.log == b.log);
  EXPECT_EQ(a.counters.filesProcessed, b.counters.filesProcessed);
  EXPECT_EQ(a.counters.filesSkipped, b.counters.filesSkipped);
  EXPECT_EQ(a.counters.dirsSkipped, b.counters.dirsSkipped);
  EXPECT_EQ(a.skipped, b.skipped);
  EXPECT_EQ(a.result.damaged, b.result.damaged);
  EXPECT_TRUE(a.result.damage == b.result.damage);
}

}  // namespace

TEST(InflateData, OutcomeOfEachKindOfStream) {
  std::mt19937 rnd(3);
  std::string data(300000, '\0');
  for (char& c : data) c = static_cast<char>(rnd());
  const std::string good = Deflate(data);
  ASSERT_GT(good.size(), 2u * kInflateBlock);
  std::string corrupt = good;  // its first block's header
  corrupt[2] ^= 0x55;
  corrupt[3] ^= 0x55;
  struct Case {
    const char* name;
    std::string stored;
    int64_t length;
    InflateFailure failure;
    bool wholeBlock;
  } cases[] = {
      {"whole stream", good, static_cast<int64_t>(good.size()), InflateFailure::kNone, false},
      {"stored bytes end first", good.substr(0, 100000), static_cast<int64_t>(good.size()), InflateFailure::kTruncated,
       true},
      {"length cut short", good, 100000, InflateFailure::kTruncated, false},
      {"corrupt in a whole block", corrupt, static_cast<int64_t>(corrupt.size()), InflateFailure::kData, true},
      {"not a stream", "not a zlib stream", 17, InflateFailure::kData, false},
      {"bytes left after the stream", good + "left", static_cast<int64_t>(good.size()) + 4, InflateFailure::kLeftOver,
       false},
      {"another stream in a whole block", Deflate("ten bytes!") + std::string(kInflateBlock, 'x'), kInflateBlock,
       InflateFailure::kLeftOver, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Inflated r = InflateFromMemory(c.stored, c.length);
    EXPECT_EQ(r.outcome.failure, c.failure);
    EXPECT_EQ(r.outcome.wholeBlock, c.wholeBlock);
    if (c.failure == InflateFailure::kNone) {
      EXPECT_EQ(r.output, data);
    } else if (c.failure == InflateFailure::kTruncated) {
      EXPECT_EQ(data.compare(0, r.output.size(), r.output), 0);
    }
  }
  Inflated refused = InflateFromMemory(good, static_cast<int64_t>(good.size()), 100000);
  EXPECT_EQ(refused.outcome.failure, InflateFailure::kWrite);
  EXPECT_EQ(data.compare(0, refused.output.size(), refused.output), 0);
}

// The walk with no workers, one and several: the same tree, texts, counts
// and lists, in both formats, with a disk that fills up midway or not.
TEST(InflateAhead, SameRestoreWithAnyNumberOfWorkers) {
  const std::pair<const char*, Prepare> disks[] = {
      {"room", [](MemoryFileSystem& fs) { fs.failDirectories.insert(kTarget + L"\\d4\\refused"); }},
      {"disk fills",
       [](MemoryFileSystem& fs) {
         fs.failDirectories.insert(kTarget + L"\\d4\\refused");
         fs.diskLeft = 1500000;
       }},
  };
  for (int32_t version : {4000, 3000}) {
    for (const auto& [disk, prepare] : disks) {
      SCOPED_TRACE(std::to_string(version) + " " + disk);
      Restored serial = Restore(MixedTable, prepare, version, 0);
      if (disk == std::string("room")) {
        EXPECT_EQ(serial.counters.filesSkipped, 2);  // corrupt and cut
      }
      EXPECT_GT(serial.counters.filesProcessed, 50);
      for (unsigned workers : {1u, 4u}) {
        SCOPED_TRACE(workers);
        ExpectSame(serial, Restore(MixedTable, prepare, version, workers));
      }
    }
  }
}

// Pause holds the walk and its workers until resumed; a cancel ends the run
// through the end hook wherever the walk stands, and the workers stop.
TEST(InflateAhead, PauseAndCancel) {
  static int32_t control;
  static int sleeps;
  struct Cancelled {};
  Progress().control = &control;
  Progress().sharing = true;
  auto* oldSleep = g_sleepMilliseconds;
  auto* oldEnd = g_endProcess;
  g_sleepMilliseconds = [](int) {
    if (++sleeps == 3) control = kControlRun;
  };
  g_endProcess = [](int) { throw Cancelled(); };

  control = kControlPause;
  sleeps = 0;
  Restored paused = Restore(MixedTable, nullptr, 4000, 4);
  EXPECT_EQ(sleeps, 3);
  Restored plain = Restore(MixedTable, nullptr, 4000, 0);
  EXPECT_EQ(paused.fs.files, plain.fs.files);
  for (const wchar_t* text :
       {L"The user has temporarily stopped the imaging process.", L"The user resumed the imaging process."}) {
    const size_t at = paused.console.find(text);
    EXPECT_NE(at, std::wstring::npos);
    EXPECT_EQ(paused.console.find(text, at + 1), std::wstring::npos);
  }

  // Cancel once some files are written: within the first folder, and inside
  // the large file's data.
  for (size_t writes : {5u, 60u}) {
    SCOPED_TRACE(writes);
    struct CancellingFs : MemoryFileSystem {
      size_t left = 0;
      int32_t Write(const void* data, uint32_t size) override {
        if (left && --left == 0) control = kControlCancel;
        return MemoryFileSystem::Write(data, size);
      }
    };
    control = kControlRun;
    TempFile hf("ip_cancel_h"), bf("ip_cancel_b");
    FileStream h, b;
    h.Open(hf.Path(), L"w+b");
    b.Open(bf.Path(), L"w+b");
    TableBuilder t(h, b);
    MixedTable(t);
    const int64_t end = h.GetPosition();
    h.SeekToBegin();
    b.SeekToBegin();
    CancellingFs fs;
    fs.left = writes;
    fs.failDirectories.insert(kTarget + L"\\d4\\refused");
    CaptureOutput out;
    EXPECT_THROW(RestoreImageV4(ChainStreams{}, h, b, end, kTarget, fs, 4), Cancelled);
    EXPECT_NE(out.console.find(L"The user has canceled the imaging process."), std::wstring::npos);
    EXPECT_LT(fs.files.size(), plain.fs.files.size());
  }
  g_sleepMilliseconds = oldSleep;
  g_endProcess = oldEnd;
  Progress().control = nullptr;
  Progress().sharing = false;
}

// The workers' reads go through a second way into the image: at any offset,
// from any thread, never moving the stream the walk reads.
TEST(PositionalReader, ReadsAtOffsetsAndLeavesTheStreamWhereItWas) {
  TempFile f("ip_reader");
  f.Write(std::vector<uint8_t>{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"rb"));
  char head[3];
  ASSERT_EQ(s.Read(head, 3), 3u);
  auto reader = OpenPositionalReader(s);
  ASSERT_TRUE(reader);
  char buffer[8] = {};
  EXPECT_EQ(reader->ReadAt(5, buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "567");
  EXPECT_EQ(reader->ReadAt(8, buffer, 8), 2u);  // fewer at the end
  EXPECT_EQ(std::string(buffer, 2), "89");
  EXPECT_EQ(reader->ReadAt(10, buffer, 8), 0u);
  EXPECT_EQ(s.GetPosition(), 3);
  ASSERT_EQ(s.Read(head, 3), 3u);
  EXPECT_EQ(std::string(head, 3), "345");
  s.Close();
}
