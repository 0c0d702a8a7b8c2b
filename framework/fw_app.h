// The application object and the process-wide accessors.
#pragma once
#include <windows.h>
#include "fw_string.h"
#include "fw_window.h"

namespace orva::fw {

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();

  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return m_exitCode; }
  // Runs the main window's message loop until WM_QUIT.
  virtual int Run();

  void SetRegistryKey(const char* key) { m_registryKey = key; }
  HICON LoadIcon(UINT id) const;

  CWnd* m_pMainWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;
  CString m_appName;
  CString m_registryKey;
  int m_exitCode = 0;
};

CWinApp* FwGetApp();
CWnd* FwGetMainWnd();
HINSTANCE FwGetInstanceHandle();
HINSTANCE FwGetResourceHandle();
void FwSetResourceHandle(HINSTANCE h);
// A plain system message box owned by the active window; the caption is the application name.
int FrameworkMessageBox(const char* text, UINT type = MB_OK);

}  // namespace orva::fw
