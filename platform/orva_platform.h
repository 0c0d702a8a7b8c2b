// Thin layer over the few platform calls that Wine lacks or that must be
// looked up at run time.
#pragma once
#include <windows.h>

#include <string>

namespace orva::platform {

// The \\?\ form of an absolute path (\\?\UNC\ for a share), so that paths
// beyond MAX_PATH work with the wide file calls. Relative paths and paths
// already in that form are returned unchanged.
std::wstring LongPath(const std::wstring& path);

// SetFileShortNameW, looked up in kernel32 at run time. Returns false with
// ERROR_CALL_NOT_IMPLEMENTED in error when the system lacks it.
bool SetShortName(HANDLE file, const std::wstring& shortName, DWORD& error);

}  // namespace orva::platform
