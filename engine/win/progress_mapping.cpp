#include "win/progress_mapping.h"

#include <windows.h>

#include "core/output.h"
#include "core/progress.h"
#include "core/run_settings.h"
#include "core/wide.h"

namespace orva {

namespace {
HANDLE g_blockMapping = nullptr;
HANDLE g_statusMapping = nullptr;
}  // namespace

void CreateProgressMapping() {
  ProgressState& p = Progress();
  const std::wstring name = Settings().mappingName;
  p.sharedBlock = nullptr;
  p.control = nullptr;
  g_blockMapping = g_statusMapping = nullptr;
  if (name.empty()) {
    p.sharing = false;
    return;
  }
  const std::wstring statusName = name + kStatusNameSuffixW;
  g_blockMapping =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ProgressBlock), name.c_str());
  if (g_blockMapping)
    g_statusMapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kProgressControlSize, statusName.c_str());
  if (!g_blockMapping || !g_statusMapping) {
    DWORD err = GetLastError();
    if (g_blockMapping) CloseHandle(g_blockMapping);
    g_blockMapping = g_statusMapping = nullptr;
    Say(Fmt(L"Failed to create a progress mapping file (%d, %ls). \n", static_cast<int>(err),
            SystemErrorText(err).c_str()));
    p.sharing = false;
    return;
  }
  void* block = MapViewOfFile(g_blockMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProgressBlock));
  void* status = MapViewOfFile(g_statusMapping, FILE_MAP_ALL_ACCESS, 0, 0, kProgressControlSize);
  if (block && status) {
    p.sharedBlock = block;
    p.control = static_cast<volatile int32_t*>(status);
    p.sharing = true;
    return;
  }
  DWORD err = GetLastError();
  if (block) UnmapViewOfFile(block);
  if (status) UnmapViewOfFile(status);
  Say(Fmt(L"Failed to create map view (%d, %ls). \n", static_cast<int>(err), SystemErrorText(err).c_str()));
  p.sharing = false;
}

void CloseProgressMapping() {
  ProgressState& p = Progress();
  if (!p.sharing) return;
  UnmapViewOfFile(p.sharedBlock);
  UnmapViewOfFile(const_cast<int32_t*>(p.control));
  CloseHandle(g_blockMapping);
  CloseHandle(g_statusMapping);
  p.sharedBlock = nullptr;
  p.control = nullptr;
  g_blockMapping = g_statusMapping = nullptr;
  p.sharing = false;
}

}  // namespace orva
