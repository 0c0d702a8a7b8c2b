// Image lists of the common controls.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "fw_gdi.h"

namespace orva::fw {

class CImageList {
 public:
  CImageList() = default;
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;
  ~CImageList() { DeleteImageList(); }

  HIMAGELIST m_hImageList = nullptr;
  operator HIMAGELIST() const { return m_hImageList; }
  HIMAGELIST GetSafeHandle() const { return m_hImageList; }

  BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
  BOOL Attach(HIMAGELIST h);
  HIMAGELIST Detach();
  BOOL DeleteImageList();

  int Add(HICON icon) { return ImageList_AddIcon(m_hImageList, icon); }
  int Add(CBitmap* bitmap, COLORREF mask) {
    return ImageList_AddMasked(m_hImageList, (HBITMAP)bitmap->m_hObject, mask);
  }
  int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
  BOOL GetImageInfo(int image, IMAGEINFO* info) const { return ImageList_GetImageInfo(m_hImageList, image, info); }
  CSize GetImageSize(int image = 0) const;
  COLORREF SetBkColor(COLORREF c) { return ImageList_SetBkColor(m_hImageList, c); }
  COLORREF GetBkColor() const { return ImageList_GetBkColor(m_hImageList); }
  BOOL Draw(CDC* dc, int image, POINT p, UINT style) {
    return ImageList_Draw(m_hImageList, image, dc->m_hDC, p.x, p.y, style);
  }
  BOOL DrawEx(CDC* dc, int image, POINT p, SIZE s, COLORREF bk, COLORREF fg, UINT style) {
    return ImageList_DrawEx(m_hImageList, image, dc->m_hDC, p.x, p.y, s.cx, s.cy, bk, fg, style);
  }

 private:
  bool m_owned = false;
};

}  // namespace orva::fw
