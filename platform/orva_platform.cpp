#include "orva_platform.h"

namespace orva::platform {

std::wstring LongPath(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return L"\\\\?\\UNC\\" + path.substr(2);
  if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) {
    std::wstring out = L"\\\\?\\" + path;
    for (auto& c : out)
      if (c == L'/') c = L'\\';
    return out;
  }
  return path;
}

bool SetShortName(HANDLE file, const std::wstring& shortName, DWORD& error) {
  using Fn = BOOL(WINAPI*)(HANDLE, LPCWSTR);
  static Fn fn = [] {
    HMODULE k = GetModuleHandleW(L"kernel32.dll");
    return k ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(k, "SetFileShortNameW"))) : nullptr;
  }();
  if (!fn) {
    error = ERROR_CALL_NOT_IMPLEMENTED;
    return false;
  }
  if (fn(file, shortName.c_str())) {
    error = 0;
    return true;
  }
  error = GetLastError();
  return false;
}

}  // namespace orva::platform
