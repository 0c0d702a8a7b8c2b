#pragma once
#include <string>

#include "core/file_stream.h"
#include "core/run_log.h"

namespace orva {

// Names and streams of the one run of this process.
struct RunFiles {
  std::wstring workFile;  // header table being built
  std::wstring logFile;
  FileStream image;
  FileStream work;
  LocalStamp start;
};
RunFiles& Run();

// Work-file and run-log names for the settings and the TEMP value (null when unset).
void NameRunFiles(const wchar_t* temp);

int EngineMain(int argc, wchar_t** argv);

}  // namespace orva
