// OrvaMediaMaker: turns an image backup into a bootable ISO image or a USB
// recovery disk.
#include <objbase.h>
#include "media_maker_dlg.h"
#include "skin_cache.h"

namespace orva::media {

class CMediaMakerApp : public CWinApp {
 public:
  CMediaMakerApp() : CWinApp("Orvanta") {}
  BOOL InitInstance() override;
};

namespace {
CMediaMakerApp theApp;
}

BOOL CMediaMakerApp::InitInstance() {
  // One apartment for the whole run on this, the UI thread: the shell's folder
  // picker requires a single-threaded one, and the disk query uses it as well.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF};
  InitCommonControlsEx(&icc);
  SetRegistryKey("Local AppWizard-Generated Applications");

  CSkinCache& skin = SkinCache();
  skin.LoadBitmaps();
  skin.LoadIcons();
  skin.SetStandardColors();

  CMediaMakerDlg dlg;
  m_pMainWnd = &dlg;
  skin.CreateStandardFonts();  // needs the main window
  dlg.DoModal();
  m_pMainWnd = nullptr;
  if (SUCCEEDED(com)) CoUninitialize();
  return FALSE;
}

}  // namespace orva::media
