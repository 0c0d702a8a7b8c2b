// Native stand-in for the ANSI code page: ASCII, and '?' for the rest.
#include "image_header_reader.h"

std::string ToAnsiText(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\0') break;
    out.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}
