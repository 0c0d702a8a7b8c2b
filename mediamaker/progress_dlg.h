// The window in which a build runs: the script runs hidden while the bar
// moves, and for a USB disk the backup's image files are then copied with a
// per-file progress text. Only its OK button closes it, once the work is done.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::media {
using namespace orva::fw;
using namespace orva::ui;

class CProgressDlg : public CFixSkinDialog {
 public:
  explicit CProgressDlg(CWnd* parent = nullptr);

  int m_mode = 0;  // 0 ISO image, 1 USB medium
  CString m_scriptPath;
  // Mode 1, texts in the system's code page (as the schedule file's):
  CString m_targetImagePath;  // where the backup's image goes
  CString m_sourceImagePath;  // the backup's image
  CString m_isoPath;          // mode 0: the image the script makes
  // Mode 0: the backup's image files and the folder they wait in while the image is made.
  std::vector<std::string> m_imageFiles;
  std::string m_imageHold;
  CString m_recoveryFolder;  // mode 1: what the script copies, for the space check
  CString m_usbPath;         // mode 1
  CString m_copyLogPath;
  bool m_succeeded = false;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL PreTranslateMessage(MSG* msg) override;

  // Called by the copy routine for each chunk of the file being copied.
  void ShowCopyProgress(uint64_t copied, uint64_t total);

 protected:
  void OnTimer(UINT_PTR id);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnOk();

  void RunIso();
  void RunUsb();
  // Runs the script hidden and waits; `tick` is called about once a second.
  // False when it did not start; `exitCode` gets its exit code.
  template <class Tick>
  bool RunScript(DWORD& exitCode, Tick tick);
  void Fail(const CString& status, const CString& message);
  void SetStatus(const char* text);
  void SetBar(int pos);

  CBrush m_backBrush;
  CWnd m_bar;
  CSkinButton m_okButton;
  bool m_done = false;

  DECLARE_MESSAGE_MAP()
};

// Dispatches what waits in the thread's queue (keys go through the dialogs' pre-translation).
void PumpWaitingMessages();

}  // namespace orva::media
