#include "mem_dc.h"

namespace orva::ui {

CMemDC::CMemDC(CDC* target) : m_target(target), m_offScreen(!target->IsPrinting()) {
  if (m_offScreen) {
    target->GetClipBox(&m_rect);
    CreateCompatibleDC(target);
    m_bitmap.CreateCompatibleBitmap(target, m_rect.Width(), m_rect.Height());
    m_oldBitmap = SelectObject(m_bitmap.m_hObject);
    SetWindowOrg(m_rect.left, m_rect.top);
  } else {
    m_bPrinting = target->m_bPrinting;
    m_hDC = target->m_hDC;
    m_hAttribDC = target->m_hAttribDC;
  }
}

CMemDC::~CMemDC() {
  if (m_offScreen) {
    m_target->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top, SRCCOPY);
    SelectObject(m_oldBitmap);
  } else {
    m_hDC = m_hAttribDC = nullptr;  // the target's, not ours
  }
}

}  // namespace orva::ui
