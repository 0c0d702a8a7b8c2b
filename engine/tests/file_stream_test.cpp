#include "core/file_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "test_util.h"

using namespace orva;
using orva::test::TempFile;

static_assert(!std::is_copy_constructible_v<FileStream> && !std::is_copy_assignable_v<FileStream>);
static_assert(std::is_nothrow_move_constructible_v<FileStream> && std::is_nothrow_move_assignable_v<FileStream>);

namespace {
std::string Text(const TempFile& f) {
  const std::vector<uint8_t> b = f.Bytes();
  return std::string(b.begin(), b.end());
}
}  // namespace

// Bytes still in the runtime's buffer reach the disk when the stream goes.
TEST(FileStream, TheDestructorClosesTheFile) {
  TempFile f("stream_close");
  {
    FileStream s;
    ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
    s.SetBuffer(1 << 16);
    ASSERT_TRUE(s.WriteAll("buffered", 8));
  }
  EXPECT_EQ(Text(f), "buffered");
}

// A move hands over the open file, its position and its write state; the
// stream moved from is closed, and one assigned to closes its own file first.
TEST(FileStream, MovesHandOverTheOpenFile) {
  TempFile first("stream_first"), second("stream_second");
  FileStream a;
  ASSERT_TRUE(a.Open(first.Path(), L"w+b"));
  ASSERT_TRUE(a.WriteAll("abc", 3));
  FileStream b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  ASSERT_TRUE(b.IsOpen());
  EXPECT_EQ(b.GetPosition(), 3);
  ASSERT_TRUE(b.WriteAll("de", 2));

  FileStream c;
  ASSERT_TRUE(c.Open(second.Path(), L"w+b"));
  c.SetBuffer(1 << 16);
  ASSERT_TRUE(c.WriteAll("xyz", 3));
  c = std::move(b);
  EXPECT_EQ(Text(second), "xyz");
  EXPECT_FALSE(b.IsOpen());
  EXPECT_FALSE(c.WriteFailed());
  EXPECT_EQ(c.Close(), 0);
  EXPECT_EQ(Text(first), "abcde");

  FileStream closed;
  EXPECT_EQ(closed.Write("x", 1), 0u);
  FileStream failed(std::move(closed));
  EXPECT_TRUE(failed.WriteFailed());
  EXPECT_FALSE(closed.WriteFailed());
}

// Positions past 4 GiB go through the system's 64-bit seek and tell.
TEST(FileStream, PositionsBeyondFourGigabytes) {
  TempFile f("stream_far");
  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
  const int64_t far = (int64_t{5} << 30) + 7;
  EXPECT_EQ(s.SeekAbsolute(far), 0);
  EXPECT_EQ(s.GetPosition(), far);
  EXPECT_EQ(s.Seek(-7, 1), 0);
  EXPECT_EQ(s.GetPosition(), int64_t{5} << 30);
  EXPECT_TRUE(s.SeekToBegin());
  EXPECT_EQ(s.GetPosition(), 0);
}

// The position the stream keeps itself, against what reads, writes, seeks
// and the file's length say, through mixes of them.
namespace {

enum class Op { kWrite, kRead, kSeek, kTell, kLength, kFlush, kOpen, kClose, kReadItems };

struct Step {
  Op op;
  std::string text;    // bytes to write; bytes a read gives; the mode to open with
  int64_t value = 0;   // read count, seek offset, expected position or length
  int origin = 0;      // of a seek
  int64_t result = 0;  // a seek's result; items a ReadItems gives
};

struct PositionCase {
  const char* name;
  std::string initial;  // the file before the first open
  std::vector<Step> steps;
  std::string final;  // the file after the last step
};

Step W(std::string text) { return {Op::kWrite, std::move(text)}; }
Step R(int64_t count, std::string expected) { return {Op::kRead, std::move(expected), count}; }
Step S(int64_t offset, int origin, int64_t result = 0) { return {Op::kSeek, "", offset, origin, result}; }
Step T(int64_t position) { return {Op::kTell, "", position}; }
Step L(int64_t length) { return {Op::kLength, "", length}; }
Step F() { return {Op::kFlush, ""}; }
Step O(std::string mode) { return {Op::kOpen, std::move(mode)}; }
Step C() { return {Op::kClose, ""}; }
Step Items(uint32_t size, uint32_t count, int64_t got) {
  return {Op::kReadItems, "", size, static_cast<int>(count), got};
}

const PositionCase kPositionCases[] = {
    {"reads and seeks within the file",
     "0123456789",
     {O("rb"),  T(0),       R(3, "012"), T(3),      S(0, 1), T(3),  S(3, 0),       R(2, "34"),
      T(5),     S(-2, 1),   T(3),        R(1, "3"), S(2, 1), T(6),  R(10, "6789"), T(10),
      S(10, 0), R(1, ""),   T(10),       S(0, 2),   T(10),   L(10), T(10),         S(-4, 2),
      T(6),     R(2, "67"), S(0, 0),     R(1, "0"), T(1),    L(10), T(1),          R(1, "1")},
     "0123456789"},
    {"the end of the file, and reading past it",
     "abc",
     {O("rb"), R(5, "abc"), T(3), R(1, ""), T(3), S(3, 0), T(3), R(1, ""), S(-1, 1), R(1, "c"), T(3), S(7, 0), T(7),
      R(1, ""), T(7), S(1, 0), R(1, "b")},
     "abc"},
    {"writing, then reading what was written",
     "",
     {O("w+b"),   T(0), W("abcdef"), T(6),    S(6, 0), R(1, ""), T(6),           S(2, 0),
      R(2, "cd"), T(4), S(4, 0),     W("XY"), T(6),    S(0, 0),  R(6, "abcdXY"), S(-1, 1),
      W("Z"),     T(6), L(6),        T(6),    S(0, 1), R(1, ""), S(1, 0),        R(1, "b")},
     "abcdXZ"},
    {"reading, then writing where the read stopped",
     "0123456789",
     {O("r+b"), R(4, "0123"), S(0, 1),   W("ab"), T(6),    S(0, 1), R(2, "67"), S(8, 0), W("cd"), T(10),
      L(10),    S(-1, 2),     R(1, "d"), T(10),   S(0, 1), W("e"),  T(11),      F(),     T(11),   L(11)},
     "0123ab67cde"},
    {"writes kept in the buffer, flushed, then the length",
     "",
     {O("w+b"), W("12345"), F(), T(5), W("678"), L(8), T(8), S(0, 1), W("9"), T(9), S(4, 0), R(2, "56"), S(0, 2), T(9)},
     "123456789"},
    {"a failed read leaves the position to the system",
     "",
     {O("wb"), R(2, ""), T(0), S(0, 0), W("abc"), T(3), S(1, 0), T(1), W("B"), T(2)},
     "aBc"},
    {"items read short",
     "0123456789",
     {O("rb"), Items(4, 3, 2), T(10), S(1, 0), Items(3, 3, 3), T(10), S(0, 0), R(2, "01")},
     "0123456789"},
    {"reopening, and append mode beside it",
     "xyz",
     {O("r+b"), R(2, "xy"), T(2),         O("r+b"), T(0), R(3, "xyz"), S(1, 0), W("Q"), T(2),     O("ab"), W("w"),
      O("rb"),  T(0),       R(4, "xQzw"), T(4),     C(),  O("w+b"),    T(0),    L(0),   W("new"), T(3)},
     "new"},
};

}  // namespace

TEST(FileStream, KeepsItsPositionThroughMixedCalls) {
  for (const PositionCase& c : kPositionCases) {
    SCOPED_TRACE(c.name);
    TempFile f("stream_position");
    f.Write(std::vector<uint8_t>(c.initial.begin(), c.initial.end()));
    FileStream s;
    size_t index = 0;
    for (const Step& step : c.steps) {
      SCOPED_TRACE("step " + std::to_string(index++));
      switch (step.op) {
        case Op::kWrite:
          EXPECT_EQ(s.Write(step.text.data(), static_cast<uint32_t>(step.text.size())), step.text.size());
          break;
        case Op::kRead: {
          std::string got(static_cast<size_t>(step.value), '\0');
          got.resize(s.Read(got.data(), static_cast<uint32_t>(step.value)));
          EXPECT_EQ(got, step.text);
          break;
        }
        case Op::kReadItems: {
          std::string got(static_cast<size_t>(step.value) * static_cast<size_t>(step.origin), '\0');
          EXPECT_EQ(static_cast<int64_t>(
                        s.ReadItems(got.data(), static_cast<uint32_t>(step.value), static_cast<uint32_t>(step.origin))),
                    step.result);
          break;
        }
        case Op::kSeek:
          EXPECT_EQ(s.Seek(step.value, step.origin), step.result);
          break;
        case Op::kTell:
          EXPECT_EQ(s.GetPosition(), step.value);
          break;
        case Op::kLength:
          EXPECT_EQ(s.GetLength(), step.value);
          break;
        case Op::kFlush:
          EXPECT_EQ(s.Flush(), 0);
          break;
        case Op::kOpen:
          ASSERT_TRUE(s.Open(f.Path(), std::wstring(step.text.begin(), step.text.end())));
          break;
        case Op::kClose:
          EXPECT_EQ(s.Close(), 0);
          break;
      }
    }
    EXPECT_EQ(s.Close(), 0);
    EXPECT_EQ(Text(f), c.final);
  }
}

// A closed stream has no position, and a seek on it fails.
TEST(FileStream, AClosedStreamHasNoPosition) {
  TempFile f("stream_closed");
  FileStream s;
  EXPECT_EQ(s.GetPosition(), -1);
  EXPECT_EQ(s.Seek(0, 0), -1);
  ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
  ASSERT_TRUE(s.WriteAll("abc", 3));
  EXPECT_EQ(s.Close(), 0);
  EXPECT_EQ(s.GetPosition(), -1);
  EXPECT_EQ(s.Seek(0, 1), -1);
  EXPECT_FALSE(s.SeekToBegin());
}
