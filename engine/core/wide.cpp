#include "core/wide.h"

#include <climits>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace orva {

std::u16string ToUnits(const std::wstring& s) {
  if constexpr (sizeof(wchar_t) == 2) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.data()), s.size());
  } else {
    std::u16string out;
    out.reserve(s.size());
    for (wchar_t wc : s) {
      auto c = static_cast<char32_t>(wc);
      if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
      } else {
        out.push_back(static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c));
      }
    }
    return out;
  }
}

std::wstring FromUnits(const char16_t* units, size_t count) {
  if constexpr (sizeof(wchar_t) == 2) {
    return std::wstring(reinterpret_cast<const wchar_t*>(units), count);
  } else {
    std::wstring out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      char32_t c = units[i];
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      }
      out.push_back(static_cast<wchar_t>(c));
    }
    return out;
  }
}

std::wstring VFmt(const wchar_t* format, va_list args) {
  std::vector<wchar_t> buf(512);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vswprintf(buf.data(), buf.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < buf.size()) return std::wstring(buf.data(), static_cast<size_t>(n));
    if (buf.size() > (1u << 24)) return std::wstring();
    buf.resize(buf.size() * 4);
  }
}

std::wstring Fmt(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring s = VFmt(format, args);
  va_end(args);
  return s;
}

std::wstring ToUpper(const std::wstring& s) {
  std::wstring out(s);
  for (auto& c : out) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return out;
}

std::string NarrowText(const std::wstring& text, bool* complete) {
  std::string out;
  std::mbstate_t state{};
  if (complete) *complete = true;
  for (wchar_t c : text) {
    char buf[MB_LEN_MAX];
    const size_t n = std::wcrtomb(buf, c, &state);
    if (n == static_cast<size_t>(-1)) {
      out.push_back('?');
      state = std::mbstate_t{};
      if (complete) *complete = false;
    } else {
      out.append(buf, n);
    }
  }
  return out;
}

std::wstring FileNamePart(const std::wstring& path) {
  size_t p = path.rfind(L'\\');
  return p == std::wstring::npos ? path : path.substr(p + 1);
}

}  // namespace orva
