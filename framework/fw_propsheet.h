// Property sheets over the common controls' sheet, used in wizard mode: the
// pages are dialogs bound to their objects when the sheet creates them, and
// the sheet runs its own modal loop.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <string>
#include <vector>
#include "fw_window.h"

namespace orva::fw {

// Ids of the wizard buttons of the sheet.
constexpr int ID_WIZBACK = 0x3023;
constexpr int ID_WIZNEXT = 0x3024;
constexpr int ID_WIZFINISH = 0x3025;

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(UINT idTemplate, const char* title = nullptr);

  PROPSHEETPAGEW m_psp{};
  void SetTitle(const char* title);
  CPropertySheet* GetSheet() const { return m_sheet; }

  // Page notifications: TRUE lets the page show / the sheet move on.
  virtual BOOL OnSetActive() { return TRUE; }
  virtual BOOL OnKillActive() { return TRUE; }
  // 0 to the next (previous) page, -1 to stay, or the template id of a page.
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual BOOL OnWizardFinish() { return TRUE; }
  virtual BOOL OnQueryCancel() { return TRUE; }
  virtual void OnReset() {}

  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL PreTranslateMessage(MSG* msg) override { return FALSE; }  // the sheet does the keys

 protected:
  friend class CPropertySheet;
  static INT_PTR CALLBACK PageDlgProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
  CPropertySheet* m_sheet = nullptr;
  std::wstring m_title;
};

class CPropertySheet : public CWnd {
 public:
  explicit CPropertySheet(const char* caption, CWnd* parent = nullptr, UINT selectPage = 0);
  ~CPropertySheet() override;

  PROPSHEETHEADERW m_psh{};

  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return (int)m_pages.size(); }
  CPropertyPage* GetPage(int index) const;
  int GetPageIndex(const CPropertyPage* page) const;
  int GetActiveIndex() const;
  CPropertyPage* GetActivePage() const;
  BOOL SetActivePage(int index);
  BOOL SetActivePage(CPropertyPage* page) { return SetActivePage(GetPageIndex(page)); }
  void SetWizardMode() { m_psh.dwFlags = (m_psh.dwFlags & ~PSH_WIZARD97) | PSH_WIZARD; }
  void SetWizardButtons(DWORD flags);
  BOOL PressButton(int button);

  // Returns ID_WIZFINISH after Finish, IDCANCEL after Cancel, -1 when the
  // sheet could not be made.
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  virtual BOOL OnInitDialog() { return TRUE; }
  BOOL PreTranslateMessage(MSG* msg) override;

  CWnd* m_pParentWnd = nullptr;

 protected:
  friend class CPropertyPage;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void CheckEnded();

  std::vector<CPropertyPage*> m_pages;
  std::wstring m_caption;
  bool m_inModal = false;
  bool m_done = false;
  bool m_finished = false;
  int m_result = -1;
};

}  // namespace orva::fw
