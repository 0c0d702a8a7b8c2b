// Char-based string of the GUI programs, and the conversions of texts that
// are shown to the user.
//
// Every CString is in the system's ANSI code page, as the records, the files
// and the file system's names are; a text goes to the screen through the
// wide calls, read in that code page. Letters beyond ASCII written into the
// programs' sources (the Korean messages) are UTF-8 literals, turned into the
// code page where they are made, by SourceText.
#pragma once
#include <windows.h>
#include <cstdarg>
#include <string>
#include <vector>

namespace orva::fw {

class CString {
 public:
  CString() = default;
  CString(const char* s) : m_s(s ? s : "") {}
  CString(const char* s, int n) : m_s(s ? std::string(s, n > 0 ? n : 0) : std::string()) {}
  CString(char c, int repeat = 1) : m_s(repeat > 0 ? repeat : 0, c) {}
  CString(const std::string& s) : m_s(s) {}

  int GetLength() const { return (int)m_s.size(); }
  bool IsEmpty() const { return m_s.empty(); }
  void Empty() { m_s.clear(); }
  operator const char*() const { return m_s.c_str(); }
  const char* GetString() const { return m_s.c_str(); }
  const std::string& str() const { return m_s; }

  char GetAt(int i) const { return (i >= 0 && i < GetLength()) ? m_s[i] : 0; }
  void SetAt(int i, char c) {
    if (i >= 0 && i < GetLength()) m_s[i] = c;
  }
  char operator[](int i) const { return GetAt(i); }

  CString& operator=(const char* s) {
    m_s = s ? s : "";
    return *this;
  }
  CString& operator=(char c) {
    m_s.assign(1, c);
    return *this;
  }
  CString& operator+=(const CString& s) {
    m_s += s.m_s;
    return *this;
  }
  CString& operator+=(const char* s) {
    if (s) m_s += s;
    return *this;
  }
  CString& operator+=(char c) {
    m_s += c;
    return *this;
  }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
  friend CString operator+(const CString& a, const char* b) { return CString(a.m_s + (b ? b : "")); }
  friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.m_s); }
  friend CString operator+(const CString& a, char c) { return CString(a.m_s + c); }

  int Compare(const char* s) const;
  int CompareNoCase(const char* s) const;
  friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
  friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
  friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
  friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

  int Find(char c, int start = 0) const;
  int Find(const char* s, int start = 0) const;
  int ReverseFind(char c) const;
  int FindOneOf(const char* set) const;
  CString Left(int n) const;
  CString Right(int n) const;
  CString Mid(int first) const;
  CString Mid(int first, int n) const;
  CString& MakeUpper();
  CString& MakeLower();
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim() {
    TrimRight();
    return TrimLeft();
  }
  CString& TrimLeft(char c);
  CString& TrimRight(char c);
  int Replace(const char* from, const char* to);
  int Replace(char from, char to);
  int Delete(int index, int count = 1);
  int Insert(int index, const char* s);
  int Remove(char c);

  // printf formats, with the 64-bit "%I64d" forms.
  void Format(const char* fmt, ...);
  void FormatV(const char* fmt, va_list args);
  void AppendFormat(const char* fmt, ...);

  // Room for n characters; ReleaseBuffer(-1) cuts at the first NUL.
  char* GetBuffer(int n = 0);
  char* GetBufferSetLength(int n);
  void ReleaseBuffer(int n = -1);

 private:
  std::string m_s;
};

// Shown texts: a CString (ANSI code page) to UTF-16 and back. On the way
// back a character that the code page lacks becomes '?', never a look-alike
// of the code page, so that such a text names no other file or job; '?' is
// no character of a file name.
std::wstring ToWideText(const char* text);
CString FromWideText(const wchar_t* text);

// A UTF-8 literal of the sources (u8"...") in the ANSI code page, as
// FromWideText gives it.
CString SourceText(const char8_t* utf8);

}  // namespace orva::fw
