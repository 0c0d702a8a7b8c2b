#include "add_image_dlg.h"

#include "add_image_dlg_ids.h"
#include "backup_dialog_util.h"
#include "backup_job_logic.h"
#include "image_header_reader.h"
#include "message_box.h"
#include "skin_cache.h"

namespace orva::manager {

namespace {

// Reads the header of an image; false when it does not open or read whole.
bool ReadHeader(const std::string& path, TavImageHeader& header) {
  FileStream file;
  if (!file.Open(path.c_str(), "rb")) return false;
  ImageHeaderStatus status = ReadImageHeader(file, header);
  file.Close();
  return status == ImageHeaderStatus::kRead;
}

void Scan(const std::string& folder, std::vector<std::string>& found, int depth) {
  if (depth > 64) return;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = folder + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Junctions could lead back up the tree.
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Scan(path, found, depth + 1);
      continue;
    }
    std::string ext = backup::SplitPath(path).extension;
    for (char& c : ext) c = (char)toupper((unsigned char)c);
    if (ext != ".TAV") continue;
    TavImageHeader header;
    if (ReadHeader(path, header) && header.imageType == 0) found.push_back(path);
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

}  // namespace

std::vector<std::string> FindFullImages(const std::string& folder) {
  std::vector<std::string> found;
  std::string root = folder;
  while (root.size() > 1 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  if (!root.empty()) Scan(root, found, 0);
  return found;
}

BEGIN_MESSAGE_MAP(CAddImageDlg, CFixSkinDialog)
ON_WM_CTLCOLOR()
ON_CBN_SELCHANGE(IDC_ADDIMAGE_REPOSITORIES, OnRepositoryChange)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_ADDIMAGE_FILES, OnFileChanged)
END_MESSAGE_MAP()

CAddImageDlg::CAddImageDlg(CWnd* parent, const BackupDialogHost& host)
    : CFixSkinDialog(IDD_ADD_IMAGE, parent), m_host(host) {}

void CAddImageDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_ADDIMAGE_REPOSITORIES, m_repositories);
  DDX_Control(dx, IDC_ADDIMAGE_FILES, m_files);
  DDX_Control(dx, IDC_ADDIMAGE_DETAILS, m_details);
  DDX_Control(dx, IDOK, m_ok);
  DDX_Control(dx, IDCANCEL, m_cancel);
}

BOOL CAddImageDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  m_brush.CreateSolidBrush(0xFEFFFF);
  if (m_host.messageParams) {
    m_host.messageParams->options |= SMB_OPT_MODERN;
    m_host.messageParams->iconId = kManagerIconId;
  }
  SetWindowText("Use an existing backup");
  SetDlgItemText(IDC_ADDIMAGE_REPOSITORY_LABEL, "Select an backup repository.");
  SetDlgItemText(IDC_ADDIMAGE_FILE_LABEL, "Select an backup file.");
  SetDlgItemText(IDC_ADDIMAGE_DETAIL_LABEL, "Detailed backukp information");
  m_ok.SetWindowText("OK");
  m_cancel.SetWindowText("Cancel");
  backup::SkinButton(m_ok, 20, 11, 0, 5);
  backup::SkinButton(m_cancel, 20, 12, 0, 5);
  m_ok.SetFont(SkinCache().GetFont(0));
  m_cancel.SetFont(SkinCache().GetFont(0));

  m_record = {};

  if (m_host.repositoryList)
    for (const std::string& folder : backup::SplitRepositoryList(m_host.repositoryList()))
      m_repositories.AddString(folder.c_str());

  m_icons.Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 5);
  const UINT icons[] = {IDI_ADDIMAGE_ROW, IDI_ADDIMAGE_TIME, IDI_ADDIMAGE_DRIVE, IDI_ADDIMAGE_ROW, IDI_ADDIMAGE_ROW};
  for (UINT id : icons) {
    HICON icon = (HICON)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    m_icons.Add(icon);
    if (icon) DestroyIcon(icon);
  }
  m_files.SetImageList(&m_icons, LVSIL_NORMAL);
  m_details.SetImageList(&m_icons, LVSIL_NORMAL);
  backup::SetUpReportList(m_files, 0xE6E6E6);
  backup::SetUpReportList(m_details, 0xF0F0F0);
  m_files.InsertColumn(0, "Backup", LVCFMT_LEFT, 100);
  m_details.InsertColumn(0, "Name", LVCFMT_LEFT, 100);
  m_details.InsertColumn(1, "Message", LVCFMT_LEFT, 100);
  CRect client;
  m_files.GetClientRect(&client);
  m_files.SetColumnWidth(0, client.Width());
  backup::FitColumns(m_details, {30});

  m_repositories.SetCurSel(0);
  FillFileList();
  UpdateData(FALSE);
  return TRUE;
}

void CAddImageDlg::FillFileList() {
  int sel = m_repositories.GetCurSel();
  if (sel < 0) return;
  m_files.DeleteAllItems();
  m_details.DeleteAllItems();
  for (const std::string& path : FindFullImages(m_repositories.GetLBText(sel).GetString()))
    m_files.InsertItem(0, path.c_str(), 0);
}

CString CAddImageDlg::SelectedPath() const {
  int row = m_files.GetNextItem(-1, LVNI_SELECTED);
  return row >= 0 ? m_files.GetItemText(row, 0) : CString();
}

void CAddImageDlg::OnFileChanged(NMHDR* nm, LRESULT* result) {
  *result = 0;
  const NMLISTVIEW* change = (const NMLISTVIEW*)nm;
  if (change->iItem != m_files.GetNextItem(-1, LVNI_SELECTED)) return;
  ShowDetails();
}

void CAddImageDlg::ShowDetails() {
  m_details.DeleteAllItems();
  CString path = SelectedPath();
  TavImageHeader header;
  if (path.IsEmpty() || !ReadHeader(path.GetString(), header)) return;
  std::string kind = backup::ImageKindText(0);
  if (!header.increments.empty()) {
    TavImageHeader first;
    if (!ReadHeader(ToAnsiText(header.increments.front()), first)) {
      backup::AddRow(m_details, 0, "Task Type ", "");
      UpdateData(FALSE);
      return;
    }
    kind = backup::ImageKindText(first.imageType);
  }
  backup::AddRow(m_details, 0, "Task Type ", kind);
  if (!header.increments.empty())
    backup::AddRow(m_details, 0, "Backup Count", std::to_string(header.increments.size()));
  backup::AddRow(m_details, 1, "Time ", backup::StartTimeText(header));
  backup::AddRow(m_details, 2, "Backup Drive ", backup::BackupDriveText(header));
  backup::AddRow(m_details, 0, "Compression Level ", backup::CompressionText(header.compressionLevel));
  backup::AddRow(m_details, 0, "Image Size ", backup::SizeText(header.imageSize));
  backup::AddRow(m_details, 0, "Operating System", ToAnsiText(header.comment));
  UpdateData(FALSE);
}

void CAddImageDlg::Tell(const char* text) { SkinMessageBox(this, text, "Orvanta", MB_OK, m_host.messageParams); }

void CAddImageDlg::OnOK() {
  UpdateData(TRUE);
  CString path = SelectedPath();
  if (path.IsEmpty()) {
    Tell("You have to select an backup file from repository.");
    return;
  }
  if (m_host.jobs && backup::ImageRegistered(m_host.jobs(), path.GetString())) {
    Tell("This is already registered in inventory.");
    return;
  }
  TavImageHeader header;
  if (!ReadHeader(path.GetString(), header)) return;
  int firstKind = -1;
  if (!header.increments.empty()) {
    TavImageHeader first;
    if (!ReadHeader(ToAnsiText(header.increments.front()), first)) return;
    firstKind = first.imageType;
  }
  orva::service::JobRecord record{};
  std::string why = backup::ExistingImageRecord(path.GetString(), header, firstKind, record);
  if (!why.empty()) {
    Tell(why.c_str());
    return;
  }
  m_record = record;
  EndDialog(IDOK);
}

HBRUSH CAddImageDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  CFixSkinDialog::OnCtlColor(dc, wnd, kind);
  if (kind == CTLCOLOR_STATIC) dc->SetBkMode(TRANSPARENT);
  return (HBRUSH)m_brush.m_hObject;
}

}  // namespace orva::manager
