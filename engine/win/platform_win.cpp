// The engine's system calls on Windows: console and run-log text in the
// code page of the "korean" locale, system error texts, files, local time.
#include <windows.h>
#include <share.h>

#include <cstdio>
#include <string>

#include "core/output.h"
#include "core/platform.h"
#include "core/run_log.h"

namespace orva {

namespace {
constexpr UINT kConsoleCodePage = 949;
}

std::string EncodeConsoleText(const std::wstring& text) {
  std::wstring crlf;
  crlf.reserve(text.size() + 16);
  for (wchar_t c : text) {
    if (c == L'\n') crlf.push_back(L'\r');
    crlf.push_back(c);
  }
  if (crlf.empty()) return std::string();
  int n =
      WideCharToMultiByte(kConsoleCodePage, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, "?", nullptr);
  if (n <= 0) {
    // Code page missing: keep ASCII, mark the rest.
    std::string out;
    for (wchar_t c : crlf) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(kConsoleCodePage, 0, crlf.data(), static_cast<int>(crlf.size()), out.data(), n, "?", nullptr);
  return out;
}

std::wstring SystemErrorText(long code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), 1024, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out;
  if (n && text) out.assign(text, n);
  if (text) LocalFree(text);
  return out;
}

long LastSystemError() { return static_cast<long>(GetLastError()); }

std::FILE* OpenFile(const std::wstring& path, const std::wstring& mode) {
  std::FILE* file = nullptr;
  return _wfopen_s(&file, path.c_str(), mode.c_str()) == 0 ? file : nullptr;
}

std::FILE* OpenSharedFile(const std::wstring& path, bool append) {
  return _wfsopen(path.c_str(), append ? L"ab" : L"wb", _SH_DENYNO);
}

int SeekFile(std::FILE* file, int64_t offset, int origin) { return _fseeki64(file, offset, origin); }

int64_t TellFile(std::FILE* file) { return _ftelli64(file); }

}  // namespace orva
