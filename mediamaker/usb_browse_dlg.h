// Lists the removable disks, and on request the local disks too, from WMI
// and returns the drive of the chosen row (for example "E:").
#pragma once
#include <string>
#include <vector>
#include "disk_list.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::media {
using namespace orva::fw;
using namespace orva::ui;

struct DiskEntry {
  CString caption, serial, fileSystem, size;
};

// mode 0: removable disks; 1: removable and fixed disks. "SUCCESS" or the
// WMI error text; `disks` is filled only on success. It runs in the calling
// thread's COM apartment, which the caller has initialised.
CString QueryDisks(int mode, std::vector<DiskEntry>& disks);

class CUsbBrowseDlg : public CFixSkinDialog {
 public:
  explicit CUsbBrowseDlg(CWnd* parent = nullptr);
  ~CUsbBrowseDlg() override;

  CString m_result;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 protected:
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnToggle();
  void OnOk();
  void Query(int mode);

  CSkinButton m_okButton, m_cancelButton;
  HIMAGELIST m_images = nullptr;
  DiskList m_list;
  CBrush m_backBrush;
  std::vector<DiskEntry> m_disks;
  int m_diskCount = 0;
  int m_showLocal = 0;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::media
