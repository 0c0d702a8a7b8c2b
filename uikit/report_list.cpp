#include "report_list.h"
#include <atomic>
#include "skin_cache.h"

namespace orva::ui {

const UINT WM_XCELLCOMBO_CHANGE = RegisterWindowMessageW(L"WM_XCELLCOMBO_CHANGE");
const UINT WM_XCELLDATE_CHANGE = RegisterWindowMessageW(L"WM_XCELLDATE_CHANGE");
const UINT WM_XCELLEDIT_CHANGE = RegisterWindowMessageW(L"WM_XCELLEDIT_CHANGE");
const UINT WM_XREPORTLIST_EDITBOX_CHANGE = RegisterWindowMessageW(L"WM_XREPORTLIST_EDITBOX_CHANGE");
const UINT WM_XREPORTLIST_DATEBOX_CHANGE = RegisterWindowMessageW(L"WM_XREPORTLIST_DATEBOX_CHANGE");
const UINT WM_XREPORTLIST_COMBOBOX_CHANGE = RegisterWindowMessageW(L"WM_XREPORTLIST_COMBOBOX_CHANGE");
const UINT WM_XREPORTLIST_CHECKBOX_CLICKING = RegisterWindowMessageW(L"WM_XREPORTLIST_CHECKBOX_CLICKING");
const UINT WM_XCELLSPIN_CHANGING = RegisterWindowMessageW(L"WM_XCELLSPIN_CHANGING");
const UINT WM_XCELLSPIN_DELTA = RegisterWindowMessageW(L"WM_XCELLSPIN_DELTA");

namespace {
std::atomic<long> g_liveRows{0};
CReportCellEditors* g_editors = nullptr;

ListItemRow* NewRow(int columns) {
  ListItemRow* row = new (std::nothrow) ListItemRow;
  if (!row) return nullptr;
  try {
    row->cells.resize(columns > 0 ? columns : 0);
  } catch (...) {
    delete row;
    return nullptr;
  }
  ++g_liveRows;
  return row;
}

void DeleteRow(ListItemRow* row) {
  if (!row) return;
  delete row;
  --g_liveRows;
}

// A pen (and the list font) selected into a DC for one drawing routine, put
// back and freed on every way out.
class CellGdi {
 public:
  CellGdi(HDC dc, COLORREF penColor, CFont* font) : m_dc(dc) {
    m_pen = CreatePen(PS_SOLID, 1, penColor);
    m_oldPen = m_pen ? SelectObject(dc, m_pen) : nullptr;
    if (font && font->m_hObject) m_oldFont = SelectObject(dc, font->m_hObject);
  }
  ~CellGdi() {
    if (m_oldFont) SelectObject(m_dc, m_oldFont);
    if (m_oldPen) SelectObject(m_dc, m_oldPen);
    if (m_pen) DeleteObject(m_pen);
  }
  CellGdi(const CellGdi&) = delete;
  CellGdi& operator=(const CellGdi&) = delete;

 private:
  HDC m_dc;
  HPEN m_pen = nullptr;
  HGDIOBJ m_oldPen = nullptr;
  HGDIOBJ m_oldFont = nullptr;
};

// A DC of the system wrapped for the drawing calls, without a temporary object.
class BorrowedDC : public CDC {
 public:
  explicit BorrowedDC(HDC h) { Attach(h); }
  ~BorrowedDC() override { Detach(); }
};

void FillRect(HDC dc, const RECT& r, COLORREF c) {
  COLORREF old = SetBkColor(dc, c);
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  SetBkColor(dc, old);
}
}  // namespace

void SetReportCellEditors(CReportCellEditors* editors) { g_editors = editors; }
CReportCellEditors* GetReportCellEditors() { return g_editors; }

BEGIN_MESSAGE_MAP(CReportListCtrl, CListCtrl)
ON_NOTIFY_REFLECT_EX(LVN_COLUMNCLICK, OnColumnClick)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnCustomDraw)
ON_NOTIFY_REFLECT(LVN_DELETEITEM, OnDeleteItemNotify)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_LBUTTONDOWN()
ON_WM_PAINT()
ON_WM_SYSCOLORCHANGE()
ON_WM_ERASEBKGND()
ON_WM_NCPAINT()
ON_WM_MOUSELEAVE()
ON_REGISTERED_MESSAGE(WM_XCELLEDIT_CHANGE, OnEditChange)
ON_REGISTERED_MESSAGE(WM_XCELLDATE_CHANGE, OnDateChange)
ON_REGISTERED_MESSAGE(WM_XCELLCOMBO_CHANGE, OnComboChange)
END_MESSAGE_MAP()

CReportListCtrl::CReportListCtrl()
    : m_troughColor(GetSysColor(COLOR_WINDOW)),
      m_greyText(GetSysColor(COLOR_GRAYTEXT)),
      m_defaultText(GetSysColor(COLOR_WINDOWTEXT)) {}

CReportListCtrl::~CReportListCtrl() {
  if (g_editors) g_editors->DestroyAll();
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    // The window outlives the object (a dialog item): leave it no records and no font of ours.
    int count = GetItemCount();
    for (int i = 0; i < count; ++i) FreeRow(i);
    if (m_rowFont.m_hObject && (HFONT)SendMessage(WM_GETFONT) == (HFONT)m_rowFont.m_hObject)
      SendMessage(WM_SETFONT, 0, FALSE);
  }
}

long CReportListCtrl::LiveRows() { return g_liveRows.load(); }

// --- binding ------------------------------------------------------------------

void CReportListCtrl::PreSubclassWindow() {
  CListCtrl::PreSubclassWindow();
  BindHeader();
}

int CReportListCtrl::OnCreate(LPCREATESTRUCT) {
  if (Default() == -1) return -1;
  BindHeader();
  return 0;
}

void CReportListCtrl::BindHeader() {
  if (m_headerBound || !m_hWnd) return;
  HWND header = GetHeaderHwnd();
  if (header && m_header.SubclassWindow(header)) m_headerBound = TRUE;
}

void CReportListCtrl::OnDestroy() {
  int count = GetItemCount();
  for (int i = 0; i < count; ++i) FreeRow(i);
  Default();
}

// --- rows ---------------------------------------------------------------------

ListItemRow* CReportListCtrl::GetRow(int item) const {
  if (!m_hWnd || item < 0 || item >= GetItemCount()) return nullptr;
  return (ListItemRow*)CListCtrl::GetItemData(item);
}

ListItemData* CReportListCtrl::GetCell(int item, int subitem) const {
  if (subitem < 0 || subitem >= GetColumnCount()) return nullptr;
  ListItemRow* row = GetRow(item);
  // A column added after the row was inserted has no record in it.
  if (!row || subitem >= (int)row->cells.size()) return nullptr;
  return &row->cells[subitem];
}

void CReportListCtrl::FreeRow(int item) {
  auto* row = (ListItemRow*)CListCtrl::GetItemData(item);
  if (!row) return;
  CListCtrl::SetItemData(item, 0);
  DeleteRow(row);
}

int CReportListCtrl::InsertItem(const LVITEMW* item) {
  if (!item || item->iItem < 0) return -1;
  // The list's item data only ever holds a row's records: the caller's
  // value goes into the records, never into the list view.
  LVITEMW bare = *item;
  bare.mask |= LVIF_PARAM;
  bare.lParam = 0;
  int index = CListCtrl::InsertItem(&bare);
  if (index < 0) return index;
  ListItemRow* row = NewRow(GetColumnCount());
  if (!row || row->cells.empty()) {
    // No records, no row: the caller is told and the list keeps no half row.
    DeleteRow(row);
    CListCtrl::DeleteItem(index);
    return -1;
  }
  row->cells[0].textColor = m_defaultText;
  row->cells[0].backColor = m_defaultBack;
  row->cells[0].image = (item->mask & LVIF_IMAGE) ? item->iImage : -1;
  if (item->mask & LVIF_PARAM) row->data = (DWORD_PTR)item->lParam;
  CListCtrl::SetItemData(index, (DWORD_PTR)row);
  return index;
}

int CReportListCtrl::InsertItem(int index, const char* text, int image) {
  std::wstring w = ToWideText(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = index;
  item.pszText = w.data();
  item.iImage = image;
  return InsertItem(&item);
}

BOOL CReportListCtrl::SetItemText(int item, int subitem, const char* text) {
  if (item < 0 || item >= GetItemCount() || subitem < 0 || subitem >= GetColumnCount()) return FALSE;
  if (GetItemText(item, subitem).Compare(text ? text : "") == 0) return FALSE;
  BOOL ok = CListCtrl::SetItemText(item, subitem, text);
  RedrawCell(item, subitem);
  return ok;
}

BOOL CReportListCtrl::DeleteItem(int item) {
  if (item < 0 || item >= GetItemCount()) return FALSE;
  FreeRow(item);
  if (m_hotItem == item) m_hotItem = -1;
  return CListCtrl::DeleteItem(item);
}

BOOL CReportListCtrl::DeleteAllItems() {
  int count = GetItemCount();
  for (int i = 0; i < count; ++i) FreeRow(i);
  m_hotItem = -1;
  return CListCtrl::DeleteAllItems();
}

// A row deleted by a way that passed by the list's own calls still frees its records.
void CReportListCtrl::OnDeleteItemNotify(NMHDR* nm, LRESULT* result) {
  auto* lv = (NMLISTVIEW*)nm;
  if (lv->lParam) DeleteRow((ListItemRow*)lv->lParam);
  *result = 0;
}

DWORD_PTR CReportListCtrl::GetRowData(int item) const {
  ListItemRow* row = GetRow(item);
  return row ? row->data : 0;
}

BOOL CReportListCtrl::SetRowData(int item, DWORD_PTR data) {
  ListItemRow* row = GetRow(item);
  if (!row) return FALSE;
  row->data = data;
  return TRUE;
}

BOOL CReportListCtrl::SetItemColors(int item, int subitem, COLORREF text, COLORREF back) {
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) return FALSE;
  cell->textColor = text;
  cell->backColor = back;
  RedrawCell(item, subitem);
  return TRUE;
}

BOOL CReportListCtrl::EnableRow(int item, BOOL enable) {
  ListItemRow* row = GetRow(item);
  if (!row) return FALSE;
  row->cells[0].enabled = enable ? 1 : 0;
  CRect r;
  if (GetItemRect(item, &r, LVIR_BOUNDS)) InvalidateRect(&r, TRUE);
  return TRUE;
}

BOOL CReportListCtrl::SetItemToolTipText(int item, int subitem, const char* text) {
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) return FALSE;
  cell->toolTip = text ? text : "";
  return TRUE;
}

int CReportListCtrl::GetColumnCount() const { return m_hWnd ? CListCtrl::GetColumnCount() : 0; }

// --- check boxes and progress --------------------------------------------------

int CReportListCtrl::GetCheckbox(int item, int subitem) const {
  ListItemData* cell = GetCell(item, subitem);
  return cell ? cell->check : -1;
}

BOOL CReportListCtrl::SetCheckbox(int item, int subitem, int state) {
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) return FALSE;
  cell->check = state;
  RedrawCell(item, subitem);
  UpdateHeaderCheckbox(subitem);
  return TRUE;
}

void CReportListCtrl::UpdateHeaderCheckbox(int column) {
  int now = GetHeaderCheckbox(column);
  if (now == 1 || now == 2) SetHeaderCheckbox(column, CountChecked(column) == GetItemCount() ? 2 : 1);
}

int CReportListCtrl::CountChecked(int column) const {
  if (column < 0 || column >= GetColumnCount()) return 0;
  int n = 0, count = GetItemCount();
  for (int i = 0; i < count; ++i) {
    ListItemData* cell = GetCell(i, column);
    if (cell && cell->check == 1) ++n;
  }
  return n;
}

int CReportListCtrl::GetHeaderCheckbox(int column) const {
  if (!m_hWnd || column < 0 || column >= GetColumnCount()) return -1;
  HDITEMW hd{};
  hd.mask = HDI_IMAGE;
  if (!::SendMessageW(GetHeaderHwnd(), HDM_GETITEMW, column, (LPARAM)&hd)) return -1;
  return hd.iImage;
}

BOOL CReportListCtrl::SetHeaderCheckbox(int column, int state) {
  if (!m_hWnd || column < 0 || column >= GetColumnCount()) return FALSE;
  HDITEMW hd{};
  hd.mask = HDI_IMAGE;
  hd.iImage = state;
  ::SendMessageW(GetHeaderHwnd(), HDM_SETITEMW, column, (LPARAM)&hd);
  return TRUE;
}

BOOL CReportListCtrl::SetProgress(int item, int subitem, BOOL showLabel, const char* text) {
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) return FALSE;
  cell->progress = TRUE;
  cell->percent = 0;
  cell->showLabel = showLabel;
  cell->progressText = text ? text : "";
  RedrawCell(item, subitem);
  return TRUE;
}

void CReportListCtrl::UpdateProgress(ProgressUpdate update) {
  ListItemData* cell = GetCell(update.item, update.subitem);
  if (!cell) return;
  // A new text colour alone is no change: it waits for the next real one.
  if (cell->progressText.Compare(update.text) == 0 && cell->percent == update.percent &&
      cell->barColor == update.barColor)
    return;
  cell->percent = update.percent;
  cell->barColor = update.barColor;
  cell->textColor = update.textColor;
  cell->progressText = update.text;
  RedrawCell(update.item, update.subitem);
}

// --- geometry -----------------------------------------------------------------

BOOL CReportListCtrl::GetCellRect(int item, int subitem, int area, CRect& rect) const {
  if (item < 0 || item >= GetItemCount() || subitem < 0 || subitem >= GetColumnCount()) return FALSE;
  RECT r{};
  if (!GetSubItemRect(item, subitem, area, r)) return FALSE;
  rect = r;
  if (subitem == 0 && GetColumnCount() > 1) {
    RECT next{};
    if (GetSubItemRect(item, 1, area, next)) rect.right = next.left;
  }
  rect.bottom -= 1;
  return TRUE;
}

void CReportListCtrl::RedrawCell(int item, int subitem) {
  CRect r;
  if (!GetCellRect(item, subitem, LVIR_BOUNDS, r)) return;
  InvalidateRect(&r, TRUE);
  UpdateWindow();
}

// --- drawing ------------------------------------------------------------------

void CReportListCtrl::OnCustomDraw(NMHDR* nm, LRESULT* result) {
  auto* cd = (NMLVCUSTOMDRAW*)nm;
  *result = 0;
  switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      *result = CDRF_NOTIFYITEMDRAW;
      return;
    case CDDS_ITEMPREPAINT:
      *result = CDRF_NOTIFYSUBITEMDRAW;
      return;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
      break;
    default:
      return;
  }
  *result = CDRF_SKIPDEFAULT;
  int item = (int)cd->nmcd.dwItemSpec, subitem = cd->iSubItem;
  ListItemRow* row = GetRow(item);
  ListItemData* cell = GetCell(item, subitem);
  if (!row || !cell) return;

  COLORREF text = cell->textColor, back = cell->backColor;
  if (row->cells[0].enabled == 0) text = m_greyText;
  cd->clrText = text;
  cd->clrTextBk = back;

  CRect rect;
  if (!GetCellRect(item, subitem, LVIR_BOUNDS, rect)) return;
  BorrowedDC dc(cd->nmcd.hdc);
  int saved = dc.SaveDC();
  if (cell->progress) {
    DrawProgress(&dc, item, subitem, rect, text, back);
  } else if (cell->combo || cell->edit || cell->date) {
    DrawText(&dc, item, subitem, rect, text, back);
  } else if (cell->check != -1) {
    DrawCheckbox(&dc, item, subitem, rect, text, back);
  } else {
    rect.left += DrawImage(&dc, item, subitem, rect, text, back);
    DrawText(&dc, item, subitem, rect, text, back);
  }
  dc.RestoreDC(saved);
}

void CReportListCtrl::GetCellColors(int item, int, COLORREF& text, COLORREF& back) const {
  if ((GetItemState(item, LVIS_SELECTED) & LVIS_SELECTED) && m_selectionColors &&
      (GetExtendedStyle() & LVS_EX_FULLROWSELECT)) {
    if (::GetFocus() == m_hWnd) {
      text = m_selText;
      back = m_selBack;
    } else if (GetStyle() & LVS_SHOWSELALWAYS) {
      text = m_defaultText;
      back = m_unfocusedSelBack;
    }
  }
  if (m_hotItem >= 0 && m_hotItem == item) back = m_hotBack;
}

void CReportListCtrl::DrawGridLine(CDC* dc, const CRect& rect) {
  if (!m_gridLines) return;
  dc->MoveTo(rect.left - 1, rect.bottom);
  dc->LineTo(rect.right + 1, rect.bottom);
}

void CReportListCtrl::DrawText(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back) {
  CellGdi gdi(dc->m_hDC, m_gridColor, m_listFont);
  GetCellColors(item, subitem, text, back);
  FillRect(dc->m_hDC, rect, back);
  CString s = GetItemText(item, subitem);
  if (!s.IsEmpty()) {
    HDITEMW hd{};
    hd.mask = HDI_FORMAT;
    ::SendMessageW(GetHeaderHwnd(), HDM_GETITEMW, subitem, (LPARAM)&hd);
    UINT format = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
    CRect r = rect;
    if (hd.fmt & HDF_CENTER) {
      format |= DT_CENTER;
    } else if (hd.fmt & HDF_RIGHT) {
      format |= DT_RIGHT;
    } else {
      format |= DT_LEFT;
      r.left += 4;
    }
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(text);
    r.OffsetRect(0, 1);
    dc->DrawText(s, &r, format);
  }
  DrawGridLine(dc, rect);
}

int CReportListCtrl::DrawImage(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back) {
  CellGdi gdi(dc->m_hDC, m_gridColor, nullptr);
  GetCellColors(item, subitem, text, back);
  FillRect(dc->m_hDC, rect, back);
  DrawGridLine(dc, rect);
  HIMAGELIST images = (HIMAGELIST)SendMessage(LVM_GETIMAGELIST, LVSIL_NORMAL);
  ListItemData* cell = GetCell(item, subitem);
  if (!images || !cell || cell->image == -1) return 0;
  IMAGEINFO info{};
  if (!ImageList_GetImageInfo(images, cell->image, &info)) return 0;
  int w = info.rcImage.right - info.rcImage.left, h = info.rcImage.bottom - info.rcImage.top;
  int margin = m_header.GetItemMargin();
  if (rect.Width() > 0) {
    int x = rect.left + margin;
    int y = rect.CenterPoint().y - h / 2;
    int dw = rect.Width() < w ? rect.Width() : w, dh = rect.Height() < h ? rect.Height() : h;
    COLORREF old = ImageList_SetBkColor(images, back);
    ImageList_DrawEx(images, cell->image, dc->m_hDC, x, y, dw, dh, CLR_DEFAULT, CLR_DEFAULT, ILD_NORMAL);
    ImageList_SetBkColor(images, old);
  }
  return margin + w;
}

void CReportListCtrl::DrawCheckbox(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back) {
  CellGdi gdi(dc->m_hDC, m_gridColor, m_listFont);
  GetCellColors(item, subitem, text, back);
  FillRect(dc->m_hDC, rect, back);
  DrawGridLine(dc, rect);
  rect.DeflateRect(1, 1, 1, 0);
  ListItemRow* row = GetRow(item);
  ListItemData* cell = GetCell(item, subitem);
  if (!row || !cell) return;

  CRect box(rect.left + 2, rect.top + 1, 0, rect.bottom - 1);
  box.right = box.left + box.Height();
  CString s = GetItemText(item, subitem);
  if (s.IsEmpty()) {
    box.left = rect.left + rect.Width() / 2 - box.Height() / 2 - 1;
    box.right = box.left + box.Height();
  }
  FillRect(dc->m_hDC, box, m_defaultBack);
  box.left += 1;
  dc->DrawEdge(&box, EDGE_SUNKEN, BF_RECT);
  if (cell->check == 1) {
    bool enabled = row->cells[0].enabled != 0;
    HPEN mark = CreatePen(PS_SOLID, 1, enabled ? RGB(0, 0, 0) : m_greyText);
    HGDIOBJ old = SelectObject(dc->m_hDC, mark);
    static const int dx[] = {9, 8, 7, 6, 5, 4, 3}, dy[] = {3, 4, 5, 6, 7, 6, 5};
    for (int i = 0; i < 7; ++i) {
      dc->MoveTo(box.left + dx[i], box.top + dy[i]);
      dc->LineTo(box.left + dx[i], box.top + dy[i] + 3);
    }
    SelectObject(dc->m_hDC, old);
    DeleteObject(mark);
  }
  if (!s.IsEmpty()) {
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(text);
    CRect r(box.right + 4, rect.top, rect.right, rect.bottom);
    dc->DrawText(s, &r, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
}

void CReportListCtrl::DrawProgress(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF) {
  CellGdi gdi(dc->m_hDC, m_gridColor, m_listFont);
  COLORREF cellText = m_defaultText, back = m_defaultBack;
  GetCellColors(item, subitem, cellText, back);
  FillRect(dc->m_hDC, rect, back);
  DrawGridLine(dc, rect);
  rect.DeflateRect(1, 1, 1, 0);
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) return;

  CRect trough(rect.left + 2, rect.top + 1, rect.right - 1, rect.bottom - 2);
  FillRect(dc->m_hDC, trough, m_troughColor);
  HBRUSH frame = CreateSolidBrush(RGB(0xC8, 0xC8, 0xC8));
  ::FrameRect(dc->m_hDC, &trough, frame);
  DeleteObject(frame);

  if (cell->percent >= 0) {
    int w = (trough.Width() - 1) * cell->percent / 100;
    CRect bar(trough.left + 1, trough.top + 1, 0, trough.bottom);
    bar.right = w < 3 ? bar.left + 6 : bar.left + w;
    bar.DeflateRect(2, 1, 2, 3);
    if (cell->percent != 0) FillRect(dc->m_hDC, bar, cell->barColor);

    if (cell->showLabel) {
      CString label = FormatProgressLabel(cell->progressText, cell->percent);
      dc->SetBkMode(TRANSPARENT);
      dc->SetTextColor(text);
      CRect r = trough;
      r.left -= 3;
      r.DeflateRect(1, 1);
      dc->DrawText(label, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
  }
}

void CReportListCtrl::OnPaint() {
  Default();
  if (GetItemCount() == 0) {
    HDC h = ::GetDC(m_hWnd);
    if (h) {
      BorrowedDC dc(h);
      int saved = dc.SaveDC();
      CRect rect;
      GetWindowRect(&rect);
      ScreenToClient(&rect);
      CRect headerItem;
      HWND header = GetHeaderHwnd();
      if (header && ::SendMessageW(header, HDM_GETITEMRECT, 0, (LPARAM)&headerItem)) rect.top += headerItem.bottom;
      dc.SetTextColor(m_defaultText);
      dc.SetBkColor(m_defaultBack);
      dc.SelectObject(GetStockObject(ANSI_VAR_FONT));
      FillRect(h, rect, m_defaultBack);
      rect.top += 10;
      dc.DrawText(m_emptyText, &rect, DT_CENTER | DT_WORDBREAK | DT_NOCLIP | DT_NOPREFIX);
      dc.RestoreDC(saved);
      ::ReleaseDC(m_hWnd, h);
    }
  }
  if (m_headerBound && m_header.m_hWnd)
    m_header.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

BOOL CReportListCtrl::OnEraseBkgnd(CDC* dc) {
  HWND header = GetHeaderHwnd();
  if (header && ::IsWindowVisible(header)) {
    CRect r;
    ::GetWindowRect(header, &r);
    ScreenToClient(&r);
    dc->ExcludeClipRect(&r);
  }
  CRect clip;
  dc->GetClipBox(&clip);
  FillRect(dc->m_hDC, clip, m_defaultBack);
  return TRUE;
}

void CReportListCtrl::OnNcPaint() {
  Default();
  if (!(GetExStyle() & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE))) return;
  HDC h = ::GetWindowDC(m_hWnd);
  if (!h) return;
  CRect r;
  GetWindowRect(&r);
  r.OffsetRect(-r.left, -r.top);
  HBRUSH brush = CreateSolidBrush(SkinCache().GetColor(5));
  ::FrameRect(h, &r, brush);
  DeleteObject(brush);
  ::ReleaseDC(m_hWnd, h);
}

void CReportListCtrl::OnSysColorChange() {
  Default();
  m_greyText = GetSysColor(COLOR_GRAYTEXT);
  m_defaultText = GetSysColor(COLOR_WINDOWTEXT);
  m_unfocusedSelBack = RGB(0xF0, 0xF0, 0xF0);
  m_defaultBack = RGB(0xFF, 0xFF, 0xFF);
  m_selBack = RGB(0xF5, 0xF5, 0xF5);
  m_selText = RGB(0x8C, 0x8C, 0x8C);
}

void CReportListCtrl::SetListFont(CFont* font) {
  m_listFont = font;
  if (m_hWnd) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CReportListCtrl::SetRowHeight(int height) {
  if (!m_hWnd) return;
  HDC dc = ::GetDC(m_hWnd);
  if (!dc) return;
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(m_hWnd, dc);
  CFont font;
  if (!font.CreateFont(-MulDiv(height - 7, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, PROOF_QUALITY, 0, "System"))
    return;
  // The new font first, then the old one goes: the list never holds a dead font.
  SendMessage(WM_SETFONT, (WPARAM)font.m_hObject, TRUE);
  m_rowFont.DeleteObject();
  m_rowFont.Attach(font.Detach());
}

// --- mouse ----------------------------------------------------------------------

HWND CReportListCtrl::OwnerWindow() const {
  HWND owner = ::GetParent(m_hWnd);
  if (!owner) owner = ::GetWindow(m_hWnd, GW_OWNER);
  return owner && ::IsWindow(owner) ? owner : nullptr;
}

void CReportListCtrl::OnLButtonDown(UINT, CPoint point) {
  int count = GetItemCount(), item = -1;
  int top = GetTopIndex(), last = top + GetCountPerPage() + 1;
  for (int i = top < 0 ? 0 : top; i < count && i <= last; ++i) {
    CRect r;
    if (GetItemRect(i, &r, LVIR_BOUNDS) && r.PtInRect(point)) {
      item = i;
      break;
    }
  }
  if (item < 0) {
    Default();
    return;
  }
  ListItemRow* row = GetRow(item);
  if (!row || row->cells[0].enabled == 0) return;
  int columns = GetColumnCount(), subitem = -1;
  for (int c = 0; c < columns; ++c) {
    CRect r;
    if (GetCellRect(item, c, LVIR_BOUNDS, r) && r.PtInRect(point)) {
      subitem = c;
      break;
    }
  }
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) {
    Default();
    return;
  }
  if (cell->check == 0 || cell->check == 1) {
    int next = cell->check == 0 ? 1 : 0;
    CheckboxClickInfo info{m_hWnd, item, subitem, CString()};
    HWND owner = OwnerWindow();
    LRESULT veto = owner ? ::SendMessageW(owner, WM_XREPORTLIST_CHECKBOX_CLICKING, (WPARAM)&info, next) : 0;
    if (veto == 0) {
      cell = GetCell(item, subitem);  // the owner may have changed the list
      if (cell) {
        cell->check = next;
        RedrawCell(item, subitem);
      }
    }
    UpdateHeaderCheckbox(subitem);
    Default();
    return;
  }
  CReportCellEditors::Kind kind;
  if (cell->combo)
    kind = CReportCellEditors::Combo;
  else if (cell->edit)
    kind = CReportCellEditors::Edit;
  else if (cell->date)
    kind = CReportCellEditors::Date;
  else {
    Default();
    return;
  }
  if (g_editors && g_editors->Open(this, kind, item, subitem)) {
    int* pos[3][2] = {{&m_comboItem, &m_comboSubitem}, {&m_editItem, &m_editSubitem}, {&m_dateItem, &m_dateSubitem}};
    *pos[kind][0] = item;
    *pos[kind][1] = subitem;
  }
}

BOOL CReportListCtrl::OnColumnClick(NMHDR* nm, LRESULT* result) {
  int column = ((NMLISTVIEW*)nm)->iSubItem;
  int before = GetHeaderCheckbox(column);
  if (before == 1 || before == 2) {
    SetHeaderCheckbox(column, before == 1 ? 2 : 1);
    if (m_header.m_hWnd) m_header.UpdateWindow();
    int state = before == 1 ? 1 : 0, count = GetItemCount();
    for (int i = 0; i < count; ++i) {
      ListItemData* cell = GetCell(i, column);
      if (cell && cell->check != -1) {
        cell->check = state;
        RedrawCell(i, column);
      }
    }
  }
  *result = 0;
  return FALSE;
}

BOOL CReportListCtrl::PreTranslateMessage(MSG* msg) {
  if (msg->hwnd == m_hWnd && msg->message == WM_MOUSEMOVE && ::GetFocus() == m_hWnd) {
    LVHITTESTINFO hit{};
    hit.pt = CPoint(msg->lParam);
    SubItemHitTest(&hit);
    if (hit.iItem >= 0 && hit.iSubItem >= 0 && hit.iItem != m_hotItem &&
        ::GetCursor() == LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW)) {
      if (!m_tracking) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&tme)) m_tracking = TRUE;
      }
      CRect r;
      if (m_hotItem >= 0 && GetItemRect(m_hotItem, &r, LVIR_BOUNDS)) InvalidateRect(&r, FALSE);
      m_hotItem = hit.iItem;
      if (GetItemRect(m_hotItem, &r, LVIR_BOUNDS)) InvalidateRect(&r, FALSE);
    }
  }
  return CListCtrl::PreTranslateMessage(msg);
}

void CReportListCtrl::OnMouseLeave() {
  m_tracking = FALSE;
  if (m_hotItem >= 0) {
    CRect r;
    if (GetItemRect(m_hotItem, &r, LVIR_BOUNDS)) InvalidateRect(&r, FALSE);
    m_hotItem = -1;
  }
}

// --- notifications ------------------------------------------------------------

BOOL CReportListCtrl::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  auto* nm = (NMHDR*)lParam;
  if (nm && (nm->code == HDN_ITEMCHANGINGA || nm->code == HDN_ITEMCHANGINGW)) {
    auto* hd = (NMHEADERW*)nm;
    if (hd->pitem && (hd->pitem->mask & HDI_WIDTH) && hd->pitem->cxy < 20) {
      *result = 1;
      return TRUE;
    }
  }
  // Tips of every cell: the tool ids run past any control id range.
  if (nm && m_toolTip && nm->hwndFrom == m_toolTip && (nm->code == TTN_NEEDTEXTA || nm->code == TTN_NEEDTEXTW))
    return OnToolTipText((UINT)nm->idFrom, nm, result);
  return CListCtrl::OnNotify(wParam, lParam, result);
}

INT_PTR CReportListCtrl::OnToolHitTest(CPoint point, TOOLINFOW* info) const {
  LVHITTESTINFO hit{};
  hit.pt = point;
  SubItemHitTest(&hit);
  if (hit.iItem < 0 || hit.iSubItem < 0 || !(hit.flags & LVHT_ONITEMLABEL)) return -1;
  INT_PTR id = (INT_PTR)hit.iItem * 1000 + hit.iSubItem + 1;
  info->hwnd = m_hWnd;
  info->uId = (UINT_PTR)id;
  GetClientRect(&info->rect);
  info->lpszText = LPSTR_TEXTCALLBACKW;
  return id;
}

CString CReportListCtrl::GetCellToolTip(int item, int subitem) const {
  // An empty tip is no tip.
  ListItemData* cell = GetCell(item, subitem);
  return cell ? cell->toolTip : CString();
}

BOOL CReportListCtrl::OnToolTipText(UINT id, NMHDR* nm, LRESULT* result) {
  if (id == 0) return TRUE;
  *result = 0;
  // The tool's id names its cell.
  int item = (int)((id - 1) / 1000), subitem = (int)((id - 1) % 1000);
  CString tip = GetCellToolTip(item, subitem);
  if (tip.IsEmpty()) return FALSE;
  m_tipText = ToWideText(tip);
  if (nm->code == TTN_NEEDTEXTW) {
    auto* di = (NMTTDISPINFOW*)nm;
    di->lpszText = m_tipText.data();
    di->hinst = nullptr;
  } else {
    auto* di = (NMTTDISPINFOA*)nm;
    lstrcpynA(di->szText, tip, (int)sizeof(di->szText));
    di->lpszText = di->szText;
    di->hinst = nullptr;
  }
  return FALSE;
}

// --- sorting --------------------------------------------------------------------

namespace {
int CALLBACK CompareSortKeys(LPARAM a, LPARAM b, LPARAM ascending) {
  auto* ra = (const ListItemRow*)a;
  auto* rb = (const ListItemRow*)b;
  return CompareReportSortKeys(ra ? ra->sortKey : nullptr, rb ? rb->sortKey : nullptr, (BOOL)ascending);
}
}  // namespace

void CReportListCtrl::SortByColumn(int column, BOOL ascending) {
  int count = GetItemCount();
  if (count == 0 || column < 0 || column >= GetColumnCount()) return;
  SetRedraw(FALSE);
  std::vector<ReportSortKey> keys(count);
  for (int i = 0; i < count; ++i) {
    ListItemRow* row = GetRow(i);
    if (!row) continue;
    keys[i].text = GetItemText(i, column);
    keys[i].first = GetItemText(i, 0);
    row->sortKey = &keys[i];
  }
  SortItems(CompareSortKeys, (DWORD_PTR)(ascending ? 1 : 0));
  for (int i = 0; i < count; ++i)
    if (ListItemRow* row = GetRow(i)) row->sortKey = nullptr;
  if (m_hotItem >= 0) m_hotItem = -1;
  SetRedraw(TRUE);
  Invalidate(TRUE);
}

// --- in-place editors -----------------------------------------------------------

void CReportListCtrl::EditNextCell(int item, int subitem) {
  int count = GetItemCount(), columns = GetColumnCount();
  for (int i = item < 0 ? 0 : item; i < count; ++i) {
    for (int c = (i == item ? subitem + 1 : 0); c < columns; ++c) {
      ListItemData* cell = GetCell(i, c);
      if (cell && (cell->combo || cell->edit || cell->date)) {
        CRect r;
        if (!GetCellRect(i, c, LVIR_BOUNDS, r)) return;
        CPoint p = r.CenterPoint();
        PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        return;
      }
    }
  }
}

LRESULT CReportListCtrl::StoreEditorValue(CReportCellEditors::Kind kind, int& item, int& subitem, UINT lastKey,
                                          UINT ownerMsg) {
  if (item < 0 || subitem < 0 || !g_editors) return 0;
  ListItemData* cell = GetCell(item, subitem);
  if (!cell) return 0;
  CString text;
  if (!g_editors->TakeValue(this, kind, lastKey, *cell, text)) return 0;
  int i = item, s = subitem;
  SetItemText(i, s, text);
  RedrawCell(i, s);
  if (HWND owner = OwnerWindow()) ::SendMessageW(owner, ownerMsg, i, s);
  if (lastKey == VK_TAB) EditNextCell(i, s);
  item = subitem = -1;
  return 0;
}

LRESULT CReportListCtrl::OnComboChange(WPARAM lastKey, LPARAM) {
  return StoreEditorValue(CReportCellEditors::Combo, m_comboItem, m_comboSubitem, (UINT)lastKey,
                          WM_XREPORTLIST_COMBOBOX_CHANGE);
}

LRESULT CReportListCtrl::OnDateChange(WPARAM lastKey, LPARAM) {
  SetFocus();
  return StoreEditorValue(CReportCellEditors::Date, m_dateItem, m_dateSubitem, (UINT)lastKey,
                          WM_XREPORTLIST_DATEBOX_CHANGE);
}

LRESULT CReportListCtrl::OnEditChange(WPARAM lastKey, LPARAM) {
  return StoreEditorValue(CReportCellEditors::Edit, m_editItem, m_editSubitem, (UINT)lastKey,
                          WM_XREPORTLIST_EDITBOX_CHANGE);
}

}  // namespace orva::ui
