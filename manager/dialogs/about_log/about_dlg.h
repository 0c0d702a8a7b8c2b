// The manager's About box: the product's picture, name and version, the
// build number and a link to the product's web page.
#pragma once
#include "framework.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

class CAboutDlg : public CFixSkinDialog {
 public:
  static constexpr const char* kProductName = "Orvanta Windows Backup v3.0.0";
  static constexpr const char* kWebAddress = "http://www.orvanta.com";
  static constexpr const char* kBuildNumber = "3000";
  static constexpr COLORREF kLinkColor = 0xFF0000;
  static constexpr COLORREF kVisitedLinkColor = 0x6464FF;

  explicit CAboutDlg(CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  bool LinkClicked() const { return m_linkClicked != 0; }

 protected:
  // Opens the web page with the shell (tests replace it).
  virtual void OpenWebPage(const CString& address);

  void OnLinkClicked();
  BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnClose();
  void OnDestroy();

  CFont m_font;
  CBrush m_brush;
  CSkinButton m_ok;
  CSkinButton m_cancel;
  CStatic m_picture;
  int m_linkClicked = 0;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::manager
