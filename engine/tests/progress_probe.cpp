// A stand-in engine run for the mapping tests: publishes progress for a
// number of steps, polling the control word before each, then reports.
//   progress_probe <mapping name> <run log> <steps>
#include <windows.h>

#include <cwchar>

#include "core/progress.h"
#include "core/run_log.h"
#include "core/run_settings.h"
#include "win/engine_output.h"
#include "win/progress_mapping.h"

using namespace orva;

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  InstallEngineOutput();
  Settings().mappingName = argv[1];
  RunLog().Open(argv[2]);
  const int steps = _wtoi(argv[3]);
  LocalStamp start = NowLocal();
  ResetProgress(steps);
  BuildProgressThresholds();
  CreateProgressMapping();
  Progress().startEpoch = start.epoch;
  try {
    for (int i = 0; i < steps; ++i) {
      WaitWhilePaused();
      ProgressStep(1, L"item");
      Sleep(10);
    }
  } catch (const RunCancelled&) {
    return 0;
  }
  CloseProgressMapping();
  PrintReport(start);
  return 0;
}
