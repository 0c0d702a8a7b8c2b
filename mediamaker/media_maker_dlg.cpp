#include "media_maker_dlg.h"

#include <shellapi.h>
#include <shlobj.h>
#include <cstdio>
#include <share.h>
#include "contracts/ansi_path.h"
#include "image_header_reader.h"
#include "media_message.h"
#include "progress_dlg.h"
#include "resource.h"
#include "skin_cache.h"
#include "usb_browse_dlg.h"

namespace orva::media {

namespace {
const COLORREF kBackground = 0xFEFFFF;
const char kDownloadPage[] = "https://www.orvanta.com/recovery";

void SkinButton(CSkinButton& b, int iconSet) {
  CSkinCache& skin = SkinCache();
  b.SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0), nullptr, 0);
  b.SetIconImages(skin.GetIcon(iconSet, 0), nullptr, 5, 0);
  b.SetFont(skin.GetFont(0));
}

std::string Std(const CString& s) { return s.str(); }

CString ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), (DWORD)path.size());
    if (n == 0) return CString();
    if (n < path.size()) {
      path.resize(n);
      return FromWideText(path.c_str());
    }
    path.resize(path.size() * 2);
  }
}

// A text of the script: characters of the system's code page that come back
// as the same bytes, and no wildcard ('?' also stands in a text read from a
// window for a character that the code page lacks).
bool ScriptSafeAnsi(const CString& text) {
  if (text.FindOneOf("?*") >= 0) return false;
  std::string back;
  return orva::AnsiFromPath(orva::PathFromAnsi(Std(text)), back) && back == Std(text);
}

// The drive of the system's Windows folder ("C:"), shared by every session.
std::string WindowsDrive() {
  wchar_t folder[MAX_PATH + 1] = {};
  UINT n = GetSystemWindowsDirectoryW(folder, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::string();
  std::string text;
  for (UINT i = 0; i < n && folder[i] < 0x80; ++i) text += (char)folder[i];
  return media::DriveOf(text);
}

// One build at a time on the machine: two builds would share the build script,
// and a second one would take the image files the first one has moved.
class BuildLock {
 public:
  BuildLock() {
    m_handle = CreateMutexW(nullptr, FALSE, L"Global\\OrvantaMediaBuild");
    if (!m_handle) {
      // Made by a build of another user whose rights keep us out: it runs.
      m_owned = GetLastError() != ERROR_ACCESS_DENIED;
      return;
    }
    DWORD wait = WaitForSingleObject(m_handle, 0);
    m_owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    m_held = m_owned;
  }
  ~BuildLock() {
    if (m_held) ReleaseMutex(m_handle);
    if (m_handle) CloseHandle(m_handle);
  }
  BuildLock(const BuildLock&) = delete;
  BuildLock& operator=(const BuildLock&) = delete;
  bool Owned() const { return m_owned; }

 private:
  HANDLE m_handle = nullptr;
  bool m_owned = false, m_held = false;
};

// The files (not folders) directly in a folder.
std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
  while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

// The dialog's texts are in the system's code page already, as the script is.
std::string AnsiOf(const CString& text) { return Std(text); }

media::LeadBytes SystemLeadBytes() {
  media::LeadBytes lead;
  CPINFO info{};
  if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1)
    for (int r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r]; r += 2)
      for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b) lead.set(b);
  return lead;
}
}  // namespace

std::wstring Wide(const CString& s) { return ToWideText(s); }

std::wstring WideOfAnsi(const std::string& ansiText) { return orva::PathFromAnsi(ansiText).native(); }

bool AnsiFileExists(const std::string& ansiPath) {
  DWORD a = GetFileAttributesW(WideOfAnsi(ansiPath).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const CString& path) { return AnsiFileExists(Std(path)); }

bool FolderExists(const CString& path) {
  CString p = path;
  if (p.GetLength() == 2 && p[1] == ':') p += "\\";
  DWORD a = GetFileAttributesW(WideOfAnsi(Std(p)).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

BEGIN_MESSAGE_MAP(CMediaMakerDlg, CFixSkinDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_CTLCOLOR()
ON_WM_SETCURSOR()
ON_BN_CLICKED(IDC_MEDIUM_USB, OnMediumClicked)
ON_BN_CLICKED(IDC_MEDIUM_ISO, OnMediumClicked)
ON_CBN_SELCHANGE(IDC_BACKUP_LIST, OnBackupChanged)
ON_BN_CLICKED(IDC_ISO_BROWSE, OnIsoBrowse)
ON_BN_CLICKED(IDC_USB_BROWSE, OnUsbBrowse)
ON_BN_CLICKED(IDC_BUILD, OnBuild)
ON_BN_CLICKED(IDC_RESTORE_OK, OnRestoreOk)
ON_BN_CLICKED(IDC_EXIT, OnExit)
ON_STN_CLICKED(IDC_DOWNLOAD, OnDownload)
END_MESSAGE_MAP()

CMediaMakerDlg::CMediaMakerDlg(CWnd* parent) : CFixSkinDialog(IDD_ORVAMEDIAMAKER_DIALOG, parent) {
  m_icon = FwGetApp() ? FwGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
}

CMediaMakerDlg::~CMediaMakerDlg() = default;

void CMediaMakerDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_ISO_BROWSE, m_isoBrowse);
  DDX_Control(dx, IDC_USB_BROWSE, m_usbBrowse);
  DDX_Control(dx, IDC_BUILD, m_build);
  DDX_Control(dx, IDC_EXIT, m_exit);
  DDX_Control(dx, IDC_RESTORE_OK, m_ok);
  DDX_Radio(dx, IDC_MEDIUM_USB, m_medium);
  DDX_Control(dx, IDC_BACKUP_LIST, m_backupList);
  DDX_Text(dx, IDC_ISO_PATH, m_isoPath);
  DDX_Text(dx, IDC_USB_PATH, m_usbPath);
}

BOOL CMediaMakerDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);
  m_backBrush.CreateSolidBrush(kBackground);
  UseMediaMessageLook();

  SetWindowText("Recovery");
  SetDlgItemText(IDC_CREATE_GROUP, "Create Recovery Media");
  SetDlgItemText(IDC_TITLE, "Create a recovery CD or USB");
  SetDlgItemText(IDC_SELECT_LABEL, "Select a backup");
  SetDlgItemText(IDC_MEDIUM_GROUP, "Select a CD or USB");
  SetDlgItemText(IDC_ISO_NOTE, "Please select an ISO image(CD) in case backup size is less than 4.0GB.");
  SetDlgItemText(IDC_MEDIUM_USB, "USB (Local disk)");
  SetDlgItemText(IDC_PATH_LABEL, "Path");
  SetDlgItemText(IDC_USB_BROWSE, "Browse");
  SetDlgItemText(IDC_MEDIUM_ISO, "ISO Image(CD)");
  SetDlgItemText(IDC_NAME_LABEL, "Name");
  SetDlgItemText(IDC_ISO_BROWSE, "Browse");
  SetDlgItemText(IDC_BUILD, "Build");
  SetDlgItemText(IDC_EXIT, "Exit");
  SetDlgItemText(IDC_RESTORE_GROUP, "Restoration");
  SetDlgItemText(IDC_RESTORE_TEXT,
                 "To run restoration, follow the process after booting from given CD.\n"
                 "If there is no CD, you can download through below link.");
  SetDlgItemText(IDC_DOWNLOAD, "Download");
  SetDlgItemText(IDC_RESTORE_OK, "OK");
  SkinButton(m_isoBrowse, 2);
  SkinButton(m_usbBrowse, 2);
  SkinButton(m_build, 3);
  SkinButton(m_ok, 3);
  SkinButton(m_exit, 4);
  LOGFONTW lf{};
  CFont* font = GetFont();
  if (font && font->m_hObject && font->GetLogFont(&lf)) {
    lf.lfUnderline = TRUE;
    m_linkFont.CreateFontIndirect(&lf);
    if (CWnd* link = GetDlgItem(IDC_DOWNLOAD)) link->SetFont(&m_linkFont);
  }

  ApplyMedium();

  m_exeFolder = media::ExeFolderOf(Std(ModulePath())).c_str();
  m_parentFolder = media::ParentFolderOf(Std(m_exeFolder)).c_str();

  ReadScheduleFile();
  FillBackupList();
  SelectBackup();
  return TRUE;
}

void CMediaMakerDlg::OnPaint() {
  if (!IsIconic()) {
    CFixSkinDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
  CRect r;
  GetClientRect(&r);
  int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  dc.DrawIcon((r.Width() - cx + 1) / 2, (r.Height() - cy + 1) / 2, m_icon);
}

HCURSOR CMediaMakerDlg::OnQueryDragIcon() { return (HCURSOR)m_icon; }

HBRUSH CMediaMakerDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind == CTLCOLOR_STATIC && wnd && wnd->GetDlgCtrlID() != IDC_BACKUP_SIZE) {
    dc->SetBkMode(TRANSPARENT);
    if (wnd->GetDlgCtrlID() == IDC_DOWNLOAD) {
      dc->SetTextColor(m_linkClicked ? 0x6464FF : 0xFF0000);
      return (HBRUSH)GetStockObject(NULL_BRUSH);
    }
    return (HBRUSH)m_backBrush.m_hObject;
  }
  if (kind == CTLCOLOR_DLG) return (HBRUSH)m_backBrush.m_hObject;
  return CFixSkinDialog::OnCtlColor(dc, wnd, kind);
}

BOOL CMediaMakerDlg::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) {
  if (CWnd* link = GetDlgItem(IDC_DOWNLOAD)) {
    CRect r;
    link->GetWindowRect(&r);
    POINT p;
    GetCursorPos(&p);
    if (r.PtInRect(p)) {
      ::SetCursor(LoadCursorW(nullptr, (LPCWSTR)IDC_HAND));
      return TRUE;
    }
  }
  return CFixSkinDialog::OnSetCursor(wnd, hitTest, message);
}

void CMediaMakerDlg::OnMediumClicked() {
  UpdateData(TRUE);
  ApplyMedium();
}

void CMediaMakerDlg::ApplyMedium() {
  if (m_medium == 0 || m_medium == 1) {
    bool usb = m_medium == 0;
    for (int id : {IDC_PATH_LABEL, IDC_USB_PATH, IDC_USB_BROWSE})
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(usb);
    for (int id : {IDC_ISO_BROWSE, IDC_NAME_LABEL, IDC_ISO_PATH})
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(!usb);
  }
  UpdateData(FALSE);
}

void CMediaMakerDlg::ReadScheduleFile() {
  CString path = m_exeFolder + "\\" + media::kScheduleFileName;
  m_jobs.clear();
  for (int attempt = 0; attempt < 20; ++attempt) {
    FILE* f = _wfsopen(Wide(path).c_str(), L"rb", _SH_DENYWR);
    if (!f) {
      Sleep(500);
      continue;
    }
    std::string text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    m_jobs = media::ReadSchedule(text);
    break;
  }
  m_recordCount = (int)m_jobs.size();
}

void CMediaMakerDlg::FillBackupList() {
  m_backupList.SendMessage(CB_RESETCONTENT);
  for (const JobRecord& r : m_jobs)
    if (media::IsImageBackup(r)) m_backupList.SendMessage(CB_ADDSTRING, 0, (LPARAM)Wide(r.jobName).c_str());
  m_backupList.SendMessage(CB_SETCURSEL, 0);
  SelectBackup();
}

const JobRecord* CMediaMakerDlg::SelectedRecord() {
  int sel = (int)m_backupList.SendMessage(CB_GETCURSEL);
  if (sel < 0) return nullptr;
  int n = (int)m_backupList.SendMessage(CB_GETLBTEXTLEN, sel);
  if (n < 0) return nullptr;
  std::wstring text(n + 1, L'\0');
  m_backupList.SendMessage(CB_GETLBTEXT, sel, (LPARAM)text.data());
  CString name = FromWideText(text.c_str());
  for (const JobRecord& r : m_jobs)
    if (name == r.jobName && media::IsImageBackup(r)) return &r;
  return nullptr;
}

bool CMediaMakerDlg::BackupToBuild(const JobRecord*& record) {
  record = SelectedRecord();
  if (record || m_backupList.SendMessage(CB_GETCURSEL) < 0) return true;
  // A medium is never made without the backup it is made for.
  Refuse(Std("The backup's record cannot be found: no medium is made without its image files.\n\n" +
             m_backupList.GetWindowText()));
  return false;
}

void CMediaMakerDlg::SelectBackup() {
  if (m_backupList.SendMessage(CB_GETCURSEL) < 0) {
    for (int id : {IDC_MEDIUM_ISO, IDC_NAME_LABEL, IDC_ISO_PATH, IDC_ISO_BROWSE})
      if (CWnd* w = GetDlgItem(id)) w->EnableWindow(FALSE);
    UpdateData(FALSE);
    return;
  }
  const JobRecord* r = SelectedRecord();
  if (!r) return;
  m_chainSize = ImageTotalSize(r->imagePath);
  CWnd* iso = GetDlgItem(IDC_MEDIUM_ISO);
  if (media::FitsOnDvd(m_chainSize)) {
    if (iso) iso->EnableWindow(TRUE);
  } else {
    m_medium = 0;
    UpdateData(FALSE);
    ApplyMedium();
    if (iso) iso->EnableWindow(FALSE);
  }
  SetDlgItemText(IDC_BACKUP_SIZE, media::ChainSizeText(m_chainSize).c_str());
  std::string isoPath = media::DefaultIsoPath(r->imagePath, SystemLeadBytes());
  if (!isoPath.empty()) m_isoPath = isoPath.c_str();
  UpdateData(FALSE);
}

void CMediaMakerDlg::OnBackupChanged() { SelectBackup(); }

void CMediaMakerDlg::OnIsoBrowse() {
  UpdateData(TRUE);
  std::wstring title = Wide("Select a folder to save an ISO image.");
  BROWSEINFOW bi{};
  bi.hwndOwner = m_hWnd;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&bi);
  if (chosen) {
    // A path of any length: the shell's own buffer size.
    std::wstring folder(32768, L'\0');
    BOOL ok = SHGetPathFromIDListEx(chosen, folder.data(), (DWORD)folder.size(), GPFIDL_DEFAULT);
    CoTaskMemFree(chosen);
    const JobRecord* r = SelectedRecord();
    if (ok && r) m_isoPath = media::IsoPathInFolder(Std(FromWideText(folder.c_str())), r->jobName).c_str();
  }
  UpdateData(FALSE);
}

void CMediaMakerDlg::OnUsbBrowse() {
  UpdateData(TRUE);
  CUsbBrowseDlg dlg(this);
  if (dlg.DoModal() == IDOK) m_usbPath = dlg.m_result;
  UpdateData(FALSE);
}

void CMediaMakerDlg::OnRestoreOk() { EndDialog(IDOK); }
void CMediaMakerDlg::OnExit() { EndDialog(IDCANCEL); }

void CMediaMakerDlg::OnDownload() {
  m_linkClicked = TRUE;
  if (CWnd* link = GetDlgItem(IDC_DOWNLOAD)) link->Invalidate();
  ShellExecuteW(nullptr, L"open", Wide(kDownloadPage).c_str(), nullptr, nullptr, SW_SHOW);
}

CString CMediaMakerDlg::ScriptPath() const { return m_parentFolder + "\\Log\\" + media::kScriptName; }

CString CMediaMakerDlg::CopyLogPath() const { return m_parentFolder + "\\Log\\" + media::kCopyLogName; }

bool CMediaMakerDlg::Refuse(const std::string& why) {
  if (why.empty()) return false;
  MediaMessageBox(m_hWnd, why.c_str(), "Orvanta", MB_OK);
  return true;
}

bool CMediaMakerDlg::Refused(bool bad, const std::string& why) { return bad && Refuse(why); }

bool CMediaMakerDlg::CheckInstallation(bool iso) {
  CString log = m_parentFolder + "\\Log";
  if (m_parentFolder.IsEmpty() || !FolderExists(log))
    return !Refuse(Std("The folder for the build script and its log is missing:\n\n" + log));
  CString pe = m_exeFolder + "ORVAPE";
  if (!FolderExists(pe)) return !Refuse(Std("The recovery environment is missing:\n\n" + pe));
  // The folder that receives the image files on the medium.
  CString images = pe + "\\ORVANTA";
  if (!FolderExists(images))
    return !Refuse(Std("The recovery environment has no folder for the image files:\n\n" + images));
  if (iso) {
    for (const char* tool : {"OSCDIMG.EXE", "etfsboot.com"}) {
      CString path = m_exeFolder + tool;
      if (!FileExists(path)) return !Refuse(Std("The ISO image tool is missing:\n\n" + path));
    }
  }
  for (const CString& text : {m_exeFolder, CopyLogPath()}) {
    if (Refuse(media::CheckScriptText(Std(text), "The program's folder"))) return false;
    if (!ScriptSafeAnsi(text))
      return !Refuse(Std("The program's folder holds characters that the build script cannot carry:\n\n" + text));
  }
  return true;
}

std::vector<std::string> CMediaMakerDlg::ChainFiles(const JobRecord& record) {
  std::vector<std::string> files{record.imagePath};
  TavImageHeader header;
  FileStream file;
  if (file.Open(record.imagePath, "rb")) {
    ReadImageHeader(file, header);
    file.Close();
    for (const std::string& inc : AnsiIncrements(header)) files.push_back(inc);
  }
  return files;
}

bool CMediaMakerDlg::WriteScript(const std::string& text) {
  HANDLE h =
      CreateFileW(Wide(ScriptPath()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr) &&
            written == text.size();
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  if (!ok) {
    DeleteFileW(Wide(ScriptPath()).c_str());
    Refuse(Std("The build script cannot be written:\n\n" + ScriptPath()));
  }
  return ok;
}

void CMediaMakerDlg::OnBuild() {
  UpdateData(TRUE);
  if (MediaMessageBox(m_hWnd, "Do you want to continue?", "Orvanta", MB_YESNO) != IDYES) return;
  if (m_medium != 0 && m_medium != 1) return;
  BuildLock lock;
  if (Refused(!lock.Owned(),
              "A recovery medium is being built on this computer already. Build again when it is finished."))
    return;
  if (m_medium == 1)
    BuildIso();
  else if (m_medium == 0)
    BuildUsb();
}

void CMediaMakerDlg::BuildIso() {
  if (m_isoPath.IsEmpty()) {
    MediaMessageBox(m_hWnd, "Please enter an ISO image name.", "Orvanta", MB_OK);
    return;
  }
  m_isoPath = media::NormaliseIsoPath(Std(m_isoPath), SystemLeadBytes()).c_str();
  UpdateData(FALSE);
  UpdateData(TRUE);
  const std::string iso = Std(m_isoPath);
  if (Refuse(media::CheckScriptText(iso, "The ISO image name"))) return;
  if (Refuse(media::CheckFullPath(iso, "The ISO image name"))) return;
  if (Refused(FolderExists(m_isoPath), "The ISO image name is the path of a folder:\n\n" + iso)) return;
  if (Refused(!ScriptSafeAnsi(m_isoPath),
              "The ISO image name holds characters that the build script cannot carry:\n\n" + iso))
    return;
  if (!CheckInstallation(true)) return;

  const std::string isoFolder = media::FolderOf(iso);
  const std::string staging = isoFolder + "ORVAPE";
  const std::string held = staging + "\\ORVANTA";  // where the image files go while OSCDIMG runs
  const std::string source = Std(m_exeFolder) + "ORVAPE";
  if (Refused(!FolderExists(isoFolder.c_str()), "The folder of the ISO image does not exist:\n\n" + isoFolder)) return;
  if (Refused(media::IsSameOrBelow(staging, source) || media::IsSameOrBelow(source, staging),
              "The ISO image cannot be made in this folder: its work folder " + staging +
                  " would overlap the recovery environment " + source + "."))
    return;
  if (FolderExists(staging.c_str())) {
    // Image files an earlier build could not move back: the folder is named, never offered for removal.
    const std::wstring shipped = Wide(m_exeFolder + "ORVAPE\\ORVANTA\\");
    bool images = false;
    for (const std::wstring& name : FilesIn(Wide(held.c_str())))
      images = images || GetFileAttributesW((shipped + name).c_str()) == INVALID_FILE_ATTRIBUTES;
    if (images)
      Refuse(
          "The work folder of the ISO image already exists and holds image files of a backup that an earlier "
          "build could not move back:\n\n" +
          held + "\n\nMove them back to the backup's folder, or choose another folder for the ISO image.");
    else
      Refuse("The work folder of the ISO image already exists. Remove it or choose another folder:\n\n" + staging);
    return;
  }

  media::IsoScript script;
  script.exeFolder = AnsiOf(m_exeFolder);
  script.isoFolder = AnsiOf(isoFolder.c_str());
  script.isoPath = AnsiOf(m_isoPath);
  script.copyLog = AnsiOf(CopyLogPath());
  const JobRecord* r = nullptr;
  if (!BackupToBuild(r)) return;
  if (r) {
    std::vector<std::string> names;
    const media::LeadBytes lead = SystemLeadBytes();
    // The image paths are the schedule file's texts, in the system's code page as the script is.
    for (const std::string& path : ChainFiles(*r)) {
      if (Refuse(media::CheckScriptText(path, "The path of an image file"))) return;
      if (!AnsiFileExists(path)) {
        Refuse("An image file of the backup cannot be found:\n\n" + path);
        return;
      }
      std::string name = media::ToUpperAscii(media::FileNameOf(path), lead);
      bool twice = false;
      for (const std::string& n : names) twice = twice || n == name;
      if (Refused(twice || AnsiFileExists(script.exeFolder + "ORVAPE\\ORVANTA\\" + media::FileNameOf(path)),
                  "Two files of the ISO image would have the same name:\n\n" + path))
        return;
      names.push_back(name);
      script.imageFiles.push_back(path);
    }
  }
  const std::string work = media::IsoWorkPath(iso);
  if (Refused(GetFileAttributesW(Wide(work.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES,
              "The work file of the ISO image already exists. Remove it or choose another name:\n\n" + work))
    return;
  // The script replaces the old image only with a whole new one.
  if (FileExists(m_isoPath) &&
      MediaMessageBox(m_hWnd, Std(m_isoPath + " already exists.\nDo you want to replace it?").c_str(), "Orvanta",
                      MB_YESNO) != IDYES)
    return;
  if (!WriteScript(media::MakeIsoScript(script))) return;

  CProgressDlg dlg(this);
  dlg.m_mode = 0;
  dlg.m_scriptPath = ScriptPath();
  dlg.m_isoPath = m_isoPath;
  dlg.m_imageFiles = script.imageFiles;
  dlg.m_imageHold = held;
  dlg.m_copyLogPath = CopyLogPath();
  dlg.DoModal();
  DeleteFileW(Wide(ScriptPath()).c_str());
}

void CMediaMakerDlg::BuildUsb() {
  if (m_usbPath.IsEmpty()) {
    MediaMessageBox(m_hWnd, "Please enter an USB path.", "Orvanta", MB_OK);
    return;
  }
  const std::string usb = Std(m_usbPath);
  if (Refuse(media::CheckScriptText(usb, "The USB path"))) return;
  bool drive = usb.size() == 2 && usb[1] == ':';
  if (!drive && Refuse(media::CheckFullPath(usb, "The USB path"))) return;
  if (Refused(!ScriptSafeAnsi(m_usbPath),
              "The USB path holds characters that the build script cannot carry:\n\n" + usb))
    return;
  if (Refused(!FolderExists(media::TrimTrailingBackslashes(usb).c_str()), "The USB path does not exist:\n\n" + usb))
    return;
  const std::string systemDrive = WindowsDrive();
  if (Refused(!systemDrive.empty() && media::DriveOf(usb) == systemDrive,
              "The USB path is on " + systemDrive +
                  ", the drive of the Windows folder: the recovery environment's boot files would replace the "
                  "system's own. Choose a USB disk or another local disk.\n\n" +
                  usb))
    return;
  if (!CheckInstallation(false)) return;
  const std::string source = Std(m_exeFolder) + "ORVAPE";
  if (Refused(media::IsSameOrBelow(usb, source), "The USB path lies inside the recovery environment " + source + "."))
    return;

  CProgressDlg dlg(this);
  const JobRecord* r = nullptr;
  if (!BackupToBuild(r)) return;
  if (r) {
    if (Refuse(media::CheckFileName(r->jobName, "The backup's name"))) return;
    for (const std::string& file : ChainFiles(*r))
      if (!AnsiFileExists(file)) {
        Refuse("An image file of the backup cannot be found:\n\n" + file);
        return;
      }
    dlg.m_sourceImagePath = r->imagePath;
    dlg.m_targetImagePath = media::UsbImageTarget(AnsiOf(m_usbPath), r->jobName).c_str();
  }
  media::UsbScript script;
  script.exeFolder = AnsiOf(m_exeFolder);
  script.usbPath = AnsiOf(m_usbPath);
  script.copyLog = AnsiOf(CopyLogPath());
  if (!WriteScript(media::MakeUsbScript(script))) return;

  dlg.m_mode = 1;
  dlg.m_scriptPath = ScriptPath();
  dlg.m_recoveryFolder = source.c_str();
  dlg.m_usbPath = m_usbPath;
  dlg.m_copyLogPath = CopyLogPath();
  dlg.DoModal();
  DeleteFileW(Wide(ScriptPath()).c_str());
}

}  // namespace orva::media
