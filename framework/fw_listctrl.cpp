#include "fw_listctrl.h"
#include "fw_app.h"
#include <string>

namespace orva::fw {

CListCtrl::~CListCtrl() {
  if (m_toolTip && ::IsWindow(m_toolTip)) ::DestroyWindow(m_toolTip);
}

int CListCtrl::GetColumnCount() const {
  HWND header = GetHeaderHwnd();
  return header ? (int)::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 0;
}

int CListCtrl::InsertColumn(int column, const char* heading, int format, int width, int subItem) {
  std::wstring text = ToWideText(heading);
  LVCOLUMNW col{};
  col.mask = LVCF_FMT | LVCF_TEXT;
  col.fmt = format;
  col.pszText = text.data();
  if (width >= 0) {
    col.mask |= LVCF_WIDTH;
    col.cx = width;
  }
  if (subItem >= 0) {
    col.mask |= LVCF_SUBITEM;
    col.iSubItem = subItem;
  }
  return (int)SendMessage(LVM_INSERTCOLUMNW, column, (LPARAM)&col);
}

int CListCtrl::InsertItem(int index, const char* text, int image) {
  std::wstring w = ToWideText(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
  item.iItem = index;
  item.pszText = w.data();
  item.iImage = image;
  return InsertItem(&item);
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
  std::wstring w = ToWideText(text);
  LVITEMW it{};
  it.iSubItem = subItem;
  it.pszText = w.data();
  return (BOOL)SendMessage(LVM_SETITEMTEXTW, item, (LPARAM)&it);
}

CString CListCtrl::GetItemText(int item, int subItem) const {
  // The list copies at most the room it is given: grow until the text fits.
  for (int size = 256;; size *= 2) {
    std::wstring buf(size, L'\0');
    LVITEMW it{};
    it.iSubItem = subItem;
    it.pszText = buf.data();
    it.cchTextMax = size;
    int n = (int)SendMessage(LVM_GETITEMTEXTW, item, (LPARAM)&it);
    if (n < size - 1 || size >= (1 << 20)) {
      buf.resize(n > 0 ? n : 0);
      return FromWideText(buf.c_str());
    }
  }
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  if (!SendMessage(LVM_GETITEMW, 0, (LPARAM)&it)) return 0;
  return (DWORD_PTR)it.lParam;
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  it.lParam = (LPARAM)data;
  return (BOOL)SendMessage(LVM_SETITEMW, 0, (LPARAM)&it);
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  LVITEMW it{};
  it.state = state;
  it.stateMask = mask;
  return (BOOL)SendMessage(LVM_SETITEMSTATE, item, (LPARAM)&it);
}

BOOL CListCtrl::GetItemRect(int item, LPRECT r, UINT area) const {
  r->left = (LONG)area;
  return (BOOL)SendMessage(LVM_GETITEMRECT, item, (LPARAM)r);
}

BOOL CListCtrl::GetSubItemRect(int item, int subItem, int area, RECT& r) const {
  r.top = subItem;
  r.left = area;
  return (BOOL)SendMessage(LVM_GETSUBITEMRECT, item, (LPARAM)&r);
}

int CListCtrl::HitTest(CPoint p, UINT* flags) const {
  LVHITTESTINFO info{};
  info.pt = p;
  int item = (int)SendMessage(LVM_HITTEST, 0, (LPARAM)&info);
  if (flags) *flags = info.flags;
  return item;
}

CImageList* CListCtrl::SetImageList(CImageList* list, int kind) {
  CImageList* old = GetImageList(kind);
  SendMessage(LVM_SETIMAGELIST, kind, (LPARAM)(list ? list->m_hImageList : nullptr));
  if (kind >= 0 && kind < 4) m_imageLists[kind] = list;
  return old;
}

CImageList* CListCtrl::GetImageList(int kind) const {
  if (kind < 0 || kind >= 4 || !m_imageLists[kind]) return nullptr;
  HIMAGELIST now = (HIMAGELIST)SendMessage(LVM_GETIMAGELIST, kind);
  return now && now == m_imageLists[kind]->m_hImageList ? m_imageLists[kind] : nullptr;
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() const {
  return dynamic_cast<CHeaderCtrl*>(FromHandlePermanent(GetHeaderHwnd()));
}

BOOL CListCtrl::EnableToolTips(BOOL enable) {
  if (!enable) {
    if (m_toolTip) ::DestroyWindow(m_toolTip);
    m_toolTip = nullptr;
    m_lastTool = -1;
    return TRUE;
  }
  if (m_toolTip && ::IsWindow(m_toolTip)) return TRUE;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  m_toolTip =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, FwGetInstanceHandle(), nullptr);
  if (!m_toolTip) return FALSE;
  // Long cell texts wrap instead of running off the screen.
  ::SendMessageW(m_toolTip, TTM_SETMAXTIPWIDTH, 0, 600);
  m_lastTool = -1;
  return TRUE;
}

LRESULT CListCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = CWnd::WindowProc(msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    // The tip window is owned by the list and went with it.
    m_toolTip = nullptr;
    m_lastTool = -1;
  }
  return r;
}

BOOL CListCtrl::PreTranslateMessage(MSG* msg) {
  if (m_toolTip && msg->hwnd == m_hWnd) FilterToolTipMessage(msg);
  return CWnd::PreTranslateMessage(msg);
}

void CListCtrl::FilterToolTipMessage(MSG* msg) {
  UINT m = msg->message;
  bool mouse = m == WM_MOUSEMOVE || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP || m == WM_RBUTTONDOWN ||
               m == WM_RBUTTONUP || m == WM_MBUTTONDOWN || m == WM_MBUTTONUP;
  if (!mouse) return;
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  INT_PTR id = OnToolHitTest(CPoint(msg->lParam), &info);
  if (id != m_lastTool) {
    if (m_lastTool != -1) {
      TOOLINFOW old{};
      old.cbSize = sizeof(old);
      old.hwnd = m_hWnd;
      old.uId = (UINT_PTR)m_lastTool;
      ::SendMessageW(m_toolTip, TTM_POP, 0, 0);
      ::SendMessageW(m_toolTip, TTM_DELTOOLW, 0, (LPARAM)&old);
    }
    m_lastTool = -1;
    if (id != -1) {
      info.cbSize = sizeof(info);
      if (!info.hwnd) info.hwnd = m_hWnd;
      info.uFlags &= ~TTF_IDISHWND;
      if (::SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, (LPARAM)&info)) m_lastTool = id;
    }
  }
  if (m_lastTool != -1) ::SendMessageW(m_toolTip, TTM_RELAYEVENT, 0, (LPARAM)msg);
}

}  // namespace orva::fw
