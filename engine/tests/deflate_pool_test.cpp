#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/deflate_pool.h"

using namespace orva;

namespace {

// A file of the test tree: its bytes, and where a read of it fails (-1: never).
struct SourceFile {
  std::vector<uint8_t> data;
  int64_t failAt = -1;
};

// Reads a file in the pieces the capture asks for, failing where it should.
class Reader {
 public:
  explicit Reader(const SourceFile& f) : f_(f) {}
  bool operator()(uint8_t* buffer, uint32_t& got, uint32_t& error) {
    const size_t left = f_.data.size() - at_;
    got = static_cast<uint32_t>(std::min<size_t>(left, kDeflateChunk));
    if (f_.failAt >= 0 && static_cast<int64_t>(at_ + got) > f_.failAt) {
      got = 0;
      error = 23;
      return false;
    }
    if (got) std::memcpy(buffer, f_.data.data() + at_, got);
    at_ += got;
    return true;
  }

 private:
  const SourceFile& f_;
  size_t at_ = 0;
};

std::vector<uint8_t> Content(std::mt19937& rnd, size_t size) {
  static const char text[] = "etaoin shrdlu cmfwyp vbgkqj xz\n";
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i)
    v[i] = i < size / 2 ? static_cast<uint8_t>(rnd()) : static_cast<uint8_t>(text[rnd() % (sizeof text - 1)]);
  return v;
}

std::vector<SourceFile> Tree() {
  std::mt19937 rnd(7);
  std::vector<SourceFile> tree;
  for (size_t size : {size_t{0}, size_t{1}, size_t{100}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{3 * 65536},
                      size_t{1 << 20}, size_t{5000}})
    tree.push_back({Content(rnd, size)});
  for (int i = 0; i < 200; ++i) tree.push_back({Content(rnd, rnd() % 20000)});
  tree.push_back({Content(rnd, 300000), 200000});  // fails in its fourth read
  tree.push_back({Content(rnd, 1000), 0});         // fails at once
  tree.push_back({Content(rnd, 3 << 20)});
  // Around one block, several blocks, and a read failing in the third.
  const size_t block = kDeflateBlock;
  for (size_t size : {block - 1, block + 1, block + kDeflateChunk, 3 * block + 12345})
    tree.push_back({Content(rnd, size)});
  tree.push_back({Content(rnd, 4 * block), static_cast<int64_t>(2 * block + block / 2)});
  return tree;
}

// What a writer makes of the tree: each file's outcome and, when it
// succeeded, its stream; a failed file leaves no bytes.
struct Image {
  std::vector<uint8_t> bytes;
  std::vector<int> failures;
  std::vector<int64_t> lengths;
  bool operator==(const Image& o) const { return bytes == o.bytes && failures == o.failures && lengths == o.lengths; }
};

Image Serial(const std::vector<SourceFile>& tree, int level) {
  Image image;
  DeflateState state;
  std::vector<uint8_t> in(kDeflateChunk), out(kDeflateChunk);
  for (const auto& f : tree) {
    Reader read(f);
    const size_t mark = image.bytes.size();
    DeflateOutcome r = DeflateStream(
        state, level, in.data(), out.data(), std::ref(read),
        [&](const uint8_t* d, uint32_t n, uint32_t&) {
          image.bytes.insert(image.bytes.end(), d, d + n);
          return true;
        },
        nullptr);
    if (r.failure != DeflateFailure::kNone) image.bytes.resize(mark);
    image.failures.push_back(static_cast<int>(r.failure));
    image.lengths.push_back(r.compressed);
  }
  return image;
}

// The same through the pool, the writer taking the jobs in order while at
// most window of them are out.
Image Parallel(const std::vector<SourceFile>& tree, int level, unsigned workers, size_t budget, size_t window) {
  Image image;
  DeflatePool pool(workers, budget);
  struct Pending {
    std::shared_ptr<DeflatePool::Job> job;
    std::shared_ptr<DeflateOutcome> outcome;
  };
  std::vector<Pending> pending;
  auto drainFront = [&] {
    Pending p = pending.front();
    pending.erase(pending.begin());
    const size_t mark = image.bytes.size();
    pool.Drain(*p.job, [&](const uint8_t* d, uint32_t n) {
      image.bytes.insert(image.bytes.end(), d, d + n);
      return true;
    });
    if (p.outcome->failure != DeflateFailure::kNone) image.bytes.resize(mark);
    image.failures.push_back(static_cast<int>(p.outcome->failure));
    image.lengths.push_back(p.outcome->compressed);
  };
  for (size_t i = 0; i < tree.size(); ++i) {
    auto outcome = std::make_shared<DeflateOutcome>();
    const SourceFile* file = &tree[i];
    auto job = pool.Submit([file, outcome, level](DeflatePool::Context& ctx) {
      Reader read(*file);
      *outcome = DeflateStream(
          ctx.State(), level, ctx.In(), ctx.Out(), std::ref(read),
          [&](const uint8_t* d, uint32_t n, uint32_t&) { return ctx.Put(d, n); }, nullptr, &ctx);
    });
    pending.push_back({job, outcome});
    if (pending.size() >= window) drainFront();
  }
  while (!pending.empty()) drainFront();
  return image;
}

TEST(DeflatePool, OneWorkerAndEightGiveTheSerialBytes) {
  const auto tree = Tree();
  for (int level : {0, 1, 9}) {
    SCOPED_TRACE(level);
    const Image serial = Serial(tree, level);
    EXPECT_EQ(Parallel(tree, level, 1, 32 << 20, 16), serial);
    EXPECT_EQ(Parallel(tree, level, 2, 32 << 20, 16), serial);
    EXPECT_EQ(Parallel(tree, level, 8, 32 << 20, 32), serial);
    // A budget smaller than one file: the writer's job goes on alone.
    EXPECT_EQ(Parallel(tree, level, 8, 100000, 64), serial);
  }
}

TEST(DeflatePool, StreamsInflateToTheDataAndFailuresKeepTheirCause) {
  const auto tree = Tree();
  DeflateState state;
  std::vector<uint8_t> in(kDeflateChunk), out(kDeflateChunk);
  for (const auto& f : tree) {
    Reader read(f);
    std::vector<uint8_t> stream;
    DeflateOutcome r = DeflateStream(
        state, 1, in.data(), out.data(), std::ref(read),
        [&](const uint8_t* d, uint32_t n, uint32_t&) {
          stream.insert(stream.end(), d, d + n);
          return true;
        },
        nullptr);
    EXPECT_EQ(r.compressed, static_cast<int64_t>(stream.size()));
    if (f.failAt >= 0) {
      EXPECT_EQ(r.failure, DeflateFailure::kRead);
      EXPECT_EQ(r.error, 23u);
      continue;
    }
    ASSERT_EQ(r.failure, DeflateFailure::kNone);
    std::vector<uint8_t> back(f.data.size() + 1);
    uLongf size = static_cast<uLongf>(back.size());
    ASSERT_EQ(uncompress(back.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    back.resize(size);
    EXPECT_EQ(back, f.data);
  }
}

// A stream of blocks opens with the header deflateInit writes at its level
// and inflates back to the data at every level.
TEST(DeflatePool, BlocksMakeOneStreamAtEveryLevel) {
  std::mt19937 rnd(11);
  const SourceFile large{Content(rnd, 2 * kDeflateBlock + 100)};
  DeflateState state;
  std::vector<uint8_t> in(kDeflateChunk), out(kDeflateChunk);
  for (int level = 0; level <= 9; ++level) {
    SCOPED_TRACE(level);
    Reader read(large);
    std::vector<uint8_t> stream;
    DeflateOutcome r = DeflateStream(
        state, level, in.data(), out.data(), std::ref(read),
        [&](const uint8_t* d, uint32_t n, uint32_t&) {
          stream.insert(stream.end(), d, d + n);
          return true;
        },
        nullptr);
    ASSERT_EQ(r.failure, DeflateFailure::kNone);
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, level), Z_OK);
    uint8_t header[8];
    z.next_out = header;
    z.avail_out = sizeof header;
    deflate(&z, Z_FULL_FLUSH);
    deflateEnd(&z);
    EXPECT_EQ(stream[0], header[0]);
    EXPECT_EQ(stream[1], header[1]);
    std::vector<uint8_t> back(large.data.size());
    uLongf size = static_cast<uLongf>(back.size());
    ASSERT_EQ(uncompress(back.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    EXPECT_TRUE(back == large.data);
  }
}

TEST(DeflatePool, StoppedByPollOrByItsWriter) {
  std::mt19937 rnd(3);
  SourceFile big{Content(rnd, 1 << 20)};
  DeflateState state;
  std::vector<uint8_t> in(kDeflateChunk), out(kDeflateChunk);
  int polls = 0;
  Reader read(big);
  DeflateOutcome r = DeflateStream(
      state, 0, in.data(), out.data(), std::ref(read), [](const uint8_t*, uint32_t, uint32_t&) { return true; },
      [&] { return ++polls < 3; });
  EXPECT_EQ(r.failure, DeflateFailure::kStopped);
  EXPECT_EQ(polls, 3);

  // A large file stops in its blocks too, alone and in a pool.
  SourceFile large{Content(rnd, 6 * kDeflateBlock)};
  for (unsigned workers : {0u, 4u}) {
    SCOPED_TRACE(workers);
    std::atomic<int> calls{0};
    DeflatePollFn stopLater = [&] { return ++calls < 80; };
    Reader rd(large);
    auto sink = [](const uint8_t*, uint32_t, uint32_t&) { return true; };
    DeflateOutcome o;
    if (!workers) {
      o = DeflateStream(state, 1, in.data(), out.data(), std::ref(rd), sink, stopLater);
    } else {
      DeflatePool pool(workers, 1 << 20);
      auto job = pool.Submit([&](DeflatePool::Context& ctx) {
        o = DeflateStream(ctx.State(), 1, ctx.In(), ctx.Out(), std::ref(rd), sink, stopLater, &ctx);
      });
      pool.Drain(*job, [](const uint8_t*, uint32_t) { return true; });
    }
    EXPECT_EQ(o.failure, DeflateFailure::kStopped);
    EXPECT_GE(calls.load(), 80);
  }

  // A writer that refuses the first job's bytes stops it; the next job is whole.
  DeflatePool pool(2, 1 << 20);
  auto first = std::make_shared<DeflateOutcome>(), second = std::make_shared<DeflateOutcome>();
  SourceFile small{Content(rnd, 1000)};
  // The first job waits after its first chunk until the writer has refused
  // it, so that it is stopped midway and not finished before the refusal.
  auto submit = [&](const SourceFile* f, std::shared_ptr<DeflateOutcome> o, bool waitForRefusal) {
    return pool.Submit([f, o, waitForRefusal](DeflatePool::Context& ctx) {
      Reader rd(*f);
      bool waited = !waitForRefusal;
      *o = DeflateStream(
          ctx.State(), 0, ctx.In(), ctx.Out(), std::ref(rd),
          [&](const uint8_t* d, uint32_t n, uint32_t&) {
            const bool put = ctx.Put(d, n);
            for (int i = 0; put && !waited && !ctx.Stopped() && i < 1000; ++i)
              std::this_thread::sleep_for(std::chrono::milliseconds(10));
            waited = true;
            return put;
          },
          nullptr);
    });
  };
  auto a = submit(&big, first, true);
  auto b = submit(&small, second, false);
  EXPECT_FALSE(pool.Drain(*a, [](const uint8_t*, uint32_t) { return false; }));
  EXPECT_EQ(first->failure, DeflateFailure::kWrite);
  size_t got = 0;
  EXPECT_TRUE(pool.Drain(*b, [&](const uint8_t*, uint32_t n) {
    got += n;
    return true;
  }));
  EXPECT_EQ(second->failure, DeflateFailure::kNone);
  EXPECT_EQ(static_cast<int64_t>(got), second->compressed);
  EXPECT_EQ(pool.Pending(), 0u);
}

}  // namespace
