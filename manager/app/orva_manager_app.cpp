// OrvaManager: the backup manager's application object.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "flat_menu.h"
#include "manager_message_box.h"
#include "orva_manager_dlg.h"
#include "resource.h"
#include "skin_cache.h"

class COrvaManagerApp : public CWinApp {
 public:
  BOOL InitInstance() override;
  int ExitInstance() override;
};

COrvaManagerApp theApp;

namespace {
bool g_started = false;  // sockets and the menu hook are taken
}  // namespace

BOOL COrvaManagerApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = 0xFF;
  InitCommonControlsEx(&controls);
  CWinApp::InitInstance();

  // Windows Sockets 2.2; without them the manager cannot work at all.
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    char text[128] = "Windows sockets initialization failed.";
    LoadStringA(FwGetResourceHandle(), IDP_SOCKETS_INIT_FAILED, text, sizeof text);
    ManagerMessageBox(nullptr, text, "Orvanta", MB_OK);
    m_exitCode = 1;
    return FALSE;
  }
  CFlatMenu::InstallHook();
  g_started = true;
  SetRegistryKey("Local AppWizard-Generated Applications");

  CGlobal& skin = SkinCache();
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
  if (g_started) {
    CFlatMenu::RemoveHook();
    WSACleanup();
  }
  return CWinApp::ExitInstance();
}
