#include <gtest/gtest.h>

#include <functional>

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

const int32_t kVersions[] = {4000, 3000};

std::wstring P(const std::wstring& rel) { return kTarget + rel; }

}  // namespace

TEST(RestoreWalk, TreeWithFilesFoldersAndHardLinks) {
  for (int32_t version : kVersions) {
    SCOPED_TRACE(version);
    const std::string big(200000, 'x');
    Restored r = Restore(
        [&](TableBuilder& t) {
          t.Directory(0, L"docs", 100);
          t.File(1, L"a 100%.txt", "alpha", 11);
          t.Directory(1, L"deep", 101);
          t.File(2, L"\uD55C\uAE00.txt", big, 12);
          t.Directory(1, L"empty", 102);
          t.File(1, L"empty.txt", "", 13);
          t.File(0, L"root.txt", std::string(65536, 'r'), 14);
          t.HardLink(0, L"again.txt", L"\\docs\\a 100%.txt");
        },
        nullptr, version);
    EXPECT_FALSE(r.result.damaged);
    EXPECT_EQ(r.fs.files[P(L"\\docs\\a 100%.txt")], "alpha");
    EXPECT_EQ(r.fs.files[P(L"\\docs\\deep\\\uD55C\uAE00.txt")], big);
    EXPECT_EQ(r.fs.files[P(L"\\docs\\empty.txt")], "");
    EXPECT_EQ(r.fs.files[P(L"\\root.txt")].size(), 65536u);
    EXPECT_EQ(r.fs.hardLinks[P(L"\\again.txt")], P(L"\\docs\\a 100%.txt"));
    EXPECT_TRUE(r.fs.directories.count(P(L"\\docs\\empty")));
    EXPECT_EQ(Counters().filesProcessed, 4);
    EXPECT_EQ(Counters().dirsProcessed, 4);  // the target and three folders
    EXPECT_EQ(Counters().hardLinksProcessed, 1);
    EXPECT_EQ(Counters().Errors(), 0);
    EXPECT_EQ(r.fs.writeTimes[P(L"\\docs")], 100u);
    EXPECT_EQ(r.fs.writeTimes[P(L"\\docs\\deep\\\uD55C\uAE00.txt")], 12u);
    // A folder's times are set after its contents.
    auto pos = [&](const std::wstring& p) {
      return std::find(r.fs.timeOrder.begin(), r.fs.timeOrder.end(), p) - r.fs.timeOrder.begin();
    };
    EXPECT_GT(pos(P(L"\\docs")), pos(P(L"\\docs\\deep")));
    EXPECT_GT(pos(P(L"\\docs\\deep")), pos(P(L"\\docs\\deep\\\uD55C\uAE00.txt")));
    EXPECT_EQ(Progress().block.currentPercent, 100);
  }
}

TEST(RestoreWalk, HostileNamesStayInsideTheTarget) {
  for (int32_t version : kVersions) {
    SCOPED_TRACE(version);
    Restored r = Restore(
        [](TableBuilder& t) {
          t.File(0, L"..", "x");
          t.File(0, L"a\\..\\..\\evil", "x");
          t.File(0, L"C:evil", "x");
          t.Directory(0, L"..");
          t.File(1, L"inside dotdot", "x");
          t.File(0, L"good", "g");
          t.HardLink(0, L"h1", L"\\..\\..\\windows\\system32\\x");
          t.HardLink(0, L"h2", L"good");
          t.HardLink(0, L"h3", L"\\good");
        },
        nullptr, version);
    EXPECT_EQ(r.fs.files.size(), 2u);  // good and h3
    EXPECT_EQ(r.fs.files[P(L"\\good")], "g");
    EXPECT_EQ(r.fs.files[P(L"\\h3")], "g");
    for (const auto& [path, content] : r.fs.files) EXPECT_EQ(path.rfind(kTarget + L"\\", 0), 0u);
    EXPECT_EQ(Counters().filesSkipped, 3);
    EXPECT_EQ(Counters().dirsSkipped, 1);
    EXPECT_EQ(Counters().hardLinksSkipped, 2);
  }
}

TEST(RestoreWalk, FailedFolderSkipsOnlyItsSubtree) {
  for (int32_t version : kVersions) {
    SCOPED_TRACE(version);
    Restored r = Restore(
        [](TableBuilder& t) {
          t.Directory(0, L"locked");
          t.File(1, L"in1", "1");
          t.Directory(1, L"sub");
          t.File(2, L"in2", "2");
          t.File(0, L"after", "after");
        },
        [](MemoryFileSystem& fs) { fs.failDirectories.insert(P(L"\\locked")); }, version);
    EXPECT_FALSE(r.result.damaged);
    EXPECT_EQ(r.fs.files.size(), 1u);
    EXPECT_EQ(r.fs.files[P(L"\\after")], "after");
    EXPECT_EQ(Counters().dirsSkipped, 1);
    EXPECT_EQ(Counters().filesProcessed, 1);
  }
}

// Depths that do not fit the walk are damage: each such entry is reported
// and skipped, and every later entry is restored where it belongs.
TEST(RestoreWalk, EntryDeeperThanItsFolder) {
  struct Case {
    const char* what;
    std::function<void(TableBuilder&)> middle;
    const wchar_t* message;
    int dirsSkipped, filesSkipped;
    size_t files;  // besides "first" and "last"
  };
  const Case cases[] = {
      {"jump",
       [](TableBuilder& t) {
         t.Directory(3, L"jump");
         t.File(4, L"under jump", "x");
       },
       L"(current level = 0, header level = 3)", 1, 0, 0},
      {"folder at the greatest depth", [](TableBuilder& t) { t.Directory(INT32_MAX, L"deepest"); },
       L"(current level = 0, header level = 2147483647)", 1, 0, 0},
      {"file at the greatest depth", [](TableBuilder& t) { t.File(INT32_MAX, L"deepest", "x"); },
       L"(current level = 0, header level = 2147483647)", 0, 1, 0},
      {"folder at the greatest depth inside a folder",
       [](TableBuilder& t) {
         t.Directory(0, L"d");
         t.Directory(INT32_MAX, L"deepest");
         t.File(1, L"in d", "3");
       },
       L"(current level = 1, header level = 2147483647)", 1, 0, 1},
      {"negative depth", [](TableBuilder& t) { t.Directory(INT32_MIN, L"negative"); },
       L"(current level = 0, header level = -2147483648)", 1, 0, 0},
  };
  for (int32_t version : kVersions) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + " " + std::to_string(version));
      Restored r = Restore(
          [&](TableBuilder& t) {
            t.File(0, L"first", "1");
            c.middle(t);
            t.File(0, L"last", "2");
          },
          nullptr, version);
      EXPECT_FALSE(r.result.damaged);
      EXPECT_NE(r.console.find(std::wstring(L"  Header file may be collapsed. ") + c.message + L"\n"),
                std::wstring::npos)
          << std::string(r.console.begin(), r.console.end());
      EXPECT_EQ(r.fs.files.size(), 2 + c.files);
      EXPECT_EQ(r.fs.files[P(L"\\first")], "1");
      EXPECT_EQ(r.fs.files[P(L"\\last")], "2");
      EXPECT_EQ(Counters().dirsSkipped, c.dirsSkipped);
      EXPECT_EQ(Counters().filesSkipped, c.filesSkipped);
      EXPECT_EQ(Counters().filesProcessed, 2 + static_cast<int>(c.files));
    }
  }
}

TEST(RestoreWalk, BadStreamsAreSkippedAndTheNextFileIsRight) {
  for (int32_t version : kVersions) {
    SCOPED_TRACE(version);
    std::string good = Deflate(std::string(100000, 'g'));
    std::string corrupt = good;
    corrupt[2] ^= 0x55;
    corrupt[3] ^= 0x55;
    std::string cut = good.substr(0, good.size() / 2);
    Restored r = Restore(
        [&](TableBuilder& t) {
          t.FileStored(0, L"corrupt", corrupt, 100000);
          t.FileStored(0, L"cut", cut, 100000);
          t.FileStored(0, L"garbage", "not a zlib stream at all", 10);
          t.File(0, L"next", "next file");
        },
        nullptr, version);
    EXPECT_EQ(r.fs.files.count(P(L"\\corrupt")), 0u);  // no half file left
    EXPECT_EQ(r.fs.files.count(P(L"\\cut")), 0u);
    EXPECT_EQ(r.fs.files[P(L"\\next")], "next file");
    EXPECT_EQ(Counters().filesSkipped, 3);
    EXPECT_EQ(Counters().filesProcessed, 1);
    EXPECT_EQ(Lists().files[1].reason, L"Error in inflate().");
  }
}

// Data read from where another stream begins: that stream ends long
// before the stored length does, and the file is not taken for whole. A
// file that grew while it was captured stores more than its size field
// says, and is whole. With and without workers ahead of the writer.
TEST(RestoreWalk, AStreamMustEndWithItsStoredData) {
  const std::string small = Deflate("ten bytes!");
  std::string other(52065 - small.size(), '\0');
  for (size_t i = 0; i < other.size(); ++i) other[i] = static_cast<char>(i * 131 + i / 7);
  const std::string grown(200000, 'x');
  for (int32_t version : kVersions) {
    for (unsigned workers : {0u, 3u}) {
      SCOPED_TRACE(std::to_string(version) + " workers " + std::to_string(workers));
      Restored r = Restore(
          [&](TableBuilder& t) {
            t.FileStored(0, L"moved", small + other, 131072);
            t.FileStored(0, L"grown", Deflate(grown), 1000);
            t.File(0, L"next", "next file");
          },
          nullptr, version, workers);
      EXPECT_EQ(r.fs.files.count(P(L"\\moved")), 0u);
      EXPECT_EQ(r.fs.files[P(L"\\grown")], grown);
      EXPECT_EQ(r.fs.files[P(L"\\next")], "next file");
      EXPECT_EQ(r.counters.filesSkipped, 1);
      EXPECT_EQ(r.counters.filesProcessed, 2);
      ASSERT_EQ(r.skipped.size(), 1u);
      EXPECT_EQ(r.skipped[0], P(L"\\moved") + L"|Z_STREAM_END|Error in inflate().");
      EXPECT_NE(r.console.find(L"  Zip error : The stream of " + P(L"\\moved") + L" ends before its stored data."),
                std::wstring::npos)
          << std::string(r.console.begin(), r.console.end());
      EXPECT_EQ(VerdictLine(r.counters), L"\nThe imaging process is finished however there were some errors.\n");
    }
  }
}

TEST(RestoreWalk, DiskFullStopsTheFileOnce) {
  // Each format's message, once for the whole file however many blocks are left.
  const std::pair<int32_t, std::wstring> cases[] = {
      {4000, L"  File writing error for T:\\out\\big ("},
      {3000, L"  Failed to write data to the file T:\\out\\big. (Error code : 112, " + SystemErrorText(112) + L")\n"},
  };
  for (const auto& [version, message] : cases) {
    SCOPED_TRACE(version);
    Restored r = Restore(
        [](TableBuilder& t) {
          t.File(0, L"big", std::string(300000, 'b'));
          t.File(0, L"small", "s");
        },
        [](MemoryFileSystem& fs) { fs.diskLeft = 100000; }, version);
    EXPECT_EQ(Counters().filesSkipped, 1);
    EXPECT_EQ(Counters().filesProcessed, 1);
    ASSERT_EQ(Lists().files.size(), 1u);
    EXPECT_EQ(Lists().files[0].reason, version == 3000 ? L"Faild to write file content." : L"Error in writing.");
    EXPECT_EQ(r.fs.files.count(P(L"\\big")), 0u);  // no half file left
    EXPECT_EQ(r.fs.files[P(L"\\small")], "s");
    const size_t at = r.console.find(message);
    EXPECT_NE(at, std::wstring::npos) << std::string(r.console.begin(), r.console.end());
    EXPECT_EQ(r.console.find(message, at + 1), std::wstring::npos);
  }
}

// What only format 3000 does: no short names, a directory's times and
// attributes through one handle, its security even when none was stored,
// and no look at the pause and cancel word.
TEST(RestoreWalk, Format3000Differences) {
  static int ended;
  for (int32_t version : kVersions) {
    SCOPED_TRACE(version);
    int32_t control = kControlCancel;
    Progress().control = &control;
    Progress().sharing = true;
    ended = 0;
    auto* oldEnd = g_endProcess;
    g_endProcess = [](int) { ++ended; };
    Restored r = Restore(
        [](TableBuilder& t) {
          t.WithShortName(L"SHORT~1");
          t.Directory(0, L"plain folder", 100);
          t.File(1, L"long name.txt", "a", 11);
          t.WithSecurity(true);
          t.Directory(0, L"secured folder", 101);
          t.File(1, L"secured file.txt", "b", 12);
        },
        nullptr, version);
    g_endProcess = oldEnd;
    Progress().control = nullptr;
    Progress().sharing = false;
    EXPECT_EQ(r.fs.files[P(L"\\plain folder\\long name.txt")], "a");
    EXPECT_EQ(r.fs.files[P(L"\\secured folder\\secured file.txt")], "b");
    EXPECT_EQ(r.fs.writeTimes[P(L"\\plain folder")], 100u);
    EXPECT_EQ(r.fs.writeTimes[P(L"\\secured folder")], 101u);
    const std::vector<std::wstring> folders{P(L"\\plain folder"), P(L"\\secured folder")};
    if (version == 3000) {
      EXPECT_EQ(ended, 0);
      EXPECT_TRUE(r.fs.shortNames.empty());
      EXPECT_EQ(r.fs.oneHandleMetadata, folders);
      EXPECT_EQ(r.fs.secured, (std::vector<std::wstring>{P(L"\\plain folder"), P(L"\\secured folder"),
                                                         P(L"\\secured folder\\secured file.txt")}));
    } else {
      EXPECT_GT(ended, 0);
      EXPECT_EQ(r.fs.shortNames.size(), 4u);
      EXPECT_TRUE(r.fs.oneHandleMetadata.empty());
      EXPECT_EQ(r.fs.secured.size(), 2u);
    }
  }
}

TEST(RestoreWalk, Format3000DirectoryMetadataFailures) {
  using Step = RestoreFileSystem::MetadataStep;
  const std::pair<Step, std::wstring> cases[] = {
      {RestoreFileSystem::kOpenStep,
       L"  Failed to retrieve the directory's handle (T:\\out\\d). Cannot change the "
       L"directory's attribute. (Error code : 5, "},
      {RestoreFileSystem::kTimesStep,
       L"  Failed to change the directory's time attribute (T:\\out\\d). (Error code : 5, "},
      {RestoreFileSystem::kAttributesStep,
       L"  Failed to change the directory attribute (T:\\out\\d). (Warning code : 5, "},
  };
  for (const auto& [step, message] : cases) {
    SCOPED_TRACE(static_cast<int>(step));
    Restored r = Restore(
        [](TableBuilder& t) {
          t.Directory(0, L"d");
          t.File(1, L"f", "f");
        },
        [step = step](MemoryFileSystem& fs) { fs.failMetadata[P(L"\\d")] = step; }, 3000);
    EXPECT_NE(r.console.find(message), std::wstring::npos);
    EXPECT_EQ(Counters().dirAttrSkipped, 1);
    ASSERT_EQ(Lists().directoryAttributes.size(), 1u);
    EXPECT_EQ(Lists().directoryAttributes[0].path, P(L"\\d"));
    EXPECT_EQ(r.fs.files[P(L"\\d\\f")], "f");
  }
}

TEST(RestoreWalk, ExistingTargetRestoresNothing) {
  for (int32_t version : kVersions) {
    SCOPED_TRACE(version);
    Restored r = Restore([](TableBuilder& t) { t.File(0, L"a", "a"); },
                         [](MemoryFileSystem& fs) { fs.directories.insert(kTarget); }, version);
    EXPECT_NE(r.console.find(L" Target folder already exists.\n"), std::wstring::npos);
    EXPECT_TRUE(r.fs.files.empty());
    EXPECT_EQ(Counters().dirsSkipped, 1);
  }
}

TEST(RestoreWalk, TableThatEndsEarlyIsDamage) {
  TempFile hf("rw_cut"), bf("rw_cutbody");
  FileStream h, b;
  h.Open(hf.Path(), L"w+b");
  b.Open(bf.Path(), L"w+b");
  TableBuilder t(h, b);
  t.File(0, L"a", "a");
  t.File(0, L"b", "b");
  const int64_t end = h.GetPosition();
  h.SeekToBegin();
  b.SeekToBegin();
  MemoryFileSystem fs;
  CaptureOutput out;
  // The table claims more bytes than it holds, and fewer than its second entry.
  for (int64_t claimed : {end + 50, end - 10}) {
    h.SeekToBegin();
    b.SeekToBegin();
    fs = MemoryFileSystem();
    RestoreResult res = RestoreImageV4(ChainStreams{}, h, b, claimed, kTarget, fs);
    EXPECT_TRUE(res.damaged) << claimed;
    EXPECT_EQ(fs.files.size(), claimed > end ? 2u : 1u);
  }
  h.Close();
  b.Close();
}
