#include "win/engine_main.h"

#include <windows.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "core/image_header.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/run_guard.h"
#include "core/run_settings.h"
#include "core/wide.h"
#include "win/engine_output.h"
#include "win/extract_run.h"
#include "win/full_run.h"
#include "win/privileges.h"
#include "win/update_run.h"

namespace orva {

RunFiles& Run() {
  static RunFiles files;
  return files;
}

std::wstring RunFileName(const std::wstring& imagePath, const std::wstring& suffix) {
  const RunSettings& s = Settings();
  if (!s.useWorkFolder) return imagePath + suffix;
  std::wstring folder = s.workFolder;
  if (folder.empty()) {
    const wchar_t* temp = _wgetenv(L"TEMP");
    if (temp) folder = temp;
  }
  return (folder.empty() ? std::wstring() : folder + L"\\") + FileNamePart(imagePath) + suffix;
}

void NameRunFiles() {
  const RunSettings& s = Settings();
  Run().workFile = RunFileName(s.imagePath, L".tmp");
  Run().logFile = RunFileName(s.imagePath, L"_" + s.command + L".log");
}

int EngineMain(int argc, wchar_t** argv) {
  _wsetlocale(LC_ALL, L"korean");
  InstallEngineOutput();
  SayConsole(L"Orvanta Image Archiver, Version 4.2.1.16.3.1\n");

  RunSettings& s = Settings();
  s.useWorkFolder = false;
  s.workFolder.clear();
  s.mappingName.clear();
  std::wstring error;
  if (!ParseCommandLine(argc, argv, s, error)) {
    SayConsole(error);
    SayConsole(L"\n");
    SayConsole(
        L"\n\nProgram parameters can not be identified.\nThere were fatal SYSTEM errors in the imaging process.\n");
    return 0;
  }
  NameRunFiles();
  ResetRunState();

  bool report = false;
  try {
    report = GuardRun([&s] {
      if (s.command == L"a") return RunFullImage();
      if (s.command == L"r") return RunReset();
      if (s.command == L"x") return RunExtraction();
      return RunUpdate();
    });
  } catch (const RunCancelled&) {
    // The run's streams were closed as it unwound.
    std::fflush(nullptr);
    return 0;
  }
  if (report) PrintReport(Run().start);
  return 0;
}

}  // namespace orva
