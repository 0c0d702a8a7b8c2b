// UTF-16 helpers shared by the byte code. On Windows wchar_t is a UTF-16
// unit already; elsewhere (the native test build) we encode and decode.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace orva {

std::u16string ToUnits(const std::wstring& s);
std::wstring FromUnits(const char16_t* units, size_t count);
inline std::wstring FromUnits(const std::u16string& u) { return FromUnits(u.data(), u.size()); }

// printf-style formatting into a wide string. Use %ls for wide strings and
// %lld for 64-bit integers: both mean the same on every runtime we build for.
std::wstring Fmt(const wchar_t* format, ...);
std::wstring VFmt(const wchar_t* format, va_list args);

std::wstring ToUpper(const std::wstring& s);

// The text in the C runtime locale's multibyte encoding, '?' for each
// character it has none for; complete (when given) says whether there was none.
std::string NarrowText(const std::wstring& text, bool* complete = nullptr);

// Text after the last backslash, or the whole text when it has none.
std::wstring FileNamePart(const std::wstring& path);

}  // namespace orva
