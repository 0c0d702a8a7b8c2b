#include "about_dlg.h"
#include <shellapi.h>
#include "about_dlg_resource.h"
#include "skin_cache.h"

namespace orva::manager {

BEGIN_MESSAGE_MAP(CAboutDlg, CFixSkinDialog)
ON_STN_CLICKED(IDC_ABOUT_LINK, OnLinkClicked)
ON_WM_SETCURSOR()
ON_WM_CTLCOLOR()
ON_WM_CLOSE()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CWnd* parent) : CFixSkinDialog(IDD_ABOUTBOX, parent) {}

void CAboutDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDOK, m_ok);
  if (::GetDlgItem(m_hWnd, IDCANCEL)) DDX_Control(dx, IDCANCEL, m_cancel);
  DDX_Control(dx, IDC_ABOUT_PICTURE, m_picture);
}

BOOL CAboutDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  m_brush.CreateSolidBrush(0xFEFFFF);
  SetWindowText("About Orvanta");
  SetDlgItemText(IDC_ABOUT_NAME, kProductName);
  SetDlgItemText(IDC_ABOUT_LINK, kWebAddress);
  SetDlgItemText(IDC_ABOUT_BUILD_LABEL, "Build:");
  SetDlgItemText(IDC_ABOUT_BUILD, kBuildNumber);
  SetDlgItemText(IDOK, "OK");

  // The product's name in bold.
  LOGFONTW lf{};
  if (CFont* font = GetFont(); font && font->m_hObject && font->GetLogFont(&lf)) {
    lf.lfWeight = FW_BOLD;
    if (m_font.CreateFontIndirect(&lf))
      ::SendMessageW(::GetDlgItem(m_hWnd, IDC_ABOUT_NAME), WM_SETFONT, (WPARAM)m_font.m_hObject, TRUE);
  }

  CSkinCache& skin = SkinCache();
  CSkinButton* buttons[] = {&m_ok, &m_cancel};
  for (CSkinButton* b : buttons) {
    if (!b->m_hWnd) continue;
    b->SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0));
    HICON icon = skin.GetIcon(8, 0);
    if (icon) b->SetIconImages(icon, nullptr, 4, 0);
  }
  return TRUE;
}

void CAboutDlg::OpenWebPage(const CString& address) {
  ::ShellExecuteW(m_hWnd, L"open", ToWideText(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CAboutDlg::OnLinkClicked() {
  m_linkClicked = 1;
  if (HWND link = ::GetDlgItem(m_hWnd, IDC_ABOUT_LINK))
    ::RedrawWindow(link, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  OpenWebPage(kWebAddress);
}

BOOL CAboutDlg::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) {
  HWND link = ::GetDlgItem(m_hWnd, IDC_ABOUT_LINK);
  POINT p;
  RECT r;
  if (link && ::GetCursorPos(&p) && ::GetWindowRect(link, &r) && ::PtInRect(&r, p)) {
    ::SetCursor(::LoadCursorW(nullptr, (LPCWSTR)IDC_HAND));
    return TRUE;
  }
  return CFixSkinDialog::OnSetCursor(wnd, hitTest, message);
}

HBRUSH CAboutDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  CFixSkinDialog::OnCtlColor(dc, wnd, kind);
  if (kind == CTLCOLOR_STATIC) {
    dc->SetBkMode(TRANSPARENT);
    if (wnd && wnd->GetDlgCtrlID() == IDC_ABOUT_LINK) {
      dc->SetTextColor(m_linkClicked ? kVisitedLinkColor : kLinkColor);
      return (HBRUSH)::GetStockObject(NULL_BRUSH);
    }
  }
  return (HBRUSH)m_brush.m_hObject;
}

void CAboutDlg::OnClose() {
  EndDialog(IDOK);
  Default();
}

void CAboutDlg::OnDestroy() {
  CFixSkinDialog::OnDestroy();
  EndDialog(IDOK);
}

}  // namespace orva::manager
