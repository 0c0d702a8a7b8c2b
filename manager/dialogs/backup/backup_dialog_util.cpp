#include "backup_dialog_util.h"

#include "backup_job_logic.h"
#include "skin_button.h"
#include "skin_cache.h"

namespace orva::manager::backup {

std::string DriveSpaceText(const std::string& drive, int selector) {
  using GetSpaceFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto getSpace = kernel ? (GetSpaceFn)(void*)GetProcAddress(kernel, "GetDiskFreeSpaceExA") : nullptr;
  if (!getSpace) return "";
  ULARGE_INTEGER available{}, total{}, free{};
  std::string root = drive;
  if (!root.empty() && root.back() != '\\') root += '\\';
  if (!getSpace(root.c_str(), &available, &total, &free)) return "";
  if (selector == 0) return SizeText((int64_t)(total.QuadPart - free.QuadPart));
  if (selector == 1) return SizeText((int64_t)total.QuadPart);
  return "";
}

std::vector<std::string> FixedDrives() {
  std::vector<std::string> drives;
  char roots[256] = {};
  DWORD n = GetLogicalDriveStringsA(sizeof roots - 1, roots);
  if (n == 0 || n >= sizeof roots) return drives;
  for (const char* r = roots; *r; r += strlen(r) + 1) {
    if (GetDriveTypeA(r) != DRIVE_FIXED) continue;
    std::string root = r;
    drives.push_back(root.substr(0, root.find('\\')));
  }
  return drives;
}

void FitColumns(CListCtrl& list, std::initializer_list<int> percents) {
  CRect r;
  list.GetWindowRect(&r);
  const int width = r.Width();
  int rest = width;
  int column = 0;
  for (int p : percents) {
    int w = width * p / 100;
    list.SetColumnWidth(column++, w);
    rest -= w;
  }
  if (list.GetStyle() & WS_VSCROLL) rest -= GetSystemMetrics(SM_CXVSCROLL);
  if (list.GetExStyle() & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) rest -= 2 * GetSystemMetrics(SM_CXEDGE);
  if (list.GetStyle() & WS_BORDER) rest -= 2 * GetSystemMetrics(SM_CXBORDER);
  list.SetColumnWidth(column, rest > 0 ? rest : 0);
}

void SetUpReportList(CReportListCtrl& list, COLORREF grid) {
  CSkinCache& skin = SkinCache();
  list.SetRowHeight(20);
  list.SetListFont(skin.GetFont(1));
  list.m_header.SetHeaderHeight(30);
  list.m_header.SetCaptionFont(skin.GetFont(0));
  list.SetGridLineColor(grid);
  list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
}

void SkinButton(CSkinButton& button, int face, int iconSet, int iconSize, int margin) {
  CSkinCache& skin = SkinCache();
  button.SetBitmapImages(skin.GetBitmap(face), skin.GetColor(0), nullptr, 0);
  button.SetIconImages(skin.GetIcon(iconSet, iconSize), nullptr, margin, 0);
}

void AddRow(CReportListCtrl& list, int image, const std::string& label, const std::string& value) {
  std::wstring text = ToWideText(label.c_str());
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
  item.iItem = list.GetItemCount();
  item.pszText = text.data();
  item.iImage = image;
  item.state = INDEXTOSTATEIMAGEMASK(1);
  item.stateMask = LVIS_STATEIMAGEMASK;
  int row = list.InsertItem(&item);
  if (row >= 0) list.SetItemText(row, 1, value.c_str());
}

}  // namespace orva::manager::backup
