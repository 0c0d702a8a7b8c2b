// Helpers of the GUI tests: pumping messages, reading pixels back, screenshots.
#pragma once
#include <string>
#include <vector>
#include "framework.h"
#include "skin_cache.h"

namespace orva::ui::test {

struct Pixels {
  int width = 0, height = 0;
  std::vector<COLORREF> data;
  COLORREF at(int x, int y) const { return data[(size_t)y * width + x]; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Dispatches what is queued (through the PreTranslateMessage walk) for `ms`.
void Pump(int ms = 50);
// The whole window (frame included) or its client area, as painted now.
Pixels CaptureWindow(HWND h, bool wholeWindow = true);
Pixels CaptureBitmap(HBITMAP b);
Pixels CaptureIcon(HICON icon, int size, COLORREF background);
bool SaveBmp(const Pixels& p, const std::string& path);
void SaveScreenshot(HWND h, const std::string& name);
// The same, true when the picture saved shows more than one colour.
bool SaveScreenshotShowingSomething(HWND h, const std::string& name);
// Posts a mouse message as input would bring it: screen point for the
// non-client messages, client point otherwise. The pointer itself stays
// parked in a corner, so that no real mouse message crosses the test's.
void PostMouse(HWND h, UINT msg, POINT screen, WPARAM hit = HTCAPTION);
POINT WindowPoint(HWND h, int x, int y);  // window coordinates to screen
int CountColor(const Pixels& p, const RECT& r, COLORREF c);

// Under Wine the tests run again in a child process of this program on a
// virtual desktop of their own ("OrvaGuiTests", 1280x1024) with "Arial"
// mapped to Liberation Sans (Wine reads both when a process starts), so that
// sizes, maximising and fonts are the same on every machine. Returns the
// child's exit code, or -1 when this process is to run the tests itself.
int RunInTestSetting();

// What a program does at start-up before its first dialog: common controls,
// the skin's pictures, colours and fonts, `mainWindow` as the main window.
// Inline: only programs with skin tables call it.
inline void LoadTestSkin(CWnd* mainWindow) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  CSkinCache& skin = SkinCache();
  skin.LoadBitmaps();
  skin.LoadIcons();
  skin.SetStandardColors();
  FwGetApp()->m_pMainWnd = mainWindow;
  skin.CreateStandardFonts();
}

}  // namespace orva::ui::test
