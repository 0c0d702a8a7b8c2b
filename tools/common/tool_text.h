// Small helpers shared by the stand-in tools: command-line splitting, path
// forms, console and log text.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include <string>
#include <vector>

namespace orva_tools {

inline std::string Narrow(const std::wstring& text, UINT page = CP_ACP) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// Splits the raw command line as the command interpreter hands it over:
// blanks separate words, a double quote toggles quoting and is dropped, a
// backslash is always literal (so "C:\" stays C:\). The program name is
// left out.
inline std::vector<std::wstring> SplitCommandLine(const wchar_t* line) {
  std::vector<std::wstring> words;
  std::wstring word;
  bool quoted = false, inWord = false;
  for (const wchar_t* p = line; *p; ++p) {
    if (*p == L'"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (*p == L' ' || *p == L'\t')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += *p;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  if (!words.empty()) words.erase(words.begin());
  return words;
}

inline std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

inline bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The full path of a folder or file: doubled separators collapsed (a leading
// \\ of a share kept), no trailing separator except at a drive root.
inline std::wstring FullPath(const std::wstring& path) {
  std::wstring clean;
  for (size_t i = 0; i < path.size(); ++i) {
    wchar_t c = path[i] == L'/' ? L'\\' : path[i];
    if (c == L'\\' && i >= 2 && !clean.empty() && clean.back() == L'\\') continue;
    clean += c;
  }
  std::vector<wchar_t> full(32768);
  DWORD n = GetFullPathNameW(clean.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  std::wstring out = n > 0 && n < full.size() ? std::wstring(full.data(), n) : clean;
  while (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return out;
}

// The form of a full path that passes the MAX_PATH limit.
inline std::wstring LongPath(const std::wstring& full) {
  if (full.rfind(L"\\\\?\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

inline std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() == L'\\') return folder + name;
  return folder + L"\\" + name;
}

inline std::wstring SystemText(DWORD code) {
  wchar_t text[512] = {};
  DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 511, nullptr);
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) text[--n] = 0;
  return n > 0 ? std::wstring(text, n) : L"Unknown error.";
}

// Console text: wide on a real console, the ANSI code page into a pipe or file.
// printf into a wide string of at most 2047 characters.
inline std::wstring Format(const wchar_t* format, ...) {
  wchar_t text[2048];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 2047, format, args);
  va_end(args);
  text[2047] = 0;
  return text;
}

inline void ConsoleWrite(const std::wstring& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  std::string bytes = Narrow(text);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

}  // namespace orva_tools
