// A restore of a table written by a TableBuilder into a memory file system,
// with everything it leaves behind.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_log.h"
#include "memory_fs.h"
#include "table_builder.h"
#include "test_util.h"

namespace orva::test {

inline const std::wstring kTarget = L"T:\\out";

using Prepare = std::function<void(MemoryFileSystem&)>;

// Everything a restore leaves: the tree, the texts, the counts and lists.
struct Restored {
  MemoryFileSystem fs;
  RestoreResult result;
  std::wstring console, log;
  RunCounters counters;
  std::vector<std::wstring> skipped;  // path and reason of each skipped file
};

inline Restored Restore(const std::function<void(TableBuilder&)>& build, const Prepare& prepare = nullptr,
                        int32_t version = 4000, unsigned workers = 0) {
  TempFile hf("restore_header"), bf("restore_body");
  FileStream h, b;
  h.Open(hf.Path(), L"w+b");
  b.Open(bf.Path(), L"w+b");
  TableBuilder t(h, b, version);
  build(t);
  const int64_t end = h.GetPosition();
  h.SeekToBegin();
  b.SeekToBegin();
  Counters() = RunCounters();
  Lists().Clear();
  Queues().Clear();
  ResetProgress(b.GetLength());
  BuildProgressThresholds();
  Restored r;
  if (prepare) prepare(r.fs);
  {
    CaptureOutput out;
    r.result = version < 4000 ? RestoreImageV3(h, b, end, kTarget, r.fs, workers)
                              : RestoreImageV4(ChainStreams{}, h, b, end, kTarget, r.fs, workers);
    r.console = out.console;
    r.log = out.log;
  }
  r.counters = Counters();
  for (const auto& s : Lists().files) r.skipped.push_back(s.path + L"|" + s.target + L"|" + s.reason);
  return r;
}

}  // namespace orva::test
