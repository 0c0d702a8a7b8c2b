#include "gui_driver.h"

#include <cstdio>

namespace orva::gui_driver {

Remote::Remote(HWND window, SIZE_T size) : size_(size) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process_) at_ = (char*)VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
}

Remote::~Remote() {
  if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
  if (process_) CloseHandle(process_);
}

bool Remote::Put(const void* data, SIZE_T n, SIZE_T offset) const {
  return offset + n <= size_ && WriteProcessMemory(process_, at_ + offset, data, n, nullptr);
}

bool Remote::Read(const void* from, void* to, SIZE_T n) const {
  SIZE_T got = 0;
  return ReadProcessMemory(process_, from, to, n, &got) && got == n;
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring TextOf(HWND h) {
  wchar_t text[4096] = {};
  SendMessageTimeoutW(h, WM_GETTEXT, 4096, (LPARAM)text, SMTO_BLOCK | SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

std::wstring LongestStatic(HWND box) {
  std::wstring best;
  EnumChildWindows(
      box,
      [](HWND h, LPARAM p) -> BOOL {
        wchar_t cls[32] = {};
        GetClassNameW(h, cls, 32);
        std::wstring t = TextOf(h);
        auto* b = (std::wstring*)p;
        if (!lstrcmpiW(cls, L"Static") && t.size() > b->size()) *b = t;
        return TRUE;
      },
      (LPARAM)&best);
  return best;
}

std::wstring Cell(HWND list, const Remote& remote, int row, int column, UINT mask, LVITEMW* got) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | mask;
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = (wchar_t*)remote.at(kTextAt);
  item.cchTextMax = kTextChars;
  wchar_t text[kTextChars + 1] = {};
  if (!remote.Put(&item, sizeof item) || !SendMessageW(list, LVM_GETITEMW, 0, (LPARAM)remote.at())) return L"";
  remote.Get(kTextAt, text, kTextChars * sizeof(wchar_t));
  if (got) remote.Get(0, got, sizeof *got);
  return text;
}

bool WaitGone(HWND h, int ms) {
  const DWORD end = GetTickCount() + ms;
  while (IsWindow(h) && IsWindowVisible(h) && (int)(end - GetTickCount()) > 0) Sleep(50);
  return !(IsWindow(h) && IsWindowVisible(h));
}

bool SaveWindowPicture(HWND h, const std::wstring& file) {
  RECT r{};
  GetWindowRect(h, &r);
  const int w = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((w * 3 + 3) & ~3), size = stride * height;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + size;
  bi.bmiHeader.biSizeImage = size;
  bool saved = false;
  if (FILE* f = _wfopen(file.c_str(), L"wb")) {
    std::fwrite(&fh, sizeof fh, 1, f);
    std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
    std::fwrite(bits, size, 1, f);
    std::fclose(f);
    saved = true;
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace orva::gui_driver
