#include "orva_manager_dlg.h"

#include <commctrl.h>

#include <filesystem>
#include <thread>

#include "core/history.h"
#include "contracts/job_record_check.h"
#include "core/repository_options.h"
#include "core/send_checks.h"
#include "details_pane.h"
#include "flat_menu.h"
#include "manager_message_box.h"
#include "replication_set_dlg.h"
#include "resource.h"
#include "skin_cache.h"
#include "fixed_disks.h"

namespace orva::manager {

using orva::service::FieldText;
using orva::service::JobName;

namespace {

constexpr UINT WM_JOB_VIEW = WM_APP + 1;
enum ViewKind { kViewRebuild, kViewAdded, kViewModified, kViewBackup, kViewReplication };
constexpr UINT_PTR kTimerClear = 1, kTimerRefresh = 2, kTimerRunAnswer = 3;
constexpr UINT kRunAnswerCheckMs = 5000;
constexpr COLORREF kStatusText = 0x787878, kStatusBar = 0x94FA94;

const UINT kMainIcons[] = {IDI_TREE_COMPUTER,
                           IDI_TREE_BACKUP_ONCE,
                           IDI_TREE_BACKUP_RUNNING,
                           IDI_TREE_ERROR,
                           IDI_TREE_REPLICATION_ONCE,
                           IDI_TREE_REPLICATION_RUNNING,
                           IDI_TREE_SCHEDULE,
                           IDI_TREE_REPLICATION_RUN,
                           IDI_TREE_NOTE,
                           IDI_TREE_PATH,
                           IDI_TREE_TIME,
                           IDI_TREE_LIST,
                           IDI_TREE_DRIVE,
                           IDI_TREE_SOURCE,
                           IDI_TREE_TARGET,
                           IDI_TREE_BACKUP_RECURRING,
                           IDI_TREE_REPLICATION_RECURRING,
                           IDI_TREE_INFO};
const UINT kHistoryIcons[] = {IDI_HISTORY_SUCCESS, IDI_HISTORY_FAILURE, IDI_TREE_NOTE};
// Run, Modify and Remove of a replication set, and Cancel of a running job,
// borrow pictures of the lists.
const UINT kMenuIcons[] = {IDI_MENU_ADD_SYNC,           IDI_MENU_USE_EXISTING,
                           IDI_MENU_CREATE_NEW,         IDI_MENU_RUN_BACKUP,
                           IDI_MENU_MODIFY_BACKUP,      IDI_MENU_DELETE_HISTORY,
                           IDI_MENU_REMOVE_INVENTORY,   IDI_MENU_DELETE_DISK,
                           IDI_MENU_RECOVERY,           IDI_TREE_REPLICATION_RUNNING,
                           IDI_MENU_MODIFY_REPLICATION, IDI_MENU_REMOVE_REPLICATION,
                           IDI_HISTORY_FAILURE,         IDI_MENU_CLEAR};

// The process-wide options and default repository of the manager.
orva::service::OptionsRecord g_options{};
std::string g_defaultRepository;

// The views as the receiving thread sees them: every update is sent to the
// dialog's thread and done there, in the order the records came.
class DialogViews : public JobViews {
 public:
  explicit DialogViews(HWND dialog) : dialog_(dialog) {}
  void Rebuild() override { Send(kViewRebuild, nullptr); }
  void Added(const JobRecord& e) override { Send(kViewAdded, &e); }
  void Modified() override { Send(kViewModified, nullptr); }
  void BackupStatus(const JobRecord& s) override { Send(kViewBackup, &s); }
  void ReplicationStatus(const JobRecord& s) override { Send(kViewReplication, &s); }

 private:
  void Send(ViewKind kind, const JobRecord* record) { SendMessageW(dialog_, WM_JOB_VIEW, kind, (LPARAM)record); }
  HWND dialog_;
};

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name) != 0) name[0] = 0;
  name[sizeof name - 1] = 0;
  return name;
}

}  // namespace

orva::service::OptionsRecord& ManagerOptions() { return g_options; }
const std::string& DefaultRepositoryFolder() { return g_defaultRepository; }

ManagerJobTable& JobTable() {
  static ManagerJobTable table;
  return table;
}

BEGIN_MESSAGE_MAP(COrvaManagerDlg, CSkinDialog)
ON_MESSAGE(WM_JOB_VIEW, OnJobView)
ON_WM_SIZE()
ON_WM_SIZING()
ON_WM_TIMER()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_CTLCOLOR()
ON_WM_SYSCOMMAND()
ON_WM_CONTEXTMENU()
ON_WM_MEASUREITEM()
ON_WM_DRAWITEM()
ON_WM_INITMENUPOPUP()
ON_WM_MENUCHAR()
ON_NOTIFY(TVN_SELCHANGEDW, IDC_JOB_TREE, OnTreeSelChanged)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_ACTIVE_LIST, OnActiveItemChanged)
ON_NOTIFY(NM_RCLICK, IDC_ACTIVE_LIST, OnActiveListRightClick)
ON_NOTIFY(NM_DBLCLK, IDC_DETAILS_LIST, OnDetailsDblClk)
ON_BN_CLICKED(IDC_AUTO_REFRESH, OnAutoRefresh)
ON_EN_CHANGE(IDC_REFRESH_SECONDS, OnRefreshSecondsChange)
ON_BN_CLICKED(IDC_BACKUP, OnBackup)
ON_BN_CLICKED(IDC_RECOVERY, OnRecovery)
ON_BN_CLICKED(IDC_REPOSITORY, OnOption)
ON_BN_CLICKED(IDC_ABOUT, OnAbout)
ON_BN_CLICKED(IDC_REPLICATION, OnReplicate)
ON_BN_CLICKED(IDC_COMMAND, OnCommandPrompt)
ON_BN_CLICKED(IDC_LOG, OnLog)
ON_COMMAND(ID_SERVER_OPTION, OnOption)
ON_COMMAND(ID_SERVER_EXIT, OnExit)
ON_COMMAND(ID_TASK_BACKUP, OnBackup)
ON_COMMAND(ID_TASK_REPLICATE, OnReplicate)
ON_COMMAND(ID_HELP_ABOUT, OnAbout)
ON_COMMAND(ID_USE_EXISTING, OnSelectFromRepository)
ON_COMMAND(ID_CREATE_NEW, OnBackup)
ON_COMMAND(ID_ROOT_RECOVERY, OnRecovery)
ON_COMMAND(ID_ADD_SYNC, OnAddSync)
ON_COMMAND(ID_JOB_RUN, OnJobRun)
ON_COMMAND(ID_REPLICATION_RUN, OnJobRun)
ON_COMMAND(ID_JOB_MODIFY, OnJobModify)
ON_COMMAND(ID_DELETE_HISTORY, OnJobDeleteHistory)
ON_COMMAND(ID_REPLICATION_HISTORY, OnJobDeleteHistory)
ON_COMMAND(ID_REMOVE_INVENTORY, OnJobDeleteFromInventory)
ON_COMMAND(ID_DELETE_DISK, OnJobRemoveFromDisk)
ON_COMMAND(ID_REPLICATION_REMOVE_DISK, OnReplicationRemoveFromDisk)
ON_COMMAND(ID_ACTIVE_CANCEL, OnActiveJobCancel)
ON_COMMAND(ID_ACTIVE_CLEAR, OnActiveClear)
END_MESSAGE_MAP()

COrvaManagerDlg::COrvaManagerDlg(CWnd* parent) : CSkinDialog(IDD_ORVAMANAGER_DIALOG, parent) {
  m_icon = FwGetApp() ? FwGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
}

COrvaManagerDlg::~COrvaManagerDlg() = default;

void COrvaManagerDlg::DoDataExchange(CDataExchange* dx) {
  CSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_ACTIVE_LIST, m_active);
  DDX_Control(dx, IDC_BACKUP, m_backup);
  DDX_Control(dx, IDC_REPLICATION, m_replication);
  DDX_Control(dx, IDC_REPOSITORY, m_repository);
  DDX_Control(dx, IDC_COMMAND, m_command);
  DDX_Control(dx, IDC_LOG, m_log);
  DDX_Control(dx, IDC_RECOVERY, m_recovery);
  DDX_Control(dx, IDC_ABOUT, m_about);
  DDX_Control(dx, IDC_HISTORY_LIST, m_history);
  DDX_Control(dx, IDC_DETAILS_LIST, m_details);
  DDX_Check(dx, IDC_AUTO_REFRESH, autoRefresh);
  DDX_Text(dx, IDC_REFRESH_SECONDS, refreshSeconds);
}

ConnectionPrompts COrvaManagerDlg::Prompts() {
  ConnectionPrompts prompts;
  HWND owner = m_hWnd;
  prompts.show = [owner](const std::string& text, const std::string& caption, ConnectionPrompts::Kind kind) {
    // The receiving thread's messages have no owner.
    const bool receiving = caption != "Orvanta";
    return ManagerMessageBox(receiving ? nullptr : owner, text, caption.c_str(),
                             kind == ConnectionPrompts::kYesNo ? MB_YESNO : MB_OK) == IDYES;
  };
  prompts.runCommand = [](const std::string& parameters) { RunCmdAndWait(parameters); };
  return prompts;
}

BOOL COrvaManagerDlg::OnInitDialog() {
  CSkinDialog::OnInitDialog();

  // The layout as the template places it. The skin's frame is wider than
  // the system's, so the window first grows until the client area holds the
  // controls with the template's margin again.
  {
    RECT client{}, running{}, history{};
    GetClientRect(&client);
    ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_ACTIVE_LIST), &running);
    ScreenToClient(&running);
    ::GetWindowRect(::GetDlgItem(m_hWnd, IDC_JOB_TREE), &history);
    ScreenToClient(&history);
    const int margin = history.left;  // the template's left margin, kept on every side
    const int growX = running.right + margin - client.right, growY = running.bottom + margin - client.bottom;
    if (growX > 0 || growY > 0) {
      RECT w{};
      GetWindowRect(&w);
      ::SetWindowPos(m_hWnd, nullptr, 0, 0, w.right - w.left + (growX > 0 ? growX : 0),
                     w.bottom - w.top + (growY > 0 ? growY : 0), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  {
    static const int ids[MainLayout::kCount] = {
        IDC_DETAILS_CAPTION, IDC_AUTO_REFRESH, IDC_REFRESH_SECONDS, IDC_SEC_LABEL,       IDC_DETAILS_LIST,
        IDC_HISTORY_CAPTION, IDC_HISTORY_LIST, IDC_JOB_TREE,        IDC_RUNNING_CAPTION, IDC_ACTIVE_LIST};
    Box boxes[MainLayout::kCount];
    for (int i = 0; i < MainLayout::kCount; ++i) {
      RECT r{};
      ::GetWindowRect(::GetDlgItem(m_hWnd, ids[i]), &r);
      ScreenToClient(&r);
      boxes[i] = {r.left, r.top, r.right, r.bottom};
    }
    RECT client{};
    GetClientRect(&client);
    m_layout.Measure(boxes, client.right, client.bottom);
    m_layoutReady = true;
    ApplyLayout();
  }

  if (HMENU sys = GetSystemMenu(FALSE)) {
    char text[128] = {};
    if (LoadStringA(FwGetResourceHandle(), IDS_ABOUTBOX, text, sizeof text) > 0) {
      AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(sys, MF_STRING, 0x0010, text);
    }
  }
  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);
  m_brush.CreateSolidBrush(0xFEFFFF);
  ::SendDlgItemMessageW(m_hWnd, IDC_REFRESH_SECONDS, EM_LIMITTEXT, 2, 0);

  m_mainImages.Create(16, 16, ILC_COLOR32, 19, 0);
  for (UINT id : kMainIcons) m_mainImages.Add(FwGetApp()->LoadIcon(id));
  m_historyImages.Create(16, 16, ILC_COLOR32, 3, 0);
  for (UINT id : kHistoryIcons) m_historyImages.Add(FwGetApp()->LoadIcon(id));
  ::SendMessageW(Tree(), TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)m_mainImages.m_hImageList);
  m_active.SetImageList(&m_mainImages, LVSIL_NORMAL);
  m_details.SetImageList(&m_mainImages, LVSIL_NORMAL);
  m_history.SetImageList(&m_historyImages, LVSIL_NORMAL);

  ApplySkinAndCaptions();
  static const char* const kDetailsColumns[] = {"Name", "Message"};
  static const char* const kHistoryColumns[] = {"Start Time", "Complete Time", "Elapsed Time", "Result", "Name"};
  static const char* const kActiveColumns[] = {"Backup Name", "Status", "Elapsed Time", "Start Time", "Complete Time"};
  SetupList(m_details, kDetailsColumns, 2);
  SetupList(m_history, kHistoryColumns, 5);
  SetupList(m_active, kActiveColumns, 5);
  FitLists();
  m_details.SetEmptyListText("There is no selected backup file.");
  m_history.SetEmptyListText("");
  m_active.SetEmptyListText("");
  SetupMenuImages();

  m_socket = ConnectToService("127.0.0.1", 2000, Prompts());
  if (m_socket == INVALID_SOCKET) return FALSE;

  // The repository options and the default repository.
  if (LoadOptionsFile(orva::service::kOptionsFileName, g_options) != 0)
    ManagerMessageBox(m_hWnd, "OrvaOption.ovc could not be opened.");
  std::string note;
  const auto disks = orva::platform::QueryFixedDisks(note);
  if (note.rfind("SUCCESS", 0) == 0) {
    if (auto chosen = DefaultRepository(disks))
      g_defaultRepository = *chosen;
    else
      g_defaultRepository.clear();
  }

  // The receiving thread lives as long as the process.
  std::thread([socket = m_socket, hwnd = m_hWnd, prompts = Prompts()] {
    static DialogViews views(hwnd);
    static RecordReceiver receiver(JobTable(), views);
    ReceiveRecords(socket, receiver, prompts);
  }).detach();

  SetTimer(kTimerClear, 600000);
  refreshSeconds = 5;
  UpdateData(FALSE);
  SetTimer(kTimerRefresh, refreshSeconds * 1000);
  OnAutoRefresh();
  return TRUE;
}

void COrvaManagerDlg::ApplySkinAndCaptions() {
  m_replication.ShowWindow(SW_HIDE);
  m_command.ShowWindow(SW_HIDE);
  SetWindowText("Orvanta Windows Backup v3.0.1");
  static const struct {
    int id;
    const char* text;
  } kTexts[] = {{IDC_BACKUP, "Backup"},
                {IDC_REPLICATION, "Replication"},
                {IDC_RECOVERY, "Recovery"},
                {IDC_REPOSITORY, "Repository"},
                {IDC_ABOUT, "About"},
                {IDC_COMMAND, "Command"},
                {IDC_LOG, "Log"},
                {IDC_DETAILS_CAPTION, "Details"},
                {IDC_HISTORY_CAPTION, "History"},
                {IDC_RUNNING_CAPTION, "Running Job"},
                {IDC_AUTO_REFRESH, "Refresh"},
                {IDC_SEC_LABEL, "sec"}};
  for (const auto& t : kTexts) SetDlgItemText(t.id, t.text);
  CSkinCache& skin = SkinCache();
  const struct {
    CSkinButton* button;
    int icon;
  } kButtons[] = {{&m_backup, 2}, {&m_replication, 3}, {&m_recovery, 13}, {&m_repository, 4},
                  {&m_about, 0},  {&m_command, 6},     {&m_log, 7}};
  for (const auto& b : kButtons) {
    b.button->SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0));
    b.button->SetIconImages(skin.GetIcon(b.icon, 0), nullptr, 4, 0);
  }
  m_log.ShowWindow(SW_HIDE);
}

void COrvaManagerDlg::SetupMenuImages() {
  CFlatMenu::UpdateMenuBar(m_hWnd);
  CFlatMenu::SetFlatMenuWindow(m_hWnd, true);
  m_menuImages.Create(16, 16, ILC_COLOR32, 14, 0);
  for (UINT id : kMenuIcons) m_menuImages.Add(FwGetApp()->LoadIcon(id));
  const struct {
    UINT command;
    int image;
  } kImages[] = {{ID_ADD_SYNC, 0},      {ID_USE_EXISTING, 1},   {ID_CREATE_NEW, 2},
                 {ID_ROOT_RECOVERY, 8}, {ID_ACTIVE_CANCEL, 12}, {ID_ACTIVE_CLEAR, 13}};
  for (const auto& i : kImages) CFlatMenu::SetCommandImage(i.command, m_menuImages.m_hImageList, i.image);
}

void COrvaManagerDlg::SetupList(CReportListCtrl& list, const char* const* columns, int count) {
  CSkinCache& skin = SkinCache();
  list.SetRowHeight(20);
  list.SetListFont(skin.GetFont(1));
  list.m_header.SetCaptionFont(skin.GetFont(0));
  list.m_header.SetHeaderHeight(30);
  list.SetGridLineColor(0xF0F0F0);
  for (int i = 0; i < count; ++i) list.InsertColumn(i, columns[i], LVCFMT_LEFT, 80);
  list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
  list.EnableToolTips(TRUE);
}

void COrvaManagerDlg::FitList(CReportListCtrl& list, const std::vector<int>& percents) {
  std::vector<int> shares = percents;
  shares.push_back(0);
  FitColumnWidths(list, shares.data());
}

void COrvaManagerDlg::FitLists() {
  FitList(m_active, {30, 28, 10, 16});
  FitList(m_history, {27, 23, 15, 12});
  FitList(m_details, {30});
}

void COrvaManagerDlg::ApplyLayout() {
  if (!m_layoutReady) return;
  static const int ids[MainLayout::kCount] = {
      IDC_DETAILS_CAPTION, IDC_AUTO_REFRESH, IDC_REFRESH_SECONDS, IDC_SEC_LABEL,       IDC_DETAILS_LIST,
      IDC_HISTORY_CAPTION, IDC_HISTORY_LIST, IDC_JOB_TREE,        IDC_RUNNING_CAPTION, IDC_ACTIVE_LIST};
  RECT client{};
  GetClientRect(&client);
  Box out[MainLayout::kCount];
  m_layout.Apply(client.right, client.bottom, out);
  for (int i = 0; i < MainLayout::kCount; ++i)
    ::MoveWindow(::GetDlgItem(m_hWnd, ids[i]), out[i].left, out[i].top, out[i].Width(), out[i].Height(), FALSE);
  Invalidate();
  UpdateWindow();
}

void COrvaManagerDlg::OnSize(UINT type, int cx, int cy) {
  CSkinDialogBase::OnSize(type, cx, cy);
  if (type == SIZE_MINIMIZED) return;
  if (::GetWindow(m_hWnd, GW_CHILD)) ApplyLayout();
  FitLists();
}

void COrvaManagerDlg::OnSizing(UINT edge, LPRECT rect) {
  Box b{rect->left, rect->top, rect->right, rect->bottom};
  EnforceMinimumSize(b, (int)edge);
  *rect = RECT{b.left, b.top, b.right, b.bottom};
}

void COrvaManagerDlg::OnPaint() {
  if (IsIconic()) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    RECT r{};
    GetClientRect(&r);
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (r.right - cx + 1) / 2, (r.bottom - cy + 1) / 2, m_icon);
    ::EndPaint(m_hWnd, &ps);
    return;
  }
  CSkinDialogBase::OnPaint();
}

HCURSOR COrvaManagerDlg::OnQueryDragIcon() { return (HCURSOR)m_icon; }

HBRUSH COrvaManagerDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  CSkinDialogBase::OnCtlColor(dc, wnd, kind);
  if (kind == CTLCOLOR_STATIC) dc->SetBkMode(TRANSPARENT);
  return (HBRUSH)m_brush.m_hObject;
}

void COrvaManagerDlg::OnSysCommand(UINT id, LPARAM) {
  if ((id & 0xFFF0) == 0x0010) {
    OnAbout();
    return;
  }
  Default();
}

// --- owner-drawn menus ---------------------------------------------------

void COrvaManagerDlg::OnMeasureItem(int, LPMEASUREITEMSTRUCT mis) {
  if (mis->CtlType == ODT_MENU)
    CFlatMenu::OnMeasureItem(mis);
  else
    Default();
}

void COrvaManagerDlg::OnDrawItem(int, LPDRAWITEMSTRUCT dis) {
  if (!CFlatMenu::OnDrawItem(dis, m_hWnd)) Default();
}

void COrvaManagerDlg::OnInitMenuPopup(CMenu* menu, UINT, BOOL) {
  Default();
  if (menu) CFlatMenu::PrepareMenu(m_hWnd, menu->m_hMenu, true, false);
}

LRESULT COrvaManagerDlg::OnMenuChar(UINT ch, UINT flags, CMenu* menu) {
  if (menu && CFlatMenu::IsOwnerDrawMenu(menu->m_hMenu)) return CFlatMenu::OnMenuChar(menu->m_hMenu, ch, flags);
  return Default();
}

// --- refresh --------------------------------------------------------------

void COrvaManagerDlg::OnAutoRefresh() {
  autoRefresh = IsDlgButtonChecked(IDC_AUTO_REFRESH) == BST_CHECKED ? 1 : 0;
  BOOL ok = FALSE;
  const int seconds = (int)GetDlgItemInt(IDC_REFRESH_SECONDS, &ok, TRUE);
  if (ok) refreshSeconds = seconds;
  const BOOL on = autoRefresh == 1;
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_REFRESH_SECONDS), on);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SEC_LABEL), on);
  if (on) {
    if (refreshSeconds > 0 && m_socket != INVALID_SOCKET) SetTimer(kTimerRefresh, refreshSeconds * 1000);
  } else {
    KillTimer(kTimerRefresh);
  }
}

void COrvaManagerDlg::OnRefreshSecondsChange() {
  if (!m_layoutReady || m_exchanging) return;
  // Writing the members back changes the box again.
  m_exchanging = true;
  // Text that is no integer is refused ("Enter an integer."); 0 or less
  // keeps the timer as it runs.
  if (UpdateData(TRUE)) {
    if (refreshSeconds > 0 && autoRefresh == 1 && m_socket != INVALID_SOCKET) {
      SetTimer(kTimerRefresh, refreshSeconds * 1000);
    }
    UpdateData(FALSE);
  }
  m_exchanging = false;
}

void COrvaManagerDlg::ClearFinishedRows() {
  for (int i = m_active.GetItemCount() - 1; i >= 0; --i)
    if (!m_active.GetItemText(i, 4).IsEmpty()) m_active.DeleteItem(i);
}

void COrvaManagerDlg::OnTimer(UINT_PTR id) {
  if (id == kTimerClear) {
    ClearFinishedRows();
  } else if (id == kTimerRefresh) {
    HTREEITEM sel = TreeView_GetSelection(Tree());
    if (sel) ShowSelection(ItemText(sel), sel == m_root);
    FitLists();
  } else if (id == kTimerRunAnswer) {
    const std::vector<std::string> late = m_pendingRuns.TakeUnanswered(GetTickCount64());
    if (m_pendingRuns.Empty()) KillTimer(kTimerRunAnswer);
    for (const std::string& name : late) EndUnansweredRun(name);
  } else {
    Default();
  }
}

void COrvaManagerDlg::OnActiveClear() { ClearFinishedRows(); }

void COrvaManagerDlg::LoadHistoryPane(const std::string& jobName, int mode) {
  std::vector<HistoryRow> rows;
  if (!LoadHistory(kHistoryFileName, jobName, mode, rows)) return;
  m_history.DeleteAllItems();
  int n = 0;
  for (const HistoryRow& row : rows) {
    const int item = m_history.InsertItem(n, row.start.c_str(), row.image);
    m_history.SetItemState(item, INDEXTOSTATEIMAGEMASK(1), LVIS_STATEIMAGEMASK);
    m_history.SetItemText(item, 1, row.end.c_str());
    m_history.SetItemText(item, 2, row.elapsed.c_str());
    m_history.SetItemText(item, 3, row.result.c_str());
    m_history.SetItemText(item, 4, row.name.c_str());
    ++n;
  }
}

// Details and history of the computer or of one job.
void COrvaManagerDlg::ShowSelection(const std::string& name, bool isRoot) {
  ShowDetails(name, isRoot ? 0 : 1);
  LoadHistoryPane(name, isRoot ? 0 : 1);
}

void COrvaManagerDlg::OnTreeSelChanged(NMHDR*, LRESULT* result) {
  *result = 0;
  HTREEITEM sel = TreeView_GetSelection(Tree());
  if (!sel) return;
  ShowSelection(ItemText(sel), sel == m_root);
  FitList(m_details, {30});
}

void COrvaManagerDlg::OnActiveItemChanged(NMHDR* nm, LRESULT* result) {
  *result = 0;
  auto* lv = (NMLISTVIEW*)nm;
  if (lv->iItem < 0 || !(m_active.GetItemState(lv->iItem, LVIS_SELECTED) & LVIS_SELECTED)) return;
  if (!(lv->uChanged & LVIF_STATE) || !(lv->uNewState & LVIS_SELECTED) || (lv->uOldState & LVIS_SELECTED)) return;
  ShowSelection((const char*)m_active.GetItemText(lv->iItem, 0), false);
  FitList(m_details, {30});
}

void COrvaManagerDlg::OnDetailsDblClk(NMHDR*, LRESULT* result) {
  *result = 0;
  const int row = m_details.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0 || m_details.GetItemText(row, 0) != CString("Log ")) return;
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  for (int i = 0; i < 2; ++i) {
    const size_t cut = folder.rfind('\\');
    if (cut == std::string::npos) return;
    folder.resize(cut);
  }
  const std::string command = "notepad.exe " + folder + "\\" + (const char*)m_details.GetItemText(row, 1);
  WinExec(command.c_str(), SW_SHOW);
}

// --- commands ---------------------------------------------------------------

void COrvaManagerDlg::OnExit() {
  if (ManagerMessageBox(m_hWnd, "Do you want to quit this program?", "Orvanta", MB_YESNO) == IDYES) ExitProcess(1);
}

void COrvaManagerDlg::OnRecovery() { WinExec("OrvaMediaMaker.exe", SW_SHOW); }
void COrvaManagerDlg::OnCommandPrompt() { WinExec("cmd.exe", SW_SHOW); }

bool COrvaManagerDlg::SendRecord(const JobRecord& record) {
  if (!CheckBeforeSending(record)) return false;
  return SendJobRecord(m_socket, record, Prompts());
}

bool COrvaManagerDlg::CheckBeforeSending(const JobRecord& record) {
  const ReplicationGuards guards = DefaultReplicationGuards();
  auto nameExists = [this](std::string_view name) {
    if (JobTable().Find(std::string(name))) return true;
    // A job still shown in the tree counts too.
    if (m_root)
      for (HTREEITEM item = TreeView_GetChild(Tree(), m_root); item; item = TreeView_GetNextSibling(Tree(), item))
        if (ItemText(item) == name) return true;
    return false;
  };
  const std::string why = SendRefusal(record, nameExists, guards.windowsFolder, guards.serviceFolder);
  if (why.empty()) return true;
  ManagerMessageBox(m_hWnd, SendRefusalMessage(record, why));
  return false;
}

void COrvaManagerDlg::OnJobRun() {
  HTREEITEM item = TreeView_GetSelection(Tree());
  if (!item) return;
  const std::string name = ItemText(item);
  const int image = ItemImage(item);
  if (image == kImgBackupRunning || image == kImgReplRun) return;
  if (!JobTable().SetCode(name, orva::service::kRunJob)) return;
  const auto entry = JobTable().Find(name);  // copied under the lock; sent after it
  if (!entry || !SendRecord(*entry)) return;
  if (entry->jobType >= orva::service::kFullBackup && entry->jobType <= orva::service::kDifferentialBackup)
    SetItemImage(item, kImgBackupRunning);
  else if (IsReplicationType(entry->jobType))
    SetItemImage(item, kImgReplRun);
  else
    return;
  // The running image stays only while the service answers the run.
  m_pendingRuns.Asked(name, GetTickCount64());
  SetTimer(kTimerRunAnswer, kRunAnswerCheckMs);
}

void COrvaManagerDlg::EndUnansweredRun(const std::string& name) {
  const auto entry = JobTable().Find(name);
  if (!entry || !m_root) return;
  bool shown = false;
  for (HTREEITEM item = TreeView_GetChild(Tree(), m_root); item; item = TreeView_GetNextSibling(Tree(), item)) {
    const int image = ItemImage(item);
    if (ItemText(item) != name || (image != kImgBackupRunning && image != kImgReplRun)) continue;
    SetItemImage(item, JobKindImage(*entry));
    shown = true;
  }
  if (shown)
    ManagerMessageBox(m_hWnd, "The service did not start \"" + name + "\": no report of the run came within " +
                                  std::to_string(kRunAnswerLimitMs / 1000) + " seconds.");
}

void COrvaManagerDlg::OnActiveJobCancel() {
  int row = m_active.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) {
    ManagerMessageBox(m_hWnd, "Select an backup process.");
    return;
  }
  if (!m_active.GetItemText(row, 4).IsEmpty()) return;
  if (ManagerMessageBox(m_hWnd, "Are you sure to cancel backup process?", "Orvanta", MB_YESNO) != IDYES) return;
  row = m_active.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) {
    ManagerMessageBox(m_hWnd, SourceText(u8"선택된 백업이 없습니다.").str());
    return;
  }
  const std::string name = (const char*)m_active.GetItemText(row, 0);
  for (const JobRecord& e : JobTable().Entries()) {
    if (JobName(e) != name) continue;
    JobRecord cancel{};
    cancel.code = orva::service::kCancelJob;
    orva::service::SetFieldText(cancel.jobName, name);
    if (!SendRecord(cancel)) return;
  }
}

// --- context menus --------------------------------------------------------

void COrvaManagerDlg::OnContextMenu(CWnd* wnd, CPoint point) {
  if (!wnd || wnd->m_hWnd != Tree()) {
    Default();
    return;
  }
  TVHITTESTINFO hit{};
  hit.pt = point;
  ::ScreenToClient(Tree(), &hit.pt);
  const HTREEITEM at = TreeView_HitTest(Tree(), &hit);
  if (at && (hit.flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON))) TreeView_SelectItem(Tree(), at);
  HTREEITEM sel = TreeView_GetSelection(Tree());
  if (!sel) return;
  if (point.x == -1 && point.y == -1) {  // from the keyboard: at the item
    RECT r{};
    TreeView_GetItemRect(Tree(), sel, &r, TRUE);
    POINT p{r.left, r.bottom};
    ::ClientToScreen(Tree(), &p);
    point = CPoint(p.x, p.y);
  }
  const auto entry = JobTable().Find(ItemText(sel));
  const bool replication = entry && IsReplicationType(entry->jobType);
  CMenu menu;
  if (!menu.LoadMenu(IDR_TREE_MENU)) return;
  if (sel == m_root) {
    HMENU root = ::GetSubMenu(menu.m_hMenu, 0);
    CMenu* popup = CMenu::FromHandle(root);
    HMENU backup = ::GetSubMenu(root, 0);
    popup->ModifyMenu(0, MF_BYPOSITION | MF_POPUP | MF_STRING, (UINT_PTR)backup, "Backup");
    popup->ModifyMenu(ID_USE_EXISTING, MF_BYCOMMAND | MF_STRING, ID_USE_EXISTING, "Use an existing backup");
    popup->ModifyMenu(ID_CREATE_NEW, MF_BYCOMMAND | MF_STRING, ID_CREATE_NEW, "Create a new backup");
    popup->ModifyMenu(ID_ROOT_RECOVERY, MF_BYCOMMAND | MF_STRING, ID_ROOT_RECOVERY, "Recovery");
    popup->RemoveMenu(ID_ADD_SYNC, MF_BYCOMMAND);
    popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
  } else if (TreeView_GetParent(Tree(), sel) == m_root) {
    HMENU sub = ::GetSubMenu(menu.m_hMenu, 1);
    CMenu* popup = CMenu::FromHandle(sub);
    const int images[5] = {replication ? 9 : 3, replication ? 10 : 4, 5, replication ? 11 : 6, 7};
    const UINT commands[5] = {ID_JOB_RUN, ID_JOB_MODIFY, ID_DELETE_HISTORY, ID_REMOVE_INVENTORY, ID_DELETE_DISK};
    const char* const labels[5] = {"Run", "Modify", "Delete History", "Remove from Inventory", "Delete from Disk"};
    for (int i = 0; i < 5; ++i) {
      CFlatMenu::SetCommandImage(commands[i], m_menuImages.m_hImageList, images[i]);
      popup->ModifyMenu(commands[i], MF_BYCOMMAND | MF_STRING, commands[i], labels[i]);
    }
    CFlatMenu::SetCommandImage(ID_ROOT_RECOVERY, m_menuImages.m_hImageList, 8);
    popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
  }
}

void COrvaManagerDlg::OnActiveListRightClick(NMHDR* nm, LRESULT* result) {
  // Where the click was (the cursor may have moved on since).
  POINT p = ((NMITEMACTIVATE*)nm)->ptAction;
  ::ClientToScreen(nm->hwndFrom, &p);
  CMenu menu;
  if (menu.LoadMenu(IDR_ACTIVE_MENU)) {
    CMenu* popup = menu.GetSubMenu(0);
    popup->ModifyMenu(0, MF_BYPOSITION | MF_STRING, ID_ACTIVE_CANCEL, "Cancel");
    popup->ModifyMenu(1, MF_BYPOSITION | MF_STRING, ID_ACTIVE_CLEAR, "Clear");
    popup->TrackPopupMenu(TPM_LEFTALIGN, p.x, p.y, this);
  }
  *result = 0;
}

// --- job tree ---------------------------------------------------------------

std::string COrvaManagerDlg::ItemText(HTREEITEM item) const {
  wchar_t text[600] = {};
  TVITEMW tv{};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = 599;
  ::SendMessageW(Tree(), TVM_GETITEMW, 0, (LPARAM)&tv);
  char out[1300] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
  return out;
}

int COrvaManagerDlg::ItemImage(HTREEITEM item) const {
  TVITEMW tv{};
  tv.mask = TVIF_IMAGE;
  tv.hItem = item;
  ::SendMessageW(Tree(), TVM_GETITEMW, 0, (LPARAM)&tv);
  return tv.iImage;
}

void COrvaManagerDlg::SetItemImage(HTREEITEM item, int image) {
  TVITEMW tv{};
  tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  tv.hItem = item;
  tv.iImage = tv.iSelectedImage = image;
  ::SendMessageW(Tree(), TVM_SETITEMW, 0, (LPARAM)&tv);
}

HTREEITEM COrvaManagerDlg::InsertItem(const std::string& text, int image, HTREEITEM parent) {
  std::wstring wide = ToWideText(text.c_str());
  TVINSERTSTRUCTW ins{};
  ins.hParent = parent;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  ins.item.pszText = &wide[0];
  ins.item.iImage = ins.item.iSelectedImage = image;
  return (HTREEITEM)::SendMessageW(Tree(), TVM_INSERTITEMW, 0, (LPARAM)&ins);
}

void COrvaManagerDlg::InsertJob(const JobRecord& job) {
  HTREEITEM item = InsertItem(std::string(JobName(job)), JobKindImage(job), m_root);
  for (const DetailLine& line : JobDetailLines(job)) InsertItem(line.text, line.image, item);
}

HTREEITEM COrvaManagerDlg::FindItem(HTREEITEM from, const std::string& text) const {
  for (HTREEITEM item = from; item; item = TreeView_GetNextSibling(Tree(), item)) {
    if (ItemText(item) == text) return item;
    if (HTREEITEM child = TreeView_GetChild(Tree(), item))
      if (HTREEITEM found = FindItem(child, text)) return found;
  }
  return nullptr;
}

void COrvaManagerDlg::SetJobImage(const std::string& name, int image, bool firstOnly) {
  if (!m_root) return;
  for (HTREEITEM item = TreeView_GetChild(Tree(), m_root); item; item = TreeView_GetNextSibling(Tree(), item)) {
    if (ItemText(item) != name) continue;
    SetItemImage(item, image);
    if (firstOnly) return;
  }
}

void COrvaManagerDlg::RefreshJobTree(int reason) {
  // The entries are copied under the table's lock; the tree is filled after.
  const std::vector<JobRecord> entries = JobTable().Entries();
  if (reason == 1 && m_root) {
    if (!entries.empty()) InsertJob(entries.back());
  } else {
    if (reason == 2 || m_root) {
      TreeView_DeleteAllItems(Tree());
      m_root = nullptr;
    }
    m_root = InsertItem(HostName(), kImgComputer, TVI_ROOT);
    for (const JobRecord& e : entries) InsertJob(e);
  }
  TreeView_Expand(Tree(), m_root, TVE_EXPAND);
  ::InvalidateRect(Tree(), nullptr, TRUE);
}

int COrvaManagerDlg::FindRow(const std::string& name, int from) const {
  for (int i = from; i < m_active.GetItemCount(); ++i)
    if (std::string((const char*)m_active.GetItemText(i, 0)) == name) return i;
  return -1;
}

void COrvaManagerDlg::UpdateBackupStatusRow(const JobRecord& status) {
  const std::string name(JobName(status));
  const BackupStatusView view = PickBackupStatus(status);
  if (view.treeImage >= 0) SetJobImage(name, view.treeImage, view.firstMatchOnly);
  auto fill = [&](int row) {
    m_active.SetItemText(row, 0, name.c_str());
    m_active.SetProgress(row, 1, TRUE, view.text.c_str());
    m_active.UpdateProgress({row, 1, view.progress, kStatusText, kStatusBar, CString(view.text.c_str())});
    m_active.SetItemText(row, 2, std::string(FieldText(status.elapsedTime)).c_str());
    m_active.SetItemText(row, 3, std::string(FieldText(status.startTime)).c_str());
    m_active.SetItemText(row, 4, std::string(FieldText(status.endTime)).c_str());
    // Bytes done and speed show as the status cell's tip.
    m_active.SetItemToolTipText(row, 1, TransferText(status.totalBytes, status.transferRate).c_str());
  };
  bool matched = false;
  for (int row = FindRow(name); row >= 0; row = FindRow(name, row + 1)) {
    fill(row);
    matched = true;
  }
  if (!matched && view.addsRow) {
    const int row = m_active.InsertItem(m_active.GetItemCount(), name.c_str(), 1);
    m_active.SetItemState(row, INDEXTOSTATEIMAGEMASK(1), LVIS_STATEIMAGEMASK);
    fill(row);
    if (HTREEITEM item = FindItem(TreeView_GetRoot(Tree()), name)) {
      TreeView_SelectItem(Tree(), item);
      ::SetFocus(Tree());
    }
    const int image = RowAddedImage(view);
    if (image >= 0) SetJobImage(name, image, false);
  }
}

void COrvaManagerDlg::UpdateReplicationStatusRow(const JobRecord& status) {
  const std::string name(JobName(status));
  const ReplicationStatusView view = PickReplicationStatus(status);
  SetJobImage(name, view.treeImage, false);
  bool matched = false;
  for (int row = FindRow(name); row >= 0; row = FindRow(name, row + 1)) {
    matched = true;
    const std::string text = view.running ? NextReplicatingMark((const char*)m_active.GetItemText(row, 1)) : view.text;
    m_active.SetItemText(row, 0, name.c_str());
    m_active.SetItemText(row, 1, text.c_str());
    m_active.SetItemText(row, 2, std::string(FieldText(status.elapsedTime)).c_str());
    m_active.SetItemText(row, 3, std::string(FieldText(status.startTime)).c_str());
    // Finished rows get their end time (a blank when none), so that they leave the pane.
    const std::string end(FieldText(status.endTime));
    m_active.SetItemText(row, 4, !view.finished ? "" : end.empty() ? " " : end.c_str());
  }
  if (!matched && view.addsRow) {
    const int row = m_active.InsertItem(m_active.GetItemCount(), name.c_str(), kImgReplOnce);
    m_active.SetItemText(row, 1, view.running ? "Replicating" : view.text.c_str());
    m_active.SetItemText(row, 2, std::string(FieldText(status.elapsedTime)).c_str());
    m_active.SetItemText(row, 3, std::string(FieldText(status.startTime)).c_str());
    if (view.finished) {
      const std::string end(FieldText(status.endTime));
      m_active.SetItemText(row, 4, end.empty() ? " " : end.c_str());
    }
  }
}

LRESULT COrvaManagerDlg::OnJobView(WPARAM kind, LPARAM record) {
  const auto* r = (const JobRecord*)record;
  switch (kind) {
    case kViewRebuild:
      RefreshJobTree(0);
      break;
    case kViewAdded:
      RefreshJobTree(1);
      break;
    case kViewModified:
      RefreshJobTree(2);
      break;
    case kViewBackup:
      if (r) m_pendingRuns.Answered(std::string(JobName(*r)));
      if (r) UpdateBackupStatusRow(*r);
      break;
    case kViewReplication:
      if (r) m_pendingRuns.Answered(std::string(JobName(*r)));
      if (r) UpdateReplicationStatusRow(*r);
      break;
  }
  return 0;
}

}  // namespace orva::manager
