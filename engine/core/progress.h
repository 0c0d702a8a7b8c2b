// The engine's progress: its figures, their thresholds and the views of
// the mappings shared with the service (laid out in progress_block.h).
#pragma once
#include <cstdint>
#include <cstddef>
#include <string>

#include "contracts/progress_block.h"

namespace orva {

struct ProgressState {
  ProgressBlock block{};
  int64_t thresholds[100]{};
  int64_t startEpoch = 0;               // progress start time, seconds
  void* sharedBlock = nullptr;          // view of the mapping named by -i
  volatile int32_t* control = nullptr;  // view of the "_Status" mapping
  bool sharing = false;
};

ProgressState& Progress();

void ResetProgress(int64_t totalBytes);
void BuildProgressThresholds();
int32_t AdvanceProgress();
// After each object: add its size, advance, remember its path, and when the
// percent moved print the progress line and publish the block.
void ProgressStep(int64_t objectSize, const std::wstring& path);
// Reads the control word: waits while paused, ends the run on cancel.
void WaitWhilePaused();

// A cancelled run unwinds with this to the engine's main, which closes the
// run's files and ends the process without a report; the canceled line is
// written and the run log closed before it is thrown.
struct RunCancelled {};

// Hooks the tests replace: sleeping and ending the run (by default it
// throws RunCancelled).
extern void (*g_sleepMilliseconds)(int ms);
extern void (*g_endProcess)(int code);

}  // namespace orva
