// The owner-drawn menus' arithmetic without a display: colour shades in HLS
// space, the shadow's steps, item data and sizes, mnemonics and the Windows
// levels.
#include <gtest/gtest.h>
#include "flat_menu.h"
#include "menu_paint.h"

using namespace orva::ui;

TEST(MenuColours, ShadesInHlsSpace) {
  EXPECT_EQ(ShadeColor(RGB(255, 255, 255), 20, 0), RGB(255, 255, 255));
  EXPECT_EQ(ShadeColor(RGB(0, 0, 0), -50, 0), RGB(0, 0, 0));
  EXPECT_EQ(ShadeColor(RGB(192, 192, 192), 75, 0), RGB(239, 239, 239));
  EXPECT_EQ(ShadeColor(RGB(192, 192, 192), 20, 0), RGB(204, 204, 204));
  EXPECT_EQ(ShadeColor(RGB(192, 192, 192), -18, 0), RGB(157, 157, 157));
  EXPECT_EQ(ShadeColor(RGB(192, 192, 192), -27, 0), RGB(140, 140, 140));
  for (int v : {0, 1, 77, 128, 200, 255}) {
    DWORD hls = ColorToHls(RGB(v, v, v));
    EXPECT_EQ(hls & 0xFF, 0u);
    EXPECT_EQ((hls >> 16) & 0xFF, 0u);
    EXPECT_EQ(HlsToColor(hls), RGB(v, v, v));
  }
  // Pure colours: hue 0, 120 and 240 degrees, full saturation, half lightness.
  EXPECT_EQ(ColorToHls(RGB(255, 0, 0)), 0x00u | 127u << 8 | 255u << 16);
  EXPECT_EQ(ColorToHls(RGB(0, 255, 0)) & 0xFF, 85u);
  EXPECT_EQ(ColorToHls(RGB(0, 0, 255)) & 0xFF, 170u);
  // A lighter, less saturated highlight keeps its hue.
  COLORREF light = ShadeColor(RGB(0, 0, 255), 70, -57);
  EXPECT_GT(GetBValue(light), GetRValue(light));
  EXPECT_EQ(GetRValue(light), GetGValue(light));
  EXPECT_GT(GetRValue(light), 150);
}

TEST(MenuColours, ShadowSteps) {
  EXPECT_EQ(ShadowPixel(RGB(100, 200, 255), 0), RGB(93, 186, 237));
  EXPECT_EQ(ShadowPixel(RGB(100, 100, 100), 1), RGB(88, 88, 88));
  EXPECT_EQ(ShadowPixel(RGB(100, 100, 100), 2), RGB(83, 83, 83));
  EXPECT_EQ(ShadowPixel(RGB(100, 100, 100), 3), RGB(78, 78, 78));
}

TEST(MenuArithmetic, ItemDataAndSizes) {
  EXPECT_EQ(CFlatMenu::RowHeight(13), 20);
  EXPECT_EQ(CFlatMenu::RowHeight(16), 22);
  EXPECT_EQ(CFlatMenu::SeparatorHeight(13), 8);
  DWORD d = CFlatMenu::PackItemData(20, 40, 90);
  EXPECT_EQ(d, 20u | 40u << 8 | 90u << 16);
  EXPECT_EQ(CFlatMenu::MeasureFromData(d).cx, 90 + 40 + 42);
  EXPECT_EQ(CFlatMenu::MeasureFromData(d).cy, 20);
  EXPECT_EQ(CFlatMenu::MeasureFromData(8).cx, 42);  // separator
  EXPECT_EQ(CFlatMenu::MeasureFromData(8).cy, 8);
  EXPECT_EQ(CFlatMenu::MeasureFromData(CFlatMenu::PackBarData(33)).cx, 37);
  EXPECT_EQ(CFlatMenu::MeasureFromData(CFlatMenu::PackBarData(33)).cy, 0);
  // A shortcut wider than its byte keeps the widest width the byte holds, not its low bits.
  DWORD wide = CFlatMenu::PackItemData(20, 300, 70000);
  EXPECT_EQ((wide >> 8) & 0xFF, 255u);
  EXPECT_EQ(wide >> 16, 0xFFFFu);
  EXPECT_EQ(wide & 0xFF, 20u);
}

TEST(MenuArithmetic, Mnemonics) {
  EXPECT_TRUE(CFlatMenu::MatchesMnemonic(L"Save &As", L'a'));
  EXPECT_TRUE(CFlatMenu::MatchesMnemonic(L"Save &As", L'A'));
  EXPECT_TRUE(CFlatMenu::MatchesMnemonic(L"&Open", L'o'));
  EXPECT_FALSE(CFlatMenu::MatchesMnemonic(L"Save &&As", L'a'));
  EXPECT_FALSE(CFlatMenu::MatchesMnemonic(L"Save As", L'a'));
  EXPECT_FALSE(CFlatMenu::MatchesMnemonic(L"Save As&", L'a'));
  EXPECT_TRUE(CFlatMenu::MatchesMnemonic(L"R&&D &Tools", L't'));
  EXPECT_TRUE(CFlatMenu::MatchesMnemonic(L"&\u00e4rger", L'\u00c4'));
  EXPECT_STREQ(CFlatMenu::RemoveFirstAmpersand("Save &As"), "Save As");
  EXPECT_STREQ(CFlatMenu::RemoveFirstAmpersand("R&&D"), "R&D");
  EXPECT_STREQ(CFlatMenu::RemoveFirstAmpersand("Plain"), "Plain");
}

TEST(MenuArithmetic, WindowsLevels) {
  auto level = [](DWORD platform, DWORD major, DWORD minor) {
    OSVERSIONINFOA v{};
    v.dwPlatformId = platform;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    return CFlatMenu::LevelFromVersion(&v);
  };
  EXPECT_EQ(level(VER_PLATFORM_WIN32s, 3, 1), 1);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_WINDOWS, 4, 0), 2);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_WINDOWS, 4, 10), 3);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_WINDOWS, 4, 90), 4);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_NT, 4, 0), 6);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_NT, 5, 0), 7);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_NT, 5, 1), 8);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_NT, 5, 2), 5);
  EXPECT_EQ(level(VER_PLATFORM_WIN32_NT, 10, 0), 5);
  EXPECT_GT(CFlatMenu::WindowsLevel(), 0);
}

// --- painting helpers ----------------------------------------------------------------
