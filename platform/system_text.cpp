#include "system_text.h"

#include <windows.h>

namespace orva::platform {

std::string WideToAnsi(std::wstring_view text, bool* lossy) {
  if (lossy) *lossy = false;
  if (text.empty()) return {};
  BOOL lost = FALSE;
  const int units = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, lossy ? &lost : nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), units, out.data(), n, nullptr, nullptr);
  if (lossy) *lossy = lost != FALSE;
  return out;
}

std::string FormatSystemMessage(uint32_t code) {
  char text[1024] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text - 1, nullptr);
  return std::string(text, n);
}

std::string SystemErrorText(uint32_t code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                           nullptr);
  std::string out = n && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == ' ' || out.back() == '\t' || out.back() == '\r' || out.back() == '\n'))
    out.pop_back();
  return out.empty() ? "Error" : out;
}

}  // namespace orva::platform
