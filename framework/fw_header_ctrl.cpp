#include "fw_header_ctrl.h"
#include <string>

namespace orva::fw {

CString CHeaderCtrl::GetItemText(int index) const {
  for (int size = 128;; size *= 2) {
    std::wstring buf(size, L'\0');
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = buf.data();
    item.cchTextMax = size;
    if (!GetItem(index, &item)) return CString();
    int n = lstrlenW(buf.c_str());
    if (n < size - 1 || size >= (1 << 20)) return FromWideText(buf.c_str());
  }
}

}  // namespace orva::fw
