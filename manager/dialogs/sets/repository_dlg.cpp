#include "repository_dlg.h"

#include <shlobj.h>

#include <cstring>

#include "repository_dlg_ids.h"
#include "system_text.h"

namespace orva::manager {

CString SystemErrorText(DWORD error) { return CString(platform::SystemErrorText(error).c_str()); }

BEGIN_MESSAGE_MAP(CRepositoryDlg, CFixSkinDialog)
ON_BN_CLICKED(IDC_REPO_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_REPO_ADD, OnAdd)
ON_BN_CLICKED(IDC_REPO_REMOVE, OnRemove)
ON_BN_CLICKED(IDC_REPO_OK, OnRepositoryOK)
ON_BN_CLICKED(IDC_REPO_TEST, TestNetworkRepository)
ON_BN_CLICKED(IDC_REPO_LOCAL, OnModeClicked)
ON_BN_CLICKED(IDC_REPO_NETWORK, OnModeClicked)
ON_EN_CHANGE(IDC_REPO_LOG_PATH, OnLogPathChange)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CRepositoryDlg::CRepositoryDlg(CWnd* parent, MessageBoxParams* boxParams, const service::OptionsRecord& options,
                               service::DriveMapper* mapper)
    : CFixSkinDialog(IDD_REPOSITORY_DIALOG, parent),
      m_editor(options.repositories, options.network),
      m_boxParams(boxParams ? boxParams : &m_ownBoxParams),
      m_mapper(mapper) {
  if (!m_mapper) {
    m_ownMapper = std::make_unique<WNetDriveMapper>();
    m_mapper = m_ownMapper.get();
  }
}

void CRepositoryDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_REPO_LOCAL_PATH, m_localPath);
  DDX_Text(dx, IDC_REPO_LOG_PATH, m_logPath);
  DDX_Control(dx, IDC_REPO_LIST, m_list);
  DDX_Control(dx, IDC_REPO_BROWSE, m_browse);
  DDX_Control(dx, IDC_REPO_ADD, m_add);
  DDX_Control(dx, IDC_REPO_REMOVE, m_remove);
  DDX_Control(dx, IDC_REPO_OK, m_ok);
  DDX_Text(dx, IDC_REPO_SHARE, m_share);
  DDX_Text(dx, IDC_REPO_USER, m_user);
  DDX_Text(dx, IDC_REPO_PASSWORD, m_password);
  DDX_Control(dx, IDC_REPO_DRIVE, m_drives);
  DDX_Control(dx, IDC_REPO_TEST, m_test);
  DDX_Control(dx, IDC_REPO_BANNER, m_banner);
  DDX_Radio(dx, IDC_REPO_LOCAL, m_mode);
  if (!dx->m_bSaveAndValidate) {  // shown only; never read back
    CString size;
    size.Format("%d", m_maxLogSize);
    SetDlgItemText(IDC_REPO_LOG_SIZE, size);
  }
}

BOOL CRepositoryDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  m_background.CreateSolidBrush(kDialogBackground);
  m_white.CreateSolidBrush(RGB(255, 255, 255));
  m_boxParams->options |= SMB_OPT_MODERN;
  m_boxParams->iconId = kManagerIconId;
  SkinPushButton(m_browse, 8);
  SkinPushButton(m_add, 9);
  SkinPushButton(m_remove, 10);
  SkinPushButton(m_ok, 11);
  SkinPushButton(m_test, 11);
  if (m_bannerBitmap.LoadBitmap(IDB_REPOSITORY_BANNER)) m_banner.SetBitmap(m_bannerBitmap);

  SetWindowText("Repository");
  static const struct {
    int id;
    const char* text;
  } kTexts[] = {
      {IDC_REPO_BROWSE, "Browse"},
      {IDC_REPO_TEST, "Connectivity Test"},
      {IDC_REPO_ADD, "Add"},
      {IDC_REPO_REMOVE, "Remove"},
      {IDC_REPO_OK, "OK"},
      {IDC_REPO_CONFIG_GROUP, "Image Repository Configuration"},
      {IDC_REPO_LOG_GROUP, "Log Configuration"},
      {IDC_REPO_LOG_PATH_LABEL, "Log file path."},
      {IDC_REPO_LOCAL, "Local Repository"},
      {IDC_REPO_NETWORK, "Network Repository"},
      {IDC_REPO_SHARE_LABEL, "Network Path"},
      {IDC_REPO_USER_LABEL, "User Account"},
      {IDC_REPO_PASSWORD_LABEL, "Password"},
      {IDC_REPO_DRIVE_LABEL, "Drive Letter"},
      {IDC_REPO_LIST_LABEL, "Image Repository List"},
      {IDC_REPO_LOG_SIZE_LABEL, "Maximum log file size"},
  };
  for (const auto& t : kTexts) SetDlgItemText(t.id, t.text);

  for (const std::string& line : m_editor.Lines()) m_list.AddString(line.c_str());
  FillDriveLetters();

  char program[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
  CString path = n > 0 && n < MAX_PATH ? CString(program) : CString();
  for (int cut = 0; cut < 2; ++cut) {
    int slash = path.ReverseFind('\\');
    if (slash >= 0) path = path.Left(slash);
  }
  m_logPath = path + "\\Log\\OrvaJob.log";
  m_maxLogSize = 5;

  UpdateData(FALSE);
  UpdateData(TRUE);
  EnableByMode();
  return TRUE;
}

void CRepositoryDlg::FillDriveLetters() {
  m_drives.ResetContent();
  std::vector<std::string> inUse = m_mapper->DrivesInUse();
  // Drives of the network list are taken even while not connected.
  for (const service::NetworkRepository& r : service::ParseNetworkList(m_editor.Network())) inUse.push_back(r.drive);
  for (const std::string& drive : FreeDriveLetters(inUse)) m_drives.AddString(drive.c_str());
  SelectFirstDrive();
}

void CRepositoryDlg::SelectFirstDrive() { m_drives.SetCurSel(m_drives.GetCount() > 0 ? 0 : -1); }

void CRepositoryDlg::EnableByMode() {
  const bool network = m_mode == 1;
  for (int id : {IDC_REPO_LOCAL_PATH, IDC_REPO_BROWSE}) GetDlgItem(id)->EnableWindow(!network);
  for (int id : {IDC_REPO_SHARE, IDC_REPO_USER, IDC_REPO_PASSWORD, IDC_REPO_DRIVE, IDC_REPO_TEST, IDC_REPO_SHARE_LABEL,
                 IDC_REPO_USER_LABEL, IDC_REPO_PASSWORD_LABEL, IDC_REPO_DRIVE_LABEL})
    GetDlgItem(id)->EnableWindow(network);
}

void CRepositoryDlg::OnModeClicked() {
  UpdateData(TRUE);
  EnableByMode();
}

int CRepositoryDlg::ShowMessage(const char* text, UINT style) {
  return SkinMessageBox(this, text, kBoxCaption, style, m_boxParams);
}

bool CRepositoryDlg::PickFolder(const char* title, UINT flags, CString& path) {
  return BrowseForFolder(this, title, flags, path);
}

void CRepositoryDlg::OnBrowse() {
  CString path;
  if (!PickFolder("Select an Image Repository Directory", BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE,
                  path))
    return;
  UpdateData(TRUE);
  m_localPath = path.Left(MAX_PATH);
  UpdateData(FALSE);
}

NetworkInput CRepositoryDlg::ReadNetworkInput() {
  UpdateData(TRUE);
  NetworkInput input{m_share.str(), m_user.str(), m_password.str(), {}};
  if (int sel = m_drives.GetCurSel(); sel >= 0) {
    CString drive;
    m_drives.GetLBText(sel, drive);
    input.drive = drive.str();
  }
  return input;
}

void CRepositoryDlg::OnAdd() {
  UpdateData(TRUE);
  if (m_mode == 0) {
    const std::string problem = m_editor.AddLocal(m_localPath.str());
    if (!problem.empty()) {
      ShowMessage(problem.c_str());
      return;
    }
    m_list.AddString(m_editor.Lines().back().c_str());
    m_localPath.Empty();
    UpdateData(FALSE);
    return;
  }
  const NetworkInput input = ReadNetworkInput();
  const std::string problem = m_editor.AddNetwork(input);
  if (!problem.empty()) {
    ShowMessage(problem.c_str());
    return;
  }
  m_list.AddString(input.drive.c_str());
  m_share.Empty();
  m_user.Empty();
  m_password.Empty();
  UpdateData(FALSE);
  int at = m_drives.FindStringExact(-1, input.drive.c_str());
  if (at >= 0) m_drives.DeleteString(at);
  SelectFirstDrive();
}

void CRepositoryDlg::OnRemove() {
  const int sel = m_list.GetCurSel();
  if (sel < 0) {
    ShowMessage("Please select an image repository.");
    return;
  }
  if ((ShowMessage("Are you sure to remove image repository now?", MB_YESNO) & 0xFFFF) != IDYES) return;
  CString line;
  m_list.GetText(sel, line);
  if (m_editor.Remove((size_t)sel)) {
    m_drives.AddString(line);
    SelectFirstDrive();
  }
  m_list.DeleteString(sel);
  const int count = m_list.GetCount();
  if (count > 0) m_list.SetCurSel(sel < count ? sel : count - 1);
}

void CRepositoryDlg::TestNetworkRepository() {
  const NetworkInput input = ReadNetworkInput();
  if (const std::string problem = NetworkInputProblem(input); !problem.empty()) {
    ShowMessage(problem.c_str());
    return;
  }
  const service::NetworkRepository repository{input.drive, input.share, input.user, input.password};
  const uint32_t error = m_mapper->Connect(repository);
  if (error != 0) {
    ShowMessage(SystemErrorText(error));  // the drive was never ours: nothing to cancel
    return;
  }
  m_mapper->Disconnect(repository.drive);
  ShowMessage("Connectivity connection is successfully tested.");
}

void CRepositoryDlg::OnRepositoryOK() {
  if ((ShowMessage(m_editor.ConfirmText().c_str(), MB_YESNO) & 0xFFFF) != IDYES) return;
  service::OptionsRecord result;
  const std::string problem = m_editor.BuildOptions(result);
  if (!problem.empty()) {
    ShowMessage(problem.c_str());
    return;
  }
  m_result = result;
  EndDialog(IDOK);
}

HBRUSH CRepositoryDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  CFixSkinDialog::OnCtlColor(dc, wnd, kind);
  if (wnd && (wnd->GetDlgCtrlID() == IDC_REPO_LOG_PATH || wnd->GetDlgCtrlID() == IDC_REPO_LOG_SIZE)) {
    dc->SetBkColor(RGB(255, 255, 255));
    return m_white;
  }
  if (kind == CTLCOLOR_EDIT || kind == CTLCOLOR_LISTBOX) return (HBRUSH)GetStockObject(WHITE_BRUSH);
  return DialogCtlColor(dc, wnd, kind, m_background);
}

}  // namespace orva::manager
