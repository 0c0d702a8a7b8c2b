#include "core/progress.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <thread>

#include "contracts/local_time.h"
#include "core/output.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

namespace {
void RealSleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
void RealEnd(int) { throw RunCancelled(); }

std::wstring StatusTime() {
  std::time_t t = std::time(nullptr);
  const std::tm tm = LocalTimeOf(t);
  wchar_t buf[128];
  size_t n = std::wcsftime(buf, 128, L"%Y.%m.%d %I:%M:%S %p", &tm);
  return std::wstring(buf, n);
}

int32_t ReadControl() { return Progress().sharing && Progress().control ? *Progress().control : kControlRun; }
}  // namespace

void (*g_sleepMilliseconds)(int ms) = RealSleep;
void (*g_endProcess)(int code) = RealEnd;

ProgressState& Progress() {
  static ProgressState state;
  return state;
}

void ResetProgress(int64_t totalBytes) {
  ProgressBlock& b = Progress().block;
  std::memset(&b, 0, sizeof b);
  b.totalBytes = totalBytes;
}

void BuildProgressThresholds() {
  ProgressState& p = Progress();
  for (int i = 0; i < 100; ++i) {
    // 64-bit multiply then truncating divide; split to stay in range for huge totals.
    int64_t t = p.block.totalBytes;
    p.thresholds[i] = (t / 100) * (i + 1) + (t % 100) * (i + 1) / 100;
  }
}

int32_t AdvanceProgress() {
  ProgressState& p = Progress();
  ProgressBlock& b = p.block;
  b.previousPercent = b.currentPercent;
  if (b.currentPercent >= 100) return b.currentPercent;
  for (int32_t i = b.currentPercent < 0 ? 0 : b.currentPercent; i < 100; ++i) {
    if (p.thresholds[i] > b.processedBytes) {
      b.currentPercent = i;
      return i;
    }
  }
  b.currentPercent = 100;
  return 100;
}

void ProgressStep(int64_t objectSize, const std::wstring& path) {
  ProgressState& p = Progress();
  ProgressBlock& b = p.block;
  // Sizes come from images too: saturate rather than overflow.
  if (objectSize > 0 && b.processedBytes > INT64_MAX - objectSize)
    b.processedBytes = INT64_MAX;
  else
    b.processedBytes += objectSize;
  AdvanceProgress();
  std::u16string u = ToUnits(path);
  size_t n = u.size() < 259 ? u.size() : 259;
  std::memset(b.currentPath, 0, sizeof b.currentPath);
  std::memcpy(b.currentPath, u.data(), n * sizeof(char16_t));
  if (b.currentPercent == b.previousPercent) return;
  int64_t seconds = NowLocal().epoch - p.startEpoch;
  long long speed = seconds > 0 ? static_cast<long long>(b.processedBytes / seconds) : 0;
  SayConsole(Fmt(L"%3d%%, %11lld bytes processed, Processing speed is %9lld bytes/sec.\n", b.currentPercent,
                 static_cast<long long>(b.processedBytes), speed));
  if (p.sharing && p.sharedBlock) std::memcpy(p.sharedBlock, &b, sizeof b);
}

void WaitWhilePaused() {
  int32_t w = ReadControl();
  if (w == kControlPause) {
    Say(Fmt(L"%ls, The user has temporarily stopped the imaging process.\n", StatusTime().c_str()));
    while ((w = ReadControl()) == kControlPause) g_sleepMilliseconds(500);
    if (w != kControlCancel) {
      Say(Fmt(L"%ls, The user resumed the imaging process.\n", StatusTime().c_str()));
      return;
    }
  }
  if (w != kControlCancel) return;
  Say(Fmt(L"%ls, The user has canceled the imaging process.\n", StatusTime().c_str()));
  RunLog().Close();
  g_endProcess(0);
}

}  // namespace orva
