// OrvaManager: the backup manager's application object.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "flat_menu.h"
#include "manager_message_box.h"
#include "orva_manager_dlg.h"
#include "resource.h"
#include "skin_cache.h"

namespace orva::manager {

class COrvaManagerApp : public CWinApp {
 public:
  BOOL InitInstance() override;
  int ExitInstance() override;
};

COrvaManagerApp theApp;

namespace {
bool g_started = false;  // the menu hook is installed
int g_sockets = 0;       // successful WSAStartup calls
}  // namespace

BOOL COrvaManagerApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = 0xFF;
  InitCommonControlsEx(&controls);
  CWinApp::InitInstance();

  // The socket support; without it the manager cannot work at all.
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
    char text[128] = "Windows sockets initialization failed.";
    LoadStringA(FwGetResourceHandle(), IDP_SOCKETS_INIT_FAILED, text, sizeof text);
    FrameworkMessageBox(text, MB_OK);
    m_exitCode = 1;
    return FALSE;
  }
  g_sockets = 1;
  CFlatMenu::InstallHook();
  g_started = true;
  // Windows Sockets 2.2 for the connection; a failure is told and start-up
  // goes on (the connection then fails and says so).
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    char text[128];
    std::snprintf(text, sizeof text, "[OVClient] Socket Connect Error. [Error Code:%d]", WSAGetLastError());
    MessageBoxA(nullptr, text, "OV Standard Edition", MB_OK);
  } else {
    ++g_sockets;
  }
  SetRegistryKey("Local AppWizard-Generated Applications");

  CSkinCache& skin = SkinCache();
  skin.LoadBitmaps();
  skin.LoadIcons();
  skin.SetStandardColors();

  {
    COrvaManagerDlg dlg;
    m_pMainWnd = &dlg;
    skin.CreateStandardFonts();  // needs the main window
    dlg.DoModal();
    m_pMainWnd = nullptr;
  }
  return FALSE;
}

int COrvaManagerApp::ExitInstance() {
  if (g_started) CFlatMenu::RemoveHook();
  for (; g_sockets > 0; --g_sockets) WSACleanup();
  return CWinApp::ExitInstance();
}

}  // namespace orva::manager
