#include "fw_string.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace orva::fw {

int CString::Compare(const char* s) const { return strcmp(m_s.c_str(), s ? s : ""); }
int CString::CompareNoCase(const char* s) const { return _stricmp(m_s.c_str(), s ? s : ""); }

int CString::Find(char c, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  size_t p = m_s.find(c, start);
  return p == std::string::npos ? -1 : (int)p;
}
int CString::Find(const char* s, int start) const {
  if (!s || start < 0 || start > GetLength()) return -1;
  size_t p = m_s.find(s, start);
  return p == std::string::npos ? -1 : (int)p;
}
int CString::ReverseFind(char c) const {
  size_t p = m_s.rfind(c);
  return p == std::string::npos ? -1 : (int)p;
}
int CString::FindOneOf(const char* set) const {
  size_t p = m_s.find_first_of(set ? set : "");
  return p == std::string::npos ? -1 : (int)p;
}
CString CString::Left(int n) const { return CString(m_s.substr(0, std::clamp(n, 0, GetLength()))); }
CString CString::Right(int n) const {
  n = std::clamp(n, 0, GetLength());
  return CString(m_s.substr(GetLength() - n));
}
CString CString::Mid(int first) const { return Mid(first, GetLength()); }
CString CString::Mid(int first, int n) const {
  first = std::clamp(first, 0, GetLength());
  n = std::clamp(n, 0, GetLength() - first);
  return CString(m_s.substr(first, n));
}
CString& CString::MakeUpper() {
  for (auto& c : m_s) c = (char)toupper((unsigned char)c);
  return *this;
}
CString& CString::MakeLower() {
  for (auto& c : m_s) c = (char)tolower((unsigned char)c);
  return *this;
}
CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < m_s.size() && isspace((unsigned char)m_s[i])) ++i;
  m_s.erase(0, i);
  return *this;
}
CString& CString::TrimRight() {
  while (!m_s.empty() && isspace((unsigned char)m_s.back())) m_s.pop_back();
  return *this;
}
CString& CString::TrimLeft(char c) {
  size_t i = 0;
  while (i < m_s.size() && m_s[i] == c) ++i;
  m_s.erase(0, i);
  return *this;
}
CString& CString::TrimRight(char c) {
  while (!m_s.empty() && m_s.back() == c) m_s.pop_back();
  return *this;
}
int CString::Replace(const char* from, const char* to) {
  if (!from || !*from) return 0;
  std::string with = to ? to : "";
  size_t len = strlen(from), p = 0;
  int n = 0;
  while ((p = m_s.find(from, p)) != std::string::npos) {
    m_s.replace(p, len, with);
    p += with.size();
    ++n;
  }
  return n;
}
int CString::Replace(char from, char to) {
  int n = 0;
  for (auto& c : m_s)
    if (c == from) {
      c = to;
      ++n;
    }
  return n;
}
int CString::Delete(int index, int count) {
  if (index >= 0 && index < GetLength() && count > 0) m_s.erase(index, count);
  return GetLength();
}
int CString::Insert(int index, const char* s) {
  m_s.insert(std::clamp(index, 0, GetLength()), s ? s : "");
  return GetLength();
}
int CString::Remove(char c) {
  size_t before = m_s.size();
  m_s.erase(std::remove(m_s.begin(), m_s.end(), c), m_s.end());
  return (int)(before - m_s.size());
}

void CString::FormatV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n < 0) {
    m_s.clear();
    return;
  }
  std::string out(n + 1, '\0');
  vsnprintf(out.data(), out.size(), fmt, args);
  out.resize(n);
  m_s.swap(out);
}
void CString::Format(const char* fmt, ...) {
  va_list a;
  va_start(a, fmt);
  FormatV(fmt, a);
  va_end(a);
}
void CString::AppendFormat(const char* fmt, ...) {
  CString tail;
  va_list a;
  va_start(a, fmt);
  tail.FormatV(fmt, a);
  va_end(a);
  m_s += tail.m_s;
}

char* CString::GetBuffer(int n) {
  if (n > GetLength()) m_s.resize(n);
  return m_s.data();
}
char* CString::GetBufferSetLength(int n) {
  m_s.resize(n > 0 ? n : 0);
  return m_s.data();
}
void CString::ReleaseBuffer(int n) {
  if (n < 0) n = (int)strnlen(m_s.c_str(), m_s.size());
  m_s.resize(std::min<size_t>(n, m_s.size()));
}

std::wstring ToWideText(const char* text) {
  if (!text || !*text) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, w.data(), n);
  w.resize(n - 1);
  return w;
}

CString FromWideText(const wchar_t* text) {
  if (!text || !*text) return CString();
  // What the code page lacks becomes '?'. A system whose ANSI code page is
  // UTF-8 takes neither the flag nor a default character, and lacks nothing.
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, "?", nullptr);
  if (n <= 0) {
    flags = 0;
    n = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return CString();
  }
  std::string s(n, '\0');
  WideCharToMultiByte(CP_ACP, flags, text, -1, s.data(), n, flags ? "?" : nullptr, nullptr);
  s.resize(n - 1);
  return CString(s);
}

CString SourceText(const char8_t* utf8) {
  const char* bytes = reinterpret_cast<const char*>(utf8);
  if (!bytes || !*bytes) return CString();
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes, -1, nullptr, 0);
  if (n <= 0) return CString();
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes, -1, w.data(), n);
  return FromWideText(w.c_str());
}

}  // namespace orva::fw
