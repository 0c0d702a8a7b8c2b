#include <windows.h>

#include <algorithm>

#include "image_header_reader.h"

std::string ToAnsiText(const std::wstring& text) {
  int units = static_cast<int>(std::min(text.find(L'\0'), text.size()));
  if (units == 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), units, out.data(), n, nullptr, nullptr);
  return out;
}
