// What the walk tests share: an image in temp files and a clean run state.
#pragma once
#include <cstdint>

#include "core/image_header.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/run_log.h"
#include "test_util.h"

namespace orva::test {

// One image in temp files: its body (with room for the prologue) and its table.
struct WalkImage {
  TempFile headerFile{"walk_header"}, bodyFile{"walk_body"};
  FileStream header, body;
  int64_t tableEnd = 0;
  WalkImage() {
    header.Open(headerFile.Path(), L"w+b");
    body.Open(bodyFile.Path(), L"w+b");
    const char prologue[kPrologueSize] = {};
    body.Write(prologue, kPrologueSize);
  }
  ~WalkImage() {
    header.Close();
    body.Close();
  }
  void Finish() {
    tableEnd = header.GetPosition();
    header.Flush();
    body.Flush();
  }
};

inline void ResetRun() {
  Counters() = RunCounters();
  Lists().Clear();
  Queues().Clear();
  ResetProgress(0);
  BuildProgressThresholds();
}

}  // namespace orva::test
