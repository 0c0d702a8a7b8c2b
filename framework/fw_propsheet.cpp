#include "fw_propsheet.h"
#include "fw_app.h"

namespace orva::fw {

namespace {
// The sheet being made: bound to the first window the thread creates.
thread_local CPropertySheet* t_sheetCreating = nullptr;
thread_local HHOOK t_sheetHook = nullptr;

LRESULT CALLBACK SheetCbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && t_sheetCreating) {
    CPropertySheet* sheet = t_sheetCreating;
    t_sheetCreating = nullptr;
    sheet->SubclassWindow((HWND)wParam);
  }
  return CallNextHookEx(t_sheetHook, code, wParam, lParam);
}
}  // namespace

// --- pages ------------------------------------------------------------------

CPropertyPage::CPropertyPage(UINT idTemplate, const char* title) : CDialog(idTemplate) {
  m_psp.dwSize = sizeof(m_psp);
  m_psp.dwFlags = PSP_DEFAULT;
  m_psp.pszTemplate = MAKEINTRESOURCEW(idTemplate);
  m_psp.pfnDlgProc = PageDlgProc;
  m_psp.lParam = (LPARAM)this;
  if (title) SetTitle(title);
}

void CPropertyPage::SetTitle(const char* title) {
  m_title = ToWideText(title);
  m_psp.dwFlags |= PSP_USETITLE;
  m_psp.pszTitle = m_title.c_str();
}

INT_PTR CALLBACK CPropertyPage::PageDlgProc(HWND h, UINT msg, WPARAM, LPARAM lParam) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* psp = (PROPSHEETPAGEW*)lParam;
  auto* page = psp ? (CPropertyPage*)psp->lParam : nullptr;
  if (!page || page->m_hWnd) return TRUE;
  page->SubclassWindow(h);
  return page->OnInitDialog();
}

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  auto* nm = (NMHDR*)lParam;
  if (nm && m_sheet && nm->hwndFrom == m_sheet->m_hWnd) {
    LRESULT r = 0;
    bool handled = true;
    switch (nm->code) {
      case PSN_SETACTIVE:
        r = OnSetActive() ? 0 : -1;
        break;
      case PSN_KILLACTIVE:
        r = OnKillActive() ? FALSE : TRUE;
        break;
      case PSN_WIZNEXT:
        r = OnWizardNext();
        break;
      case PSN_WIZBACK:
        r = OnWizardBack();
        break;
      case PSN_WIZFINISH:
        if (OnWizardFinish()) {
          m_sheet->m_finished = true;
          r = FALSE;
        } else {
          r = TRUE;
        }
        break;
      case PSN_QUERYCANCEL:
        r = OnQueryCancel() ? FALSE : TRUE;
        break;
      case PSN_RESET:
        OnReset();
        break;
      case PSN_APPLY:
        r = PSNRET_NOERROR;
        break;
      default:
        handled = false;
    }
    if (handled) {
      *result = r;
      ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, r);
      return TRUE;
    }
  }
  return CDialog::OnNotify(wParam, lParam, result);
}

// --- sheet ------------------------------------------------------------------

CPropertySheet::CPropertySheet(const char* caption, CWnd* parent, UINT selectPage) : m_pParentWnd(parent) {
  m_caption = ToWideText(caption);
  m_psh.dwSize = sizeof(m_psh);
  m_psh.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS;
  m_psh.pszCaption = m_caption.c_str();
  m_psh.nStartPage = selectPage;
}

CPropertySheet::~CPropertySheet() {
  if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  page->m_sheet = this;
  m_pages.push_back(page);
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  return index >= 0 && index < (int)m_pages.size() ? m_pages[index] : nullptr;
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
  for (size_t i = 0; i < m_pages.size(); ++i)
    if (m_pages[i] == page) return (int)i;
  return -1;
}

int CPropertySheet::GetActiveIndex() const {
  if (!m_hWnd) return (int)m_psh.nStartPage;
  HWND page = (HWND)::SendMessageW(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0);
  for (size_t i = 0; i < m_pages.size(); ++i)
    if (page && m_pages[i]->m_hWnd == page) return (int)i;
  return -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const { return GetPage(GetActiveIndex()); }

BOOL CPropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= (int)m_pages.size()) return FALSE;
  if (!m_hWnd) {
    m_psh.nStartPage = index;
    return TRUE;
  }
  return (BOOL)::SendMessageW(m_hWnd, PSM_SETCURSEL, index, 0);
}

void CPropertySheet::SetWizardButtons(DWORD flags) {
  if (m_hWnd) ::SendMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, flags);
}

BOOL CPropertySheet::PressButton(int button) {
  if (!m_hWnd) return FALSE;
  ::PostMessageW(m_hWnd, PSM_PRESSBUTTON, button, 0);
  return TRUE;
}

INT_PTR CPropertySheet::DoModal() {
  if (m_pages.empty() || m_hWnd) return -1;
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!parent) {
    CWnd* main = FwGetMainWnd();
    if (main && main->m_hWnd) parent = main->m_hWnd;
  }
  if (parent) parent = GetAncestor(parent, GA_ROOT);

  std::vector<PROPSHEETPAGEW> pages;
  for (CPropertyPage* p : m_pages) {
    p->m_psp.hInstance = FwGetResourceHandle();
    pages.push_back(p->m_psp);
  }
  m_psh.dwFlags |= PSH_PROPSHEETPAGE | PSH_MODELESS;
  m_psh.hwndParent = parent;
  m_psh.hInstance = FwGetResourceHandle();
  m_psh.nPages = (UINT)pages.size();
  m_psh.ppsp = pages.data();
  if (m_psh.nStartPage >= m_psh.nPages) m_psh.nStartPage = 0;

  bool enableParent = false;
  if (parent && ::IsWindowEnabled(parent)) {
    ::EnableWindow(parent, FALSE);
    enableParent = true;
  }
  m_done = false;
  m_finished = false;
  m_result = -1;
  t_sheetCreating = this;
  if (!t_sheetHook) t_sheetHook = SetWindowsHookExW(WH_CBT, SheetCbtHook, nullptr, GetCurrentThreadId());
  HWND h = (HWND)::PropertySheetW(&m_psh);
  t_sheetCreating = nullptr;
  if (t_sheetHook) {
    UnhookWindowsHookEx(t_sheetHook);
    t_sheetHook = nullptr;
  }
  if (h && h != (HWND)-1) {
    m_inModal = true;
    CheckEnded();
    if (!m_done) {
      if (!::IsWindowVisible(h)) ::ShowWindow(h, SW_SHOWNORMAL);
      FwRunMessageLoop(h, &m_done, true);
    }
    m_inModal = false;
    if (m_result == -1) m_result = m_finished ? ID_WIZFINISH : IDCANCEL;
  }
  if (enableParent) ::EnableWindow(parent, TRUE);
  if (h && h != (HWND)-1 && ::IsWindow(h)) {
    ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (parent) ::SetActiveWindow(parent);
    ::DestroyWindow(h);
  }
  for (CPropertyPage* p : m_pages)
    if (p->m_hWnd) p->Detach();
  m_psh.ppsp = nullptr;
  return m_result;
}

void CPropertySheet::EndDialog(int result) {
  m_result = result;
  m_done = true;
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

// Finish and Cancel leave a modeless sheet without a current page.
void CPropertySheet::CheckEnded() {
  if (!m_inModal || m_done || !m_hWnd) return;
  if (!::SendMessageW(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0)) {
    m_done = true;
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
  }
}

LRESULT CPropertySheet::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    LRESULT r = DefWindowProc(msg, wParam, lParam);
    OnInitDialog();
    return r;
  }
  LRESULT r = CWnd::WindowProc(msg, wParam, lParam);
  if (msg == WM_COMMAND || msg == WM_SYSCOMMAND || msg == PSM_PRESSBUTTON || msg == WM_CLOSE) CheckEnded();
  return r;
}

BOOL CPropertySheet::PreTranslateMessage(MSG* msg) {
  bool key = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
  if (!key || !m_hWnd) return FALSE;
  return (BOOL)::SendMessageW(m_hWnd, PSM_ISDIALOGMESSAGE, 0, (LPARAM)msg);
}

}  // namespace orva::fw
