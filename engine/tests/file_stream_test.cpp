#include "core/file_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <utility>

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
