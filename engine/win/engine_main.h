#pragma once
#include <string>

#include "core/run_log.h"

namespace orva {

// The files and start of the one run of this process; each run opens its
// streams itself.
struct RunFiles {
  std::wstring workFile;  // header table being built
  std::wstring logFile;
  LocalStamp start;
};
RunFiles& Run();

// A file of the run named after an image: beside it, or in the work folder
// (-w; TEMP when -w names none), e.g. suffix ".tmp" for its work file.
std::wstring RunFileName(const std::wstring& imagePath, const std::wstring& suffix);
// The work-file and run-log names of this run.
void NameRunFiles();

int EngineMain(int argc, wchar_t** argv);

}  // namespace orva
