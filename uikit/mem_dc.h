// The off-screen DC of the owner-drawn controls.
#pragma once
#include "framework.h"

namespace orva::ui {
using namespace orva::fw;

// Paints into a memory bitmap of the target's clip box and copies it to the
// target when destroyed; on a printing DC it draws straight to the target.
class CMemDC : public CDC {
 public:
  explicit CMemDC(CDC* target);
  ~CMemDC() override;
  CMemDC* operator->() { return this; }

 private:
  CBitmap m_bitmap;
  HGDIOBJ m_oldBitmap = nullptr;
  CDC* m_target;
  CRect m_rect;
  BOOL m_offScreen;
};

}  // namespace orva::ui
