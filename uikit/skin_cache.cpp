#include "skin_cache.h"

namespace orva::ui {

namespace {
const int kIconPixels[CSkinCache::IconSizeCount] = {16, 24, 32};
}

CSkinCache& SkinCache() {
  static CSkinCache cache;
  return cache;
}

CSkinCache::CSkinCache() {
  HMODULE user32 = GetModuleHandleW(L"USER32.DLL");
  if (user32)
    pSetLayeredWindowAttributes =
        (SetLayeredWindowAttributesFn)(void*)GetProcAddress(user32, "SetLayeredWindowAttributes");
}

CSkinCache::~CSkinCache() {
  DeleteBitmaps();
  DeleteFonts();
  DestroyIcons();
}

void CSkinCache::LoadBitmapTable(const BitmapSlot* table, size_t count) {
  DeleteBitmaps();
  for (size_t i = 0; i < count; ++i) {
    int slot = table[i].slot;
    if (slot < 0 || slot >= BitmapCount) continue;
    m_bitmaps[slot] =
        (HBITMAP)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(table[i].id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    if (!m_bitmaps[slot] || !GetObjectW(m_bitmaps[slot], sizeof(BITMAP), &m_bitmapInfo[slot]))
      m_bitmapInfo[slot] = BITMAP{};
  }
}

void CSkinCache::LoadIconTable(const IconSlot* table, size_t count) {
  DestroyIcons();
  for (size_t i = 0; i < count; ++i) {
    int set = table[i].set;
    if (set < 0 || set >= IconSetCount) continue;
    for (int s = 0; s < IconSizeCount; ++s)
      m_icons[set][s] = (HICON)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(table[i].id), IMAGE_ICON,
                                          kIconPixels[s], kIconPixels[s], LR_DEFAULTCOLOR);
  }
}

CFont* CSkinCache::CreateFont(unsigned slot, CString face, int points, BOOL bold) {
  if (slot >= FontCount) return nullptr;
  CWnd* main = FwGetMainWnd();
  if (!main) return nullptr;
  LOGFONTW lf{};
  lstrcpynW(lf.lfFaceName, ToWideText(face).c_str(), LF_FACESIZE);
  lf.lfItalic = 0;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  // Before the main window has a handle the screen DC gives the resolution.
  HDC dc = GetDC(main->m_hWnd);
  lf.lfHeight = dc ? -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72) : points;
  if (dc) ReleaseDC(main->m_hWnd, dc);
  delete m_fonts[slot];
  m_fonts[slot] = nullptr;
  auto* font = new CFont;
  if (font->CreateFontIndirect(&lf))
    m_fonts[slot] = font;
  else
    delete font;
  return m_fonts[slot];
}

CFont* CSkinCache::GetFont(int slot) const { return slot >= 0 && slot < FontCount ? m_fonts[slot] : nullptr; }
HBITMAP CSkinCache::GetBitmap(int slot) const { return slot >= 0 && slot < BitmapCount ? m_bitmaps[slot] : nullptr; }

CSize CSkinCache::GetBitmapSize(int slot) const {
  if (slot < 0 || slot >= BitmapCount) return CSize();
  return CSize(m_bitmapInfo[slot].bmWidth, m_bitmapInfo[slot].bmHeight);
}

HICON CSkinCache::GetIcon(int set, int sizeIndex) const {
  if (set < 0 || set >= IconSetCount || sizeIndex < 0 || sizeIndex >= IconSizeCount) return nullptr;
  return m_icons[set][sizeIndex];
}

COLORREF CSkinCache::GetColor(int slot) const { return slot >= 0 && slot < ColorCount ? m_colors[slot] : 0; }

int CSkinCache::SetColor(int slot, COLORREF color) {
  if (slot >= 0 && slot < ColorCount) m_colors[slot] = color;
  return slot;
}

void CSkinCache::DeleteBitmaps() {
  for (int i = 0; i < BitmapCount; ++i) {
    if (m_bitmaps[i]) DeleteObject(m_bitmaps[i]);
    m_bitmaps[i] = nullptr;
    m_bitmapInfo[i] = BITMAP{};
  }
}

void CSkinCache::DestroyIcons() {
  for (auto& set : m_icons)
    for (HICON& icon : set) {
      if (icon) DestroyIcon(icon);
      icon = nullptr;
    }
}

void CSkinCache::DeleteFonts() {
  for (CFont*& font : m_fonts) {
    delete font;  // the CFont deletes its GDI font
    font = nullptr;
  }
}

void CSkinCache::SetStandardColors() {
  const COLORREF colors[] = {0xFF00FF, 0xFFFFFF, 0x333333, 0x000000, 0xB2B2B2};
  for (int i = 0; i < 5; ++i) SetColor(i, colors[i]);
}

void CSkinCache::CreateStandardFonts() {
  CreateFont(0, "Arial", 8, FALSE);
  CreateFont(1, "Arial", 9, FALSE);
  CreateFont(2, "Arial", 11, TRUE);
}

}  // namespace orva::ui
