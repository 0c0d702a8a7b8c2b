#include "progress_dlg.h"

#include <shellapi.h>
#include "core/media_build.h"
#include "image_header_reader.h"
#include "media_maker_dlg.h"
#include "media_message.h"
#include "resource.h"
#include "skin_cache.h"

namespace orva::media {

namespace {
const COLORREF kBackground = 0xFEFFFF;
const char kCreating[] = "Creating an ISO image";
const char kInitializing[] = "Initializing a recovery media\xE2\x80\xA6";
const char kCompleted[] = "Successfully completed.";

DWORD CALLBACK CopyProgress(LARGE_INTEGER total, LARGE_INTEGER copied, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                            HANDLE, HANDLE, LPVOID data) {
  static_cast<CProgressDlg*>(data)->ShowCopyProgress((uint64_t)copied.QuadPart, (uint64_t)total.QuadPart);
  return PROGRESS_CONTINUE;
}

CString SystemErrorText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 error, 0, (LPWSTR)&text, 0, nullptr);
  CString out = text ? FromWideText(text) : CString();
  if (text) LocalFree(text);
  out.TrimRight();
  if (out.IsEmpty()) out.Format("error %lu", error);
  return out;
}

uint64_t AnsiFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(WideOfAnsi(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// Sizes in the space message: kilobytes while megabytes would round away the difference.
std::string SpaceText(uint64_t bytes) {
  if (bytes >= 10ull * 1048576) return media::DiskSizeText((int64_t)bytes);
  char text[32];
  snprintf(text, sizeof text, "%llu KB", (unsigned long long)((bytes + 1023) / 1024));
  return text;
}

uint64_t TreeSize(const std::wstring& folder) {
  uint64_t total = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      total += TreeSize(folder + L"\\" + name);
    else
      total += ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return total;
}
}  // namespace

void PumpWaitingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage((int)msg.wParam);
      return;
    }
    if (!FwPreTranslateMessage(&msg, nullptr)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

BEGIN_MESSAGE_MAP(CProgressDlg, CFixSkinDialog)
ON_WM_TIMER()
ON_WM_CTLCOLOR()
ON_BN_CLICKED(IDCANCEL, OnOk)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg(CWnd* parent) : CFixSkinDialog(IDD_PROGRESS, parent) {}

void CProgressDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_PROGRESS_BAR, m_bar);
  DDX_Control(dx, IDCANCEL, m_okButton);
}

BOOL CProgressDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  UpdateData(FALSE);
  m_backBrush.CreateSolidBrush(kBackground);
  UseMediaMessageLook();
  SetWindowText("Recovery");
  CSkinCache& skin = SkinCache();
  m_okButton.SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0), nullptr, 0);
  m_okButton.SetIconImages(skin.GetIcon(3, 0), nullptr, 5, 0);
  m_okButton.SetFont(skin.GetFont(0));
  m_okButton.SetWindowText("OK");
  m_bar.SendMessage(PBM_SETRANGE32, 0, 100);
  SetStatus(m_mode == 0 ? kCreating : kInitializing);
  m_okButton.EnableWindow(FALSE);
  SetTimer(1, 1000);
  return TRUE;
}

BOOL CProgressDlg::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN) return TRUE;
  return CFixSkinDialog::PreTranslateMessage(msg);
}

HBRUSH CProgressDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  if (kind == CTLCOLOR_STATIC || kind == CTLCOLOR_DLG) {
    dc->SetBkMode(TRANSPARENT);
    return (HBRUSH)m_backBrush.m_hObject;
  }
  return CFixSkinDialog::OnCtlColor(dc, wnd, kind);
}

// The close box arrives here as well: nothing closes the window before the work is done.
void CProgressDlg::OnOk() {
  if (m_done) EndDialog(IDOK);
}

void CProgressDlg::SetStatus(const char* text) { SetDlgItemText(IDC_PROGRESS_TEXT, text); }
void CProgressDlg::SetBar(int pos) { m_bar.SendMessage(PBM_SETPOS, pos); }

void CProgressDlg::OnTimer(UINT_PTR id) {
  if (id != 1) {
    Default();
    return;
  }
  KillTimer(1);
  if (m_mode == 0)
    RunIso();
  else
    RunUsb();
  m_done = true;
  m_okButton.EnableWindow(TRUE);
}

template <class Tick>
bool CProgressDlg::RunScript(DWORD& exitCode, Tick tick) {
  exitCode = 1;
  std::wstring file = Wide(m_scriptPath);
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof(sei);
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.lpVerb = L"open";
  sei.lpFile = file.c_str();
  sei.nShow = SW_HIDE;
  if (!ShellExecuteExW(&sei) || !sei.hProcess) return false;
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &sei.hProcess, FALSE, 1000, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_TIMEOUT)
      tick();
    else if (r == WAIT_FAILED)
      Sleep(100);
    PumpWaitingMessages();
  }
  GetExitCodeProcess(sei.hProcess, &exitCode);
  CloseHandle(sei.hProcess);
  return true;
}

void CProgressDlg::Fail(const CString& status, const CString& message) {
  m_succeeded = false;
  SetStatus(status);
  MediaMessageBox(m_hWnd, message, "Orvanta", MB_OK);
}

void CProgressDlg::RunIso() {
  int step = 1, dots = 0;
  DWORD code = 1;
  bool started = RunScript(code, [&] {
    dots = dots % 5 + 1;
    SetStatus(CString(kCreating) + CString('.', dots));
    SetBar(step);
    step = step >= 99 ? 1 : step + 1;
  });
  if (!started) {
    Fail("The build script could not be started.", "The build script could not be started:\n\n" + m_scriptPath);
    return;
  }
  if (code != 0 || !FileExists(m_isoPath)) {
    // Where the image files are now: back in their folder, or where the script left them.
    std::string held, lost;
    for (const std::string& file : m_imageFiles) {
      if (AnsiFileExists(file)) continue;
      if (AnsiFileExists(m_imageHold + "\\" + media::FileNameOf(file)))
        held += "    " + media::FileNameOf(file) + " (from " + media::FolderOf(file) + ")\n";
      else
        lost += "    " + file + "\n";
    }
    std::string text = "The ISO image could not be created.";
    if (held.empty() && lost.empty()) {
      text += " The image files of the backup stay where they were.";
    } else {
      text += " Image files of the backup could not be moved back to their folder.";
      if (!held.empty())
        text += "\n\nThey are in " + m_imageHold + ":\n" + held + "Move them back before you build again.";
      if (!lost.empty()) text += "\n\nNot found:\n" + lost;
    }
    Fail("The ISO image could not be created.", CString((text + "\n\nCopy log: ").c_str()) + m_copyLogPath);
    return;
  }
  m_succeeded = true;
  SetStatus(kCompleted);
  SetBar(100);
}

void CProgressDlg::ShowCopyProgress(uint64_t copied, uint64_t total) {
  SetStatus(media::CopyProgressText(copied, total).c_str());
  SetBar(media::CopyPercent(copied, total));
  PumpWaitingMessages();
}

void CProgressDlg::RunUsb() {
  // The backup's image and its increments, all into the target's folder.
  std::vector<std::pair<CString, CString>> copies;
  if (!m_sourceImagePath.IsEmpty()) {
    copies.emplace_back(m_sourceImagePath, m_targetImagePath);
    std::string folder = media::FolderOf(m_targetImagePath.str());
    TavImageHeader header;
    FileStream file;
    if (file.Open(m_sourceImagePath, "rb")) {
      ReadImageHeader(file, header);
      file.Close();
      for (const std::string& inc : AnsiIncrements(header))
        copies.emplace_back(inc.c_str(), (folder + media::FileNameOf(inc)).c_str());
    }
  }
  uint64_t needed = TreeSize(Wide(m_recoveryFolder));
  for (auto& c : copies) needed += AnsiFileSize(c.first.str());
  CString root = media::TrimTrailingBackslashes(m_usbPath.str()).c_str();
  ULARGE_INTEGER freeBytes{};
  if (GetDiskFreeSpaceExW(Wide(root + "\\").c_str(), &freeBytes, nullptr, nullptr) && freeBytes.QuadPart < needed) {
    CString text;
    text.Format("There is not enough free space on %s: %s needed, %s free.", root.GetString(),
                SpaceText(needed).c_str(), SpaceText(freeBytes.QuadPart).c_str());
    Fail("Not enough free space on the medium.", text);
    return;
  }

  int step = 1;
  DWORD code = 1;
  bool started = RunScript(code, [&] {
    SetBar(step);
    step = step >= 99 ? 1 : step + 1;
  });
  SetBar(100);
  SetStatus(kInitializing);
  if (!started) {
    Fail("The build script could not be started.", "The build script could not be started:\n\n" + m_scriptPath);
    return;
  }
  if (code != 0) {
    Fail("The recovery environment could not be copied.",
         "The recovery environment could not be copied to " + root + ".\n\nCopy log: " + m_copyLogPath);
    return;
  }
  for (auto& c : copies) {
    CreateDirectoryW(WideOfAnsi(media::FolderOf(c.second.str())).c_str(), nullptr);
    BOOL cancel = FALSE;
    if (!CopyFileExW(WideOfAnsi(c.first.str()).c_str(), WideOfAnsi(c.second.str()).c_str(), CopyProgress, this, &cancel,
                     COPY_FILE_FAIL_IF_EXISTS)) {
      DWORD error = GetLastError();
      Fail("An image file could not be copied.",
           "The image file " + c.first + " could not be copied to " + c.second + ":\n\n" + SystemErrorText(error));
      return;
    }
  }
  m_succeeded = true;
  SetStatus(kCompleted);
  SetBar(100);
}

}  // namespace orva::media
