// The repository dialog: local repository folders and network shares
// mapped to drive letters, with a connection test of a share. On OK its
// OptionsRecord holds the new repository list, the network list and the
// groups removed in this run (to disconnect; never written to the file).
//
//   CRepositoryDlg dlg(this, &boxParams, options);
//   if (dlg.DoModal() == IDOK) { options = dlg.Result(); /* write OrvaOption.ovc */ }
#pragma once
#include <memory>

#include "contracts/options_file.h"
#include "drive_mapping.h"
#include "fw_combo_box.h"
#include "repository_rules.h"
#include "sets_dialog_common.h"
#include "fw_list_box.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

// The system's drive mapping, not remembered in the user profile.
class WNetDriveMapper : public platform::WinDriveMapper {
 public:
  WNetDriveMapper() : WinDriveMapper(platform::DriveMapping::kSession) {}
};

class CRepositoryDlg : public CFixSkinDialog {
 public:
  // `options` gives the lists shown at start; `mapper` the drives and the
  // test connection (the system's when null).
  CRepositoryDlg(CWnd* parent, MessageBoxParams* boxParams, const service::OptionsRecord& options,
                 service::DriveMapper* mapper = nullptr);

  // Filled on IDOK.
  const service::OptionsRecord& Result() const { return m_result; }

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 protected:
  virtual bool PickFolder(const char* title, UINT flags, CString& path);
  int ShowMessage(const char* text, UINT style = MB_OK);

  void OnBrowse();
  void OnAdd();
  void OnRemove();
  void OnRepositoryOK();
  void TestNetworkRepository();
  void OnModeClicked();
  void OnLogPathChange() {}
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void EnableByMode();
  void FillDriveLetters();
  void SelectFirstDrive();
  NetworkInput ReadNetworkInput();

  service::OptionsRecord m_result;
  CString m_localPath;
  CString m_logPath;
  int m_maxLogSize = 5;
  CListBox m_list;
  CBrush m_background;
  CSkinButton m_browse, m_add, m_remove, m_ok, m_test;
  CString m_share, m_user, m_password;
  CComboBox m_drives;
  int m_mode = 0;
  CStatic m_banner;
  CBitmap m_bannerBitmap;
  CBrush m_white;

  RepositoryEditor m_editor;
  MessageBoxParams m_ownBoxParams;
  MessageBoxParams* m_boxParams;
  std::unique_ptr<service::DriveMapper> m_ownMapper;
  service::DriveMapper* m_mapper;

  DECLARE_MESSAGE_MAP()
};

// The system's text of an error code, "Error" when it has none.
CString SystemErrorText(DWORD error);

}  // namespace orva::manager
