// The progress an engine run shares with the service that started it: two
// named mappings, the block under the name given with -i and the control
// word under that name followed by "_Status".
#pragma once
#include <cstddef>
#include <cstdint>

namespace orva {

// Written by the engine after each percent, read by the service.
struct ProgressBlock {
  int64_t totalBytes;
  int64_t processedBytes;
  int32_t currentPercent;
  int32_t previousPercent;
  char16_t currentPath[260];
};

inline constexpr size_t kProgressBlockSize = 544;
inline constexpr size_t kProgressTotalOffset = 0;
inline constexpr size_t kProgressProcessedOffset = 8;
inline constexpr size_t kProgressPercentOffset = 16;
inline constexpr size_t kProgressPathOffset = 24;
static_assert(sizeof(ProgressBlock) == kProgressBlockSize);
static_assert(offsetof(ProgressBlock, totalBytes) == kProgressTotalOffset);
static_assert(offsetof(ProgressBlock, processedBytes) == kProgressProcessedOffset);
static_assert(offsetof(ProgressBlock, currentPercent) == kProgressPercentOffset);
static_assert(offsetof(ProgressBlock, currentPath) == kProgressPathOffset);

// The control word: written by the service, read by the engine.
enum ProgressControl : int32_t { kControlRun = 0, kControlPause = 1, kControlCancel = 2 };
inline constexpr size_t kProgressControlSize = sizeof(int32_t);

// The control mapping's name is the block's name followed by this.
inline constexpr char kStatusNameSuffix[] = "_Status";
inline constexpr wchar_t kStatusNameSuffixW[] = L"_Status";

}  // namespace orva
