// Reads a message box's dialog template back as the dialog manager does.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include <vector>

struct ReadItem {
  DWORD style, exStyle;
  short x, y, cx, cy;
  WORD id, atom;
  std::wstring text;
  size_t offset;
};

struct ReadTemplate {
  DWORD style, exStyle;
  WORD count;
  short x, y, cx, cy;
  std::wstring title;
  std::vector<ReadItem> items;
  size_t end = 0;
};

// Reads the bytes back as the dialog manager does, failing on anything past the end.
inline ::testing::AssertionResult Parse(const std::vector<BYTE>& b, ReadTemplate& out) {
  size_t pos = 0;
  bool bad = false;
  auto word = [&]() -> WORD {
    if (pos + 2 > b.size()) {
      bad = true;
      return 0;
    }
    WORD w;
    memcpy(&w, &b[pos], 2);
    pos += 2;
    return w;
  };
  auto dword = [&]() -> DWORD {
    DWORD lo = word();
    return lo | ((DWORD)word() << 16);
  };
  auto text = [&]() {
    std::wstring s;
    for (WORD w; !bad && (w = word()) != 0;) s += (wchar_t)w;
    return s;
  };
  out.style = dword();
  out.exStyle = dword();
  out.count = word();
  out.x = (short)word();
  out.y = (short)word();
  out.cx = (short)word();
  out.cy = (short)word();
  if (word() != 0) return ::testing::AssertionFailure() << "menu";
  if (word() != 0) return ::testing::AssertionFailure() << "class";
  out.title = text();
  for (int i = 0; i < out.count && !bad; ++i) {
    pos = (pos + 3) & ~(size_t)3;
    ReadItem it{};
    it.offset = pos;
    it.style = dword();
    it.exStyle = dword();
    it.x = (short)word();
    it.y = (short)word();
    it.cx = (short)word();
    it.cy = (short)word();
    it.id = word();
    if (word() != 0xFFFF) return ::testing::AssertionFailure() << "atom marker of item " << i;
    it.atom = word();
    it.text = text();
    if (word() != 0) return ::testing::AssertionFailure() << "creation data of item " << i;
    out.items.push_back(it);
  }
  out.end = pos;
  if (bad) return ::testing::AssertionFailure() << "read past the end of " << b.size() << " bytes";
  return ::testing::AssertionSuccess();
}

inline size_t Align4(size_t n) { return (n + 3) & ~(size_t)3; }
