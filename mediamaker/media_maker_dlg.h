// The media maker's main dialog: the image backups of the schedule file,
// the medium (USB or local disk, or an ISO image) and its path, and Build.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/media_build.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::media {
using namespace orva::fw;
using namespace orva::ui;

class CMediaMakerDlg : public CFixSkinDialog {
 public:
  explicit CMediaMakerDlg(CWnd* parent = nullptr);
  ~CMediaMakerDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 protected:
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
  void OnMediumClicked();
  void OnBackupChanged();
  void OnIsoBrowse();
  void OnUsbBrowse();
  void OnBuild();
  void OnRestoreOk();
  void OnExit();
  void OnDownload();

  void ApplyMedium();
  void ReadScheduleFile();
  void FillBackupList();
  void SelectBackup();
  const JobRecord* SelectedRecord();
  // The record of the selected backup, null when none is selected; false,
  // after telling so, when the selected backup's record cannot be found.
  bool BackupToBuild(const JobRecord*& record);
  void BuildIso();
  void BuildUsb();
  // Shows the first problem of the installation; false when there is one.
  bool CheckInstallation(bool iso);
  // Shows `why` when it is not empty (or when `bad`); true when it showed it.
  bool Refuse(const std::string& why);
  bool Refused(bool bad, const std::string& why);
  // The image file of the record and the increment files its header lists.
  // The image and its increments: texts in the system's code page.
  std::vector<std::string> ChainFiles(const JobRecord& record);
  bool WriteScript(const std::string& text);
  CString ScriptPath() const;
  CString CopyLogPath() const;

  CString m_exeFolder;     // with its trailing backslash
  CString m_parentFolder;  // without one
  CFont m_linkFont;
  CBrush m_backBrush;
  CSkinButton m_isoBrowse, m_usbBrowse, m_build, m_exit;
  int m_medium = 0;  // 0 USB or local disk, 1 ISO image
  CWnd m_backupList;
  CString m_isoPath;
  CString m_usbPath;
  CSkinButton m_ok;
  BOOL m_linkClicked = FALSE;
  HICON m_icon = nullptr;
  int m_recordCount = 0;
  std::vector<JobRecord> m_jobs;
  int64_t m_chainSize = 0;

  DECLARE_MESSAGE_MAP()
};

// The wide form of a text for the file calls.
std::wstring Wide(const CString& s);
bool FileExists(const CString& path);
// A text of the schedule file or of an image header (the system's code page) as a path.
std::wstring WideOfAnsi(const std::string& ansiText);
bool AnsiFileExists(const std::string& ansiPath);
bool FolderExists(const CString& path);

}  // namespace orva::media
