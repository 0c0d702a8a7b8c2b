#include "cell_editors.h"
#include <cstdlib>
#include <new>
#include <utility>

namespace orva::ui {

namespace {
CCellEditBox* g_edit = nullptr;
CCellDateBox* g_date = nullptr;
CCellComboBox* g_combo = nullptr;
CCellSpinBox* g_spin = nullptr;

template <class T>
T* GetShared(T*& p) {
  if (!p) p = new (std::nothrow) T;
  return p;
}

template <class T>
void DestroyShared(T*& p) {
  if (!p) return;
  // The window goes first: its focus loss still hands the value to the list.
  if (p->m_hWnd && ::IsWindow(p->m_hWnd)) p->DestroyWindow();
  T* object = p;
  p = nullptr;
  delete object;
}

void SendChange(HWND editor, UINT message, UINT lastKey) {
  HWND parent = ::GetParent(editor);
  if (parent) ::SendMessageW(parent, message, lastKey, 0);
}

bool IsEndKey(WPARAM key) { return key == VK_RETURN || key == VK_ESCAPE || key == VK_TAB; }

const __int64 kEpochDifference = 11644473600LL;  // 1601 to 1970, in seconds
const __int64 kTicksPerSecond = 10000000LL;
}  // namespace

CCellEditBox* GetCellEditBox() { return GetShared(g_edit); }
CCellDateBox* GetCellDateBox() { return GetShared(g_date); }
CCellComboBox* GetCellComboBox() { return GetShared(g_combo); }
CCellSpinBox* GetCellSpinBox() { return GetShared(g_spin); }
CCellEditBox* PeekCellEditBox() { return g_edit; }
CCellDateBox* PeekCellDateBox() { return g_date; }
CCellComboBox* PeekCellComboBox() { return g_combo; }
CCellSpinBox* PeekCellSpinBox() { return g_spin; }
void DestroyCellEditBox() { DestroyShared(g_edit); }
void DestroyCellDateBox() { DestroyShared(g_date); }
void DestroyCellComboBox() { DestroyShared(g_combo); }
void DestroyCellSpinBox() { DestroyShared(g_spin); }

bool CellTimeToLocal(__int64 seconds, SYSTEMTIME& local) {
  if (seconds < 0 || seconds > 0x7FFFFFFFFFFFLL) return false;
  ULARGE_INTEGER ticks;
  ticks.QuadPart = (ULONGLONG)(seconds + kEpochDifference) * kTicksPerSecond;
  FILETIME ft{ticks.LowPart, ticks.HighPart};
  SYSTEMTIME utc;
  if (!FileTimeToSystemTime(&ft, &utc)) return false;
  return SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) != FALSE;
}

bool CellLocalToTime(const SYSTEMTIME& local, __int64& seconds) {
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft)) return false;
  ULARGE_INTEGER ticks;
  ticks.LowPart = ft.dwLowDateTime;
  ticks.HighPart = ft.dwHighDateTime;
  __int64 s = (__int64)(ticks.QuadPart / kTicksPerSecond) - kEpochDifference;
  if (s < 0) return false;
  seconds = s;
  return true;
}

// --- up-down button ---------------------------------------------------------------

BEGIN_MESSAGE_MAP(CCellSpinBox, CSpinButtonCtrl)
ON_NOTIFY_REFLECT(UDN_DELTAPOS, OnDeltaPos)
END_MESSAGE_MAP()

void CCellSpinBox::OnDeltaPos(NMHDR* nm, LRESULT* result) {
  *result = 1;  // the control never moves by itself
  auto* ud = (NMUPDOWN*)nm;
  int lower = 0, upper = 0;
  GetRange32(lower, upper);
  if (lower > upper) std::swap(lower, upper);
  int pos = ud->iPos;
  HWND parent = ::GetParent(m_hWnd);
  if (ud->iDelta < 0) {
    pos = pos - 1 < lower ? lower : pos - 1;
    if (parent) ::PostMessageW(parent, WM_XCELLSPIN_DELTA, 0, 0);
  } else if (ud->iDelta > 0) {
    pos = pos + 1 > upper ? upper : pos + 1;
    if (parent) ::PostMessageW(parent, WM_XCELLSPIN_DELTA, 1, 0);
  } else {
    return;
  }
  int veto = 0;
  if (parent) ::SendMessageW(parent, WM_XCELLSPIN_CHANGING, (WPARAM)pos, (LPARAM)&veto);
  if (veto == 0) SetPos32(pos);
}

// --- text box -------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CCellEditBox, CEdit)
ON_WM_KILLFOCUS()
ON_WM_CREATE()
ON_REGISTERED_MESSAGE(WM_XCELLSPIN_DELTA, OnSpinDelta)
ON_WM_PAINT()
END_MESSAGE_MAP()

CCellEditBox::~CCellEditBox() { DestroyCellSpinBox(); }

BOOL CCellEditBox::PreTranslateMessage(MSG* msg) {
  if (msg->hwnd == m_hWnd && msg->message == WM_KEYDOWN && IsEndKey(msg->wParam)) {
    m_lastKey = (UINT)msg->wParam;
    PostMessage(WM_CLOSE);
  }
  return CEdit::PreTranslateMessage(msg);
}

void CCellEditBox::OnKillFocus(CWnd*) {
  Default();
  HWND self = m_hWnd;
  PostMessage(WM_CLOSE);
  SendChange(self, WM_XCELLEDIT_CHANGE, m_lastKey);
}

int CCellEditBox::OnCreate(LPCREATESTRUCT) {
  if (Default() == -1) return -1;
  if (!IsRanged()) return 0;
  ModifyStyle(0, WS_CLIPCHILDREN);
  DestroyCellSpinBox();
  CCellSpinBox* spin = GetCellSpinBox();
  if (!spin) return 0;
  CRect client;
  GetClientRect(&client);
  CRect r(client.right - 16, client.top, client.right, client.bottom);
  if (r.left < client.left) r.left = client.left;
  if (spin->Create(0x50000093, r, this, 0)) spin->SetRange32(0, 1);
  return 0;
}

void CCellEditBox::OnPaint() {
  Default();
  CCellSpinBox* spin = PeekCellSpinBox();
  if (IsRanged() && spin && spin->m_hWnd)
    spin->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CCellEditBox::OnSpinDelta(WPARAM up, LPARAM) {
  int value = atoi(GetWindowText());
  CString text;
  if (up) {
    if ((long long)value + 1 > m_maximum) return 0;
    text.Format("%d", value + 1);
  } else {
    if ((long long)value - 1 < m_minimum) return 0;
    text.Format("%d", value - 1);
  }
  SetWindowText(text);
  return 0;
}

// --- date and time picker --------------------------------------------------------

BEGIN_MESSAGE_MAP(CCellDateBox, CDateTimeCtrl)
ON_WM_KILLFOCUS()
ON_NOTIFY_REFLECT(DTN_CLOSEUP, OnCloseUp)
ON_WM_CREATE()
END_MESSAGE_MAP()

bool CCellDateBox::IsCalendarOpen(HWND focusTo) const {
  if (!m_hWnd) return false;
  HWND calendar = GetMonthCalCtrl();
  if (!calendar) return false;
  // Some pickers keep a hidden calendar, and give it the focus before they show it.
  if (focusTo && (focusTo == calendar || ::IsChild(calendar, focusTo))) return true;
  return ::IsWindowVisible(calendar) != FALSE;
}

void CCellDateBox::EndEdit() {
  HWND self = m_hWnd;
  PostMessage(WM_CLOSE);
  SendChange(self, WM_XCELLDATE_CHANGE, m_lastKey);
}

BOOL CCellDateBox::PreTranslateMessage(MSG* msg) {
  if (msg->hwnd == m_hWnd && msg->message == WM_KEYDOWN && (IsEndKey(msg->wParam) || msg->wParam == VK_DELETE)) {
    m_lastKey = (UINT)msg->wParam;
    if (!IsCalendarOpen()) PostMessage(WM_CLOSE);
  }
  return CDateTimeCtrl::PreTranslateMessage(msg);
}

void CCellDateBox::OnKillFocus(CWnd* next) {
  Default();
  if (!IsCalendarOpen(next ? next->m_hWnd : nullptr)) EndEdit();
}

void CCellDateBox::OnCloseUp(NMHDR*, LRESULT* result) {
  *result = 0;
  EndEdit();
}

int CCellDateBox::OnCreate(LPCREATESTRUCT) { return Default() == -1 ? -1 : 0; }

// --- drop-down list ----------------------------------------------------------------

BEGIN_MESSAGE_MAP(CCellComboBox, CComboBox)
ON_WM_KILLFOCUS()
ON_CONTROL_REFLECT(CBN_CLOSEUP, OnCloseUp)
END_MESSAGE_MAP()

BOOL CCellComboBox::PreTranslateMessage(MSG* msg) {
  if (msg->hwnd == m_hWnd && msg->message == WM_KEYDOWN && IsEndKey(msg->wParam)) {
    m_lastKey = (UINT)msg->wParam;
    PostMessage(WM_CLOSE);
  }
  return CComboBox::PreTranslateMessage(msg);
}

void CCellComboBox::EndEdit() {
  HWND self = m_hWnd;
  PostMessage(WM_CLOSE);
  SendChange(self, WM_XCELLCOMBO_CHANGE, m_lastKey);
}

void CCellComboBox::OnKillFocus(CWnd*) {
  Default();
  EndEdit();
}

void CCellComboBox::OnCloseUp() { EndEdit(); }

// --- the list's side ------------------------------------------------------------------

namespace {
class CellEditorSet : public CReportCellEditors {
 public:
  BOOL Open(CReportListCtrl* list, Kind kind, int item, int subitem) override {
    if (!list || item < 0 || subitem < 0) return FALSE;
    ListItemData* cell = list->GetCell(item, subitem);
    if (!cell) return FALSE;
    switch (kind) {
      case Combo:
        return OpenCombo(list, *cell, item, subitem);
      case Edit:
        return OpenEdit(list, *cell, item, subitem);
      case Date:
        return OpenDate(list, *cell, item, subitem);
    }
    return FALSE;
  }

  BOOL TakeValue(CReportListCtrl*, Kind kind, UINT lastKey, ListItemData& cell, CString& text) override {
    switch (kind) {
      case Combo: {
        CCellComboBox* combo = PeekCellComboBox();
        if (!combo || !combo->m_hWnd) return FALSE;
        int sel = combo->GetCurSel();
        if (sel < 0) return FALSE;
        combo->GetLBText(sel, text);
        return TRUE;
      }
      case Date: {
        CCellDateBox* date = PeekCellDateBox();
        if (!date || !date->m_hWnd || lastKey == VK_ESCAPE || lastKey == VK_DELETE) return FALSE;
        SYSTEMTIME st{};
        __int64 seconds = 0;
        if (date->GetTime(&st) == GDT_VALID && CellLocalToTime(st, seconds)) cell.dateValue = seconds;
        text = date->GetWindowText();
        return TRUE;
      }
      case Edit: {
        CCellEditBox* edit = PeekCellEditBox();
        if (!edit || !edit->m_hWnd) return FALSE;
        text = edit->GetWindowText();
        if (cell.editMin >= 0 && cell.editMax >= 0) {
          int value = atoi(text);
          CString message;
          if (value < cell.editMin) {
            message.Format(SourceText(u8"입력값이 %d 이상 이어야 합니다."), cell.editMin);
            FrameworkMessageBox(message, MB_OK);
            return FALSE;
          }
          if (value > cell.editMax) {
            message.Format(SourceText(u8"입력값이 %d 이하 이어야 합니다."), cell.editMax);
            FrameworkMessageBox(message, MB_OK);
            return FALSE;
          }
        }
        return TRUE;
      }
    }
    return FALSE;
  }

  void DestroyAll() override {
    DestroyCellComboBox();
    DestroyCellEditBox();
    DestroyCellDateBox();
  }

 private:
  static BOOL OpenCombo(CReportListCtrl* list, ListItemData& cell, int item, int subitem) {
    if (cell.comboEntries.empty()) return FALSE;
    DestroyCellComboBox();
    CCellComboBox* combo = GetCellComboBox();
    CRect r;
    if (!combo || !list->GetCellRect(item, subitem, LVIR_BOUNDS, r)) return FALSE;
    int height = r.Height();
    r.left += 1;
    r.right -= 1;
    r.bottom = r.top + height * (int)cell.comboEntries.size();
    if (!combo->Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, r, list, 0)) return FALSE;
    for (const CString& entry : cell.comboEntries) combo->AddString(entry);
    combo->SelectString(0, list->GetItemText(item, subitem));
    combo->SetFont(list->GetListFont());
    combo->SetFocus();
    combo->SetItemHeight(-1, height - 2 > 0 ? height - 2 : 1);
    return TRUE;
  }

  static BOOL OpenEdit(CReportListCtrl* list, ListItemData& cell, int item, int subitem) {
    DestroyCellEditBox();
    CCellEditBox* edit = GetCellEditBox();
    CRect r;
    if (!edit || !list->GetCellRect(item, subitem, LVIR_BOUNDS, r)) return FALSE;
    edit->SetMinimum(cell.editMin).SetMaximum(cell.editMax);
    DWORD style = cell.editStyle;
    if (edit->IsRanged()) style |= ES_NUMBER;
    r.top += 1;
    r.left += 2;
    r.bottom -= 1;
    if (!edit->Create(style, r, list, 0)) return FALSE;
    edit->SetFont(list->GetListFont());
    if (cell.editLimit > 0) edit->LimitText(cell.editLimit);
    edit->SetWindowText(list->GetItemText(item, subitem));
    edit->SetSel(0, -1);
    edit->SetFocus();
    return TRUE;
  }

  static BOOL OpenDate(CReportListCtrl* list, ListItemData& cell, int item, int subitem) {
    DestroyCellDateBox();
    CCellDateBox* date = GetCellDateBox();
    CRect r;
    if (!date || !list->GetCellRect(item, subitem, LVIR_BOUNDS, r)) return FALSE;
    r.left += 1;
    r.right -= 1;
    r.bottom += 4;
    if (!date->Create(cell.dateStyle, r, list, 0)) return FALSE;
    date->SetFont(list->GetListFont());
    date->SetFormat(cell.dateFormat);
    SYSTEMTIME st{};
    if (CellTimeToLocal(cell.dateValue, st))
      date->SetTime(&st);
    else
      date->SetTime(nullptr);
    date->SetFocus();
    return TRUE;
  }
};

CellEditorSet g_editorSet;
}  // namespace

void InstallCellEditors() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_DATE_CLASSES | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  SetReportCellEditors(&g_editorSet);
}

}  // namespace orva::ui
