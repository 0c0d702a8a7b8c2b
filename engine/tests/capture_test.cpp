// The walker's files are compressed by a pool of workers: one worker and
// eight must give the same image, texts and counts.
#include <windows.h>

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/run_settings.h"
#include "test_util.h"
#include "win/capture.h"

using namespace orva;
using orva::test::CaptureOutput;
using orva::test::TempFile;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, size_t size, std::mt19937& rnd) {
  std::vector<uint8_t> data(size);
  static const char text[] = "the quick brown fox jumps over the lazy dog\n";
  for (size_t i = 0; i < size; ++i)
    data[i] = (i / 4096) % 2 ? static_cast<uint8_t>(rnd()) : static_cast<uint8_t>(text[i % (sizeof text - 1)]);
  FileStream f;
  ASSERT_TRUE(f.Open(path.wstring(), L"w+b"));
  if (size) f.Write(data.data(), static_cast<uint32_t>(size));
  f.Close();
}

// More than two blocks of data.
constexpr size_t kLargeSize = (5u << 20) / 2 + 777;

// Folders of small files, empty and large files, files of exact multiples
// of the read size, a file with two names and an excluded one.
struct Tree {
  fs::path root = fs::temp_directory_path() / "orva_pipeline_tree";
  Tree() {
    std::error_code ec;
    fs::remove_all(root, ec);
    std::mt19937 rnd(5);
    for (int d = 0; d < 6; ++d) {
      const fs::path dir = root / std::string("dir").append(std::to_string(d)) / "inner";
      fs::create_directories(dir);
      for (int i = 0; i < 40; ++i) WriteFile(dir / std::string("f").append(std::to_string(i)).append(".txt"), rnd() % 9000, rnd);
    }
    fs::create_directories(root / "empty");
    fs::create_directories(root / "large");
    for (size_t size :
         {size_t{0}, size_t{65536}, size_t{131072}, size_t{65537}, size_t{3u << 20}, size_t{1u << 20}, kLargeSize})
      WriteFile(root / "large" / std::string("l").append(std::to_string(size)).append(".bin"), size, rnd);
    WriteFile(root / "first.dat", 70000, rnd);
    CreateHardLinkW((root / "dir0" / "second.dat").wstring().c_str(), (root / "first.dat").wstring().c_str(), nullptr);
    WriteFile(root / "dir1" / "skip.me", 100, rnd);
  }
  ~Tree() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

struct Capture {
  std::vector<uint8_t> header, body;
  std::wstring console;
  RunCounters counters;
};

Capture Walk(const Tree& tree, int level, unsigned workers) {
  Counters() = RunCounters();
  Lists().Clear();
  ClearHardLinks();
  Settings().compressionLevel = level;
  Settings().exclusions = {L"\\dir1\\skip.me"};
  ResetProgress(0);
  BuildProgressThresholds();
  TempFile header("pipeline_header"), body("pipeline_body");
  Capture c;
  {
    CaptureOutput out;
    FileStream h, b;
    EXPECT_TRUE(h.Open(header.Path(), L"w+b"));
    EXPECT_TRUE(b.Open(body.Path(), L"w+b"));
    WalkOptions o = WalkOptionsFor(4000);
    o.workers = workers;
    WalkTree(0, tree.root.wstring(), L"", h, b, o);
    h.Close();
    b.Close();
    c.console = out.console;
  }
  c.header = header.Bytes();
  c.body = body.Bytes();
  c.counters = Counters();
  Settings().exclusions.clear();
  return c;
}

// A first read moves the files' access times; the walks compared come after it.
void Settle(const Tree& tree) { Walk(tree, 0, 1); }

TEST(CapturePipeline, OneWorkerAndEightWriteTheSameImage) {
  Tree tree;
  Settle(tree);
  for (int level : {0, 1, 9}) {
    SCOPED_TRACE(level);
    const Capture one = Walk(tree, level, 1);
    const Capture eight = Walk(tree, level, 8);
    EXPECT_EQ(one.counters.filesProcessed, 6 * 40 + 7 + 1);
    EXPECT_EQ(one.counters.hardLinksProcessed, 1);
    EXPECT_EQ(one.counters.filesIntended, 1);
    EXPECT_GT(one.body.size(), 100000u);
    EXPECT_TRUE(one.header == eight.header);
    EXPECT_TRUE(one.body == eight.body);
    EXPECT_EQ(one.console, eight.console);
    EXPECT_EQ(std::memcmp(&one.counters, &eight.counters, sizeof(RunCounters)), 0);
  }
}

// A file another program holds without sharing fails to open in its turn:
// the same text, no entry, and every other file still in walk order.
TEST(CapturePipeline, AFileThatCannotBeOpenedFailsInItsTurn) {
  Tree tree;
  const fs::path locked = tree.root / "dir2" / "inner" / "f3.txt";
  HANDLE hold = CreateFileW(locked.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  Settle(tree);
  const Capture one = Walk(tree, 1, 1);
  const Capture eight = Walk(tree, 1, 8);
  CloseHandle(hold);
  EXPECT_EQ(one.counters.filesSkipped, 1);
  EXPECT_NE(one.console.find(L"  Failed to open \"" + locked.wstring() + L"\". (Error code : 32,"), std::wstring::npos)
      << one.console;
  EXPECT_TRUE(one.header == eight.header);
  EXPECT_TRUE(one.body == eight.body);
  EXPECT_EQ(one.console, eight.console);
}

// A large file is compressed in blocks by the workers; the single-entry
// archiver makes the same stream of it, and it inflates to the file.
TEST(CapturePipeline, ALargeFileIsOneStreamWhoeverMakesIt) {
  Tree tree;
  Settle(tree);
  const Capture eight = Walk(tree, 1, 8);
  const fs::path large = tree.root / "large" / std::string("l").append(std::to_string(kLargeSize)).append(".bin");
  TempFile header("pipeline_header"), body("pipeline_body");
  {
    CaptureOutput out;
    FileStream h, b;
    ASSERT_TRUE(h.Open(header.Path(), L"w+b"));
    ASSERT_TRUE(b.Open(body.Path(), L"w+b"));
    EXPECT_EQ(ArchiveFileEntry(0, L"\\large\\l.bin", large.wstring(), h, b), 0);
    h.Close();
    b.Close();
  }
  const std::vector<uint8_t> stream = body.Bytes();
  ASSERT_GT(stream.size(), 1000u);
  EXPECT_NE(std::search(eight.body.begin(), eight.body.end(), stream.begin(), stream.end()), eight.body.end());
  std::vector<uint8_t> back(kLargeSize);
  uLongf size = static_cast<uLongf>(back.size());
  ASSERT_EQ(uncompress(back.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
  FileStream f;
  ASSERT_TRUE(f.Open(large.wstring(), L"rb"));
  std::vector<uint8_t> data(kLargeSize);
  f.Read(data.data(), static_cast<uint32_t>(data.size()));
  f.Close();
  EXPECT_TRUE(back == data);
}

}  // namespace
