#include <gtest/gtest.h>

#include <stdexcept>

#include "core/progress.h"
#include "core/run_log.h"
#include "test_util.h"

using namespace orva;
using orva::test::CaptureOutput;

namespace {

int Lines(const std::wstring& s, const std::wstring& what) {
  int n = 0;
  for (size_t p = s.find(what); p != std::wstring::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

struct Shared {
  ProgressBlock view{};
  int32_t control = 0;
  Shared() {
    Progress().sharedBlock = &view;
    Progress().control = &control;
    Progress().sharing = true;
  }
  ~Shared() {
    Progress().sharedBlock = nullptr;
    Progress().control = nullptr;
    Progress().sharing = false;
  }
};

}  // namespace

TEST(Progress, Thresholds) {
  ResetProgress(1000);
  BuildProgressThresholds();
  EXPECT_EQ(Progress().thresholds[0], 10);
  EXPECT_EQ(Progress().thresholds[99], 1000);
  ResetProgress(INT64_MAX);
  BuildProgressThresholds();
  EXPECT_EQ(Progress().thresholds[99], INT64_MAX);  // no overflow on a huge total
  EXPECT_EQ(Progress().thresholds[49], INT64_MAX / 2);
}

TEST(Progress, StepsPublishOncePerPercent) {
  CaptureOutput out;
  Shared shared;
  ResetProgress(1000);
  BuildProgressThresholds();
  ProgressStep(5, L"a");  // below 1%
  EXPECT_EQ(Lines(out.console, L"bytes processed"), 0);
  ProgressStep(250, L"C:\\dir\\b");  // 25%
  EXPECT_EQ(Progress().block.currentPercent, 25);
  EXPECT_EQ(shared.view.currentPercent, 25);
  EXPECT_EQ(shared.view.processedBytes, 255);
  EXPECT_EQ(shared.view.currentPath[7], u'b');
  ProgressStep(5000, L"grown");  // beyond the total: 100% once
  ProgressStep(10, L"more");
  EXPECT_EQ(Progress().block.currentPercent, 100);
  EXPECT_EQ(Lines(out.console, L"100%, "), 1);
  EXPECT_EQ(Lines(out.console, L"bytes processed"), 2);
  EXPECT_EQ(out.log, L"");  // progress lines are console only
  EXPECT_NE(out.console.find(L" 25%,         255 bytes processed, Processing speed is "), std::wstring::npos);
}

TEST(Progress, ZeroAndOneByteTotals) {
  CaptureOutput out;
  Shared shared;
  ResetProgress(0);
  BuildProgressThresholds();
  ProgressStep(0, L"empty");
  EXPECT_EQ(Progress().block.currentPercent, 100);
  ResetProgress(1);
  BuildProgressThresholds();
  ProgressStep(1, L"one");
  EXPECT_EQ(Progress().block.currentPercent, 100);
  EXPECT_EQ(Lines(out.console, L"100%, "), 2);
}

TEST(Progress, LongPathIsCutWithATerminator) {
  CaptureOutput out;
  ResetProgress(10);
  BuildProgressThresholds();
  ProgressStep(1, std::wstring(400, L'x'));
  EXPECT_EQ(Progress().block.currentPath[258], u'x');
  EXPECT_EQ(Progress().block.currentPath[259], u'\0');
}

namespace {
int32_t* g_word = nullptr;
int g_sleeps = 0;
// The other side of the control word: resumes or cancels after two sleeps.
int32_t g_after = 0;
void FakeSleep(int) {
  if (++g_sleeps == 2) *g_word = g_after;
}
struct Ended : std::runtime_error {
  int code;
  explicit Ended(int c) : std::runtime_error("ended"), code(c) {}
};
void FakeEnd(int code) { throw Ended(code); }
}  // namespace

TEST(Progress, PauseResumeAndCancel) {
  CaptureOutput out;
  Shared shared;
  g_word = &shared.control;
  auto* oldSleep = g_sleepMilliseconds;
  auto* oldEnd = g_endProcess;
  g_sleepMilliseconds = FakeSleep;
  g_endProcess = FakeEnd;

  WaitWhilePaused();
  EXPECT_EQ(out.console, L"");

  shared.control = kControlPause;
  g_after = kControlRun;
  g_sleeps = 0;
  WaitWhilePaused();
  EXPECT_EQ(Lines(out.console, L", The user has temporarily stopped the imaging process.\n"), 1);
  EXPECT_EQ(Lines(out.console, L", The user resumed the imaging process.\n"), 1);
  EXPECT_EQ(out.log, out.console);

  shared.control = kControlPause;
  g_after = kControlCancel;
  g_sleeps = 0;
  int code = -1;
  try {
    WaitWhilePaused();
  } catch (const Ended& e) {
    code = e.code;
  }
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Lines(out.console, L", The user has canceled the imaging process.\n"), 1);
  EXPECT_EQ(Lines(out.console, L"resumed"), 1);

  // Sharing off: the word is not read at all.
  Progress().sharing = false;
  shared.control = kControlCancel;
  WaitWhilePaused();

  g_sleepMilliseconds = oldSleep;
  g_endProcess = oldEnd;

  // Unhooked, a cancel unwinds the run to the engine's main.
  Progress().sharing = true;
  EXPECT_THROW(WaitWhilePaused(), RunCancelled);
  EXPECT_EQ(Lines(out.console, L", The user has canceled the imaging process.\n"), 2);
}
