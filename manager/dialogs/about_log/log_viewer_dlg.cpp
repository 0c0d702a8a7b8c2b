#include "log_viewer_dlg.h"
#include <filesystem>
#include <map>
#include <string>
#include "contracts/ansi_path.h"
#include "contracts/shared_file.h"
#include "fw_menu.h"
#include "job_log_lines.h"
#include "log_viewer_resource.h"

namespace orva::manager {

namespace {
// Where the list sits in the client area, measured once at start.
int g_listLeft = 0;
int g_listTop = 0;
int g_listRightGap = 0;
int g_listBottomGap = 0;

MessageBoxParams g_ownBoxParams;

const struct {
  const char* header;
  int width;
} kColumns[] = {{"Time", 130}, {"Job Name", 70}, {"Job Type", 150}, {"Message", 300}};

orva::service::Retry OpenRetry() {
  return orva::service::Retry{CLogViewerDlg::kOpenTries, std::chrono::milliseconds(CLogViewerDlg::kOpenDelayMs)};
}

// The name is ANSI text: it goes through the system code page.
std::filesystem::path PathOf(const CString& name) { return orva::PathFromAnsi(name.str()); }

// Texts of the sorted column by row number, while SortItems runs.
struct SortTexts {
  std::map<LPARAM, CString> byRow;
  const char* Of(LPARAM row) const {
    auto it = byRow.find(row);
    return it == byRow.end() ? "" : it->second.GetString();
  }
};

int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM context) {
  auto* texts = (const SortTexts*)context;
  return CompareJobLogTexts(texts->Of(first), texts->Of(second));
}
}  // namespace

BEGIN_MESSAGE_MAP(CLogViewerDlg, CSkinDialog)
ON_NOTIFY(NM_RCLICK, IDC_LOG_LIST, OnListRightClick)
ON_NOTIFY(LVN_COLUMNCLICK, IDC_LOG_LIST, OnColumnClick)
ON_WM_SIZE()
ON_COMMAND(ID_LOG_CLEAR, OnClear)
END_MESSAGE_MAP()

CLogViewerDlg::CLogViewerDlg(CWnd* parent, const char* logPath, MessageBoxParams* boxParams)
    : CSkinDialog(IDD_LOG_VIEWER, parent),
      m_logPath(logPath ? logPath : "OrvaJob.log"),
      m_boxParams(boxParams ? boxParams : &g_ownBoxParams) {}

void CLogViewerDlg::DoDataExchange(CDataExchange* dx) {
  CSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_LOG_LIST, m_list);
}

BOOL CLogViewerDlg::OnInitDialog() {
  CSkinDialog::OnInitDialog();
  m_boxParams->options |= SMB_OPT_MODERN;
  m_boxParams->iconId = 178;
  SetWindowText("Orvanta Log Viewer");

  CRect client, list;
  GetClientRect(&client);
  m_list.GetWindowRect(&list);
  ScreenToClient(&list);
  g_listLeft = list.left;
  g_listTop = list.top;
  g_listRightGap = client.right - list.right;
  g_listBottomGap = client.bottom - list.bottom;
  PlaceList();

  m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  for (int i = 0; i < 4; ++i) m_list.InsertColumn(i, kColumns[i].header, LVCFMT_LEFT, kColumns[i].width);

  if (m_images.Create(16, 16, ILC_COLOR32, 8, 8)) {
    HICON icon = (HICON)::LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(IDI_LOG_ROW), IMAGE_ICON, 16, 16, 0);
    if (icon) {
      m_images.Add(icon);
      ::DestroyIcon(icon);
    }
    m_list.SetImageList(&m_images, LVSIL_SMALL);
  }
  LoadLog(m_logPath);
  return TRUE;
}

void CLogViewerDlg::ReportFileError(const CString& fileName, bool missing) {
  CString text;
  if (missing)
    text.Format("%s was not found.", fileName.GetString());
  else
    text.Format("%s could not be opened: it is in use by another program or access is denied.", fileName.GetString());
  FrameworkMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

BOOL CLogViewerDlg::LoadLog(const CString& fileName) {
  std::string bytes;
  auto read = orva::service::ReadWholeFile(PathOf(fileName), bytes, OpenRetry());
  if (read != orva::service::ReadResult::kOk) {
    ReportFileError(fileName, read == orva::service::ReadResult::kMissing);
    return FALSE;
  }
  // Numbers stay unique when rows are added to those shown.
  int row = m_list.GetItemCount();
  for (const JobLogRow& line : SplitJobLog(bytes)) {
    int index = m_list.InsertItem(row, line.time.c_str(), 0);
    if (index < 0) break;
    m_list.SetItemText(index, 1, line.jobName.c_str());
    m_list.SetItemText(index, 2, line.jobType.c_str());
    m_list.SetItemText(index, 3, line.message.c_str());
    m_list.SetItemData(index, (DWORD_PTR)row);
    ++row;
  }
  return TRUE;
}

void CLogViewerDlg::OnClear() {
  SkinMessageBox(this, SourceText(u8"로그파일 지우기 전"), "Orvanta", MB_OK, m_boxParams);
  // A log that cannot be read is not emptied unseen.
  std::string bytes;
  auto read = orva::service::ReadWholeFile(PathOf(m_logPath), bytes, OpenRetry());
  if (read == orva::service::ReadResult::kUnreadable) {
    ReportFileError(m_logPath, false);
    return;
  }
  if (!orva::service::ReplaceWholeFile(PathOf(m_logPath), std::string_view(), OpenRetry())) {
    ReportFileError(m_logPath, false);
    return;
  }
  m_list.DeleteAllItems();
  LoadLog(m_logPath);
}

void CLogViewerDlg::OnListRightClick(NMHDR*, LRESULT* result) {
  *result = 0;
  POINT p;
  ::GetCursorPos(&p);
  CMenu menu;
  HMENU popup = nullptr;
  if (menu.LoadMenu(IDR_LIST_MENUS)) popup = ::GetSubMenu(menu.m_hMenu, 1);
  CMenu own;
  if (!popup) {
    // Without the program's menu resource the viewer's popup is built here.
    if (!own.CreatePopupMenu() || !own.AppendMenu(MF_STRING, ID_LOG_CLEAR, "Clear")) return;
    popup = own.m_hMenu;
  }
  CMenu* sub = CMenu::FromHandle(popup);
  if (sub->GetMenuItemCount() > 0) sub->ModifyMenu(0, MF_BYPOSITION | MF_STRING, ID_LOG_CLEAR, "Clear");
  m_menuText = sub->GetMenuString(0, MF_BYPOSITION);
  sub->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, p.x, p.y, this);
}

void CLogViewerDlg::OnColumnClick(NMHDR* nm, LRESULT* result) {
  *result = 0;
  SortByColumn(((NMLISTVIEW*)nm)->iSubItem);
}

void CLogViewerDlg::SortByColumn(int column) {
  if (column < 0 || column >= 4) return;
  m_sortColumn = column;
  SortTexts texts;
  int count = m_list.GetItemCount();
  for (int i = 0; i < count; ++i) texts.byRow[(LPARAM)m_list.GetItemData(i)] = m_list.GetItemText(i, column);
  m_list.SortItems(CompareRows, (DWORD_PTR)&texts);
}

void CLogViewerDlg::OnSize(UINT type, int cx, int cy) {
  CSkinDialog::OnSize(type, cx, cy);
  if (::GetWindow(m_hWnd, GW_CHILD)) PlaceList();
  Invalidate();
}

void CLogViewerDlg::PlaceList() {
  if (!m_list.m_hWnd) return;
  CRect client;
  GetClientRect(&client);
  int right = client.right - g_listRightGap, bottom = client.bottom - g_listBottomGap;
  m_list.MoveWindow(g_listLeft, g_listTop, right > g_listLeft ? right - g_listLeft : 0,
                    bottom > g_listTop ? bottom - g_listTop : 0);
}

}  // namespace orva::manager
