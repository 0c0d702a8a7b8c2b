// Console and run-log text in the code page of the "korean" locale.
#include <windows.h>

#include <string>

#include "core/output.h"
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
  int n = WideCharToMultiByte(kConsoleCodePage, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0, "?",
                              nullptr);
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

}  // namespace orva
