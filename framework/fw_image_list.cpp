#include "fw_image_list.h"

namespace orva::fw {

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
  DeleteImageList();
  m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
  m_owned = m_hImageList != nullptr;
  return m_owned;
}

BOOL CImageList::Attach(HIMAGELIST h) {
  if (m_hImageList || !h) return FALSE;
  m_hImageList = h;
  m_owned = true;
  return TRUE;
}

HIMAGELIST CImageList::Detach() {
  HIMAGELIST h = m_hImageList;
  m_hImageList = nullptr;
  m_owned = false;
  return h;
}

BOOL CImageList::DeleteImageList() {
  if (!m_hImageList) return FALSE;
  HIMAGELIST h = Detach();
  return ImageList_Destroy(h);
}

CSize CImageList::GetImageSize(int image) const {
  IMAGEINFO info{};
  if (!m_hImageList || !ImageList_GetImageInfo(m_hImageList, image, &info)) return CSize();
  return CSize(info.rcImage.right - info.rcImage.left, info.rcImage.bottom - info.rcImage.top);
}

}  // namespace orva::fw
