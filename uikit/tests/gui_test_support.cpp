#include "gui_test_support.h"
#include <cstdio>
#include <cwchar>

namespace orva::ui::test {

void Pump(int ms) {
  DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!FwPreTranslateMessage(&msg, nullptr)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    Sleep(5);
  } while ((int)(end - GetTickCount()) > 0);
}

static Pixels ReadDC(HDC source, int w, int h) {
  Pixels p;
  p.width = w;
  p.height = h;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, w, h, source, 0, 0, SRCCOPY);
  GdiFlush();
  p.data.resize((size_t)w * h);
  auto* src = (const DWORD*)bits;
  for (size_t i = 0; i < p.data.size(); ++i) {
    DWORD v = src[i];
    p.data[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(dib);
  return p;
}

Pixels CaptureWindow(HWND h, bool wholeWindow) {
  RECT r;
  if (wholeWindow) {
    GetWindowRect(h, &r);
  } else {
    GetClientRect(h, &r);
  }
  HDC dc = wholeWindow ? GetWindowDC(h) : GetDC(h);
  Pixels p = ReadDC(dc, r.right - r.left, r.bottom - r.top);
  ReleaseDC(h, dc);
  return p;
}

Pixels CaptureBitmap(HBITMAP b) {
  BITMAP bm{};
  GetObjectW(b, sizeof(bm), &bm);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, b);
  Pixels p = ReadDC(mem, bm.bmWidth, bm.bmHeight);
  SelectObject(mem, old);
  DeleteDC(mem);
  return p;
}

Pixels CaptureIcon(HICON icon, int size, COLORREF background) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP b = CreateCompatibleBitmap(screen, size, size);
  HGDIOBJ old = SelectObject(mem, b);
  RECT r{0, 0, size, size};
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(mem, &r, brush);
  DeleteObject(brush);
  DrawIconEx(mem, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  Pixels p = ReadDC(mem, size, size);
  SelectObject(mem, old);
  DeleteObject(b);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

bool SaveBmp(const Pixels& p, const std::string& path) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  int stride = (p.width * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof(fh) + sizeof(ih);
  fh.bfSize = fh.bfOffBits + stride * p.height;
  ih.biSize = sizeof(ih);
  ih.biWidth = p.width;
  ih.biHeight = p.height;
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  ih.biSizeImage = stride * p.height;
  fwrite(&fh, sizeof(fh), 1, f);
  fwrite(&ih, sizeof(ih), 1, f);
  std::vector<unsigned char> row(stride);
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) {
      COLORREF c = p.at(x, y);
      row[x * 3] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
    fwrite(row.data(), 1, stride, f);
  }
  fclose(f);
  return true;
}

void SaveScreenshot(HWND h, const std::string& name) { SaveScreenshotShowingSomething(h, name); }

bool SaveScreenshotShowingSomething(HWND h, const std::string& name) {
  CreateDirectoryW(L"screenshots", nullptr);
  Pixels p = CaptureWindow(h, true);
  if (!SaveBmp(p, "screenshots/" + name + ".bmp")) return false;
  for (COLORREF c : p.data)
    if (c != p.data[0]) return true;
  return false;
}

void PostMouse(HWND h, UINT msg, POINT screen, WPARAM hit) {
  bool nonClient = msg >= WM_NCMOUSEMOVE && msg <= WM_NCMBUTTONDBLCLK;
  POINT p = screen;
  if (!nonClient) ScreenToClient(h, &p);
  PostMessageW(h, msg, nonClient ? hit : 0, MAKELPARAM((short)p.x, (short)p.y));
}

POINT WindowPoint(HWND h, int x, int y) {
  RECT r;
  GetWindowRect(h, &r);
  return POINT{r.left + x, r.top + y};
}

int CountColor(const Pixels& p, const RECT& r, COLORREF c) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (p.inside(x, y) && p.at(x, y) == c) ++n;
  return n;
}

namespace {

const wchar_t kReplacements[] = L"Software\\Wine\\Fonts\\Replacements";
const wchar_t kDesktops[] = L"Software\\Wine\\Explorer\\Desktops";
// A test run may give each program a desktop (and display) of its own.
std::wstring TestDesktop() {
  wchar_t name[64] = {};
  DWORD n = GetEnvironmentVariableW(L"ORVA_GUI_DESKTOP", name, 64);
  return n > 0 && n < 64 ? std::wstring(name) : std::wstring(L"OrvaGuiTests");
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool OnTestDesktop() {
  wchar_t name[64] = {};
  GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof(name), nullptr);
  return std::wstring(name) == TestDesktop();
}

bool ArialReplaced() {
  wchar_t value[64] = {};
  DWORD size = sizeof(value);
  return RegGetValueW(HKEY_CURRENT_USER, kReplacements, L"Arial", RRF_RT_REG_SZ, nullptr, value, &size) ==
             ERROR_SUCCESS &&
         std::wstring(value) == L"Liberation Sans";
}

bool SetValue(const wchar_t* path, const wchar_t* name, const wchar_t* value) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return false;
  const LONG status =
      RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)value, (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// Hangul that Liberation Sans lacks is drawn from NanumGothic, as Windows links
// its own fonts to one with Hangul.
bool LinkHangulFont() {
  static const wchar_t kLinks[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink";
  static const wchar_t kNanum[] = L"NanumGothic.ttf,NanumGothic\0NanumGothicBold.ttf,NanumGothic\0";
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLinks, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return false;
  bool ok = true;
  for (const wchar_t* face : {L"Liberation Sans", L"Liberation Sans Bold", L"Arial", L"Arial Bold"})
    ok = RegSetValueExW(key, face, 0, REG_MULTI_SZ, (const BYTE*)kNanum, sizeof(kNanum)) == ERROR_SUCCESS && ok;
  RegCloseKey(key);
  return ok;
}

}  // namespace

int RunInTestSetting() {
  if (!UnderWine() || (ArialReplaced() && OnTestDesktop())) return -1;
  std::wstring desktop = TestDesktop();
  if (!SetValue(kReplacements, L"Arial", L"Liberation Sans") || !SetValue(kDesktops, desktop.c_str(), L"1280x1024") ||
      !LinkHangulFont()) {
    fprintf(stderr, "test setting: the Wine settings could not be written\n");
    return 1;
  }
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring line = GetCommandLineW();
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.lpDesktop = desktop.data();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stderr, "test setting: no start on desktop %ls (error %lu)\n", desktop.c_str(), GetLastError());
    return 1;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code != 0) fprintf(stderr, "test setting: the run on desktop %ls ended with code %lu\n", desktop.c_str(), code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (int)code;
}

}  // namespace orva::ui::test
