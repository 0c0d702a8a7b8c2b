// The process-wide skin store of a GUI program.
#pragma once
#include "framework.h"

namespace orva::ui {
using namespace orva::fw;

class CSkinCache {
 public:
  enum {
    FontCount = 3,
    BitmapCount = 25,
    IconSetCount = 17,
    IconSizeCount = 3,
    ColorCount = 6,
  };
  using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

  CSkinCache();
  virtual ~CSkinCache();

  // Each program supplies these two with its own tables (LoadBitmapTable, LoadIconTable).
  void LoadBitmaps();
  void LoadIcons();

  CFont* CreateFont(unsigned slot, CString face, int points, BOOL bold);
  CFont* GetFont(int slot) const;
  HBITMAP GetBitmap(int slot) const;
  CSize GetBitmapSize(int slot) const;
  HICON GetIcon(int set, int sizeIndex) const;
  COLORREF GetColor(int slot) const;
  int SetColor(int slot, COLORREF color);
  // What both programs put in slots 0-4 (key, background, dark text,
  // black, grey) and font slots 0-2 (Arial 8, Arial 9, bold Arial 11).
  void SetStandardColors();
  void CreateStandardFonts();
  void DeleteBitmaps();
  void DestroyIcons();
  void DeleteFonts();

  struct BitmapSlot {
    int slot;
    UINT id;
  };
  struct IconSlot {
    int set;
    UINT id;
  };
  void LoadBitmapTable(const BitmapSlot* table, size_t count);
  void LoadIconTable(const IconSlot* table, size_t count);

  SetLayeredWindowAttributesFn pSetLayeredWindowAttributes = nullptr;

 private:
  CFont* m_fonts[FontCount] = {};
  HBITMAP m_bitmaps[BitmapCount] = {};
  BITMAP m_bitmapInfo[BitmapCount] = {};
  HICON m_icons[IconSetCount][IconSizeCount] = {};
  COLORREF m_colors[ColorCount] = {};
};

// The one instance of the program; it outlives every dialog.
CSkinCache& SkinCache();

}  // namespace orva::ui
