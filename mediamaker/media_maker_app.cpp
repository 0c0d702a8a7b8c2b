// OrvaMediaMaker: turns an image backup into a bootable ISO image or a USB
// recovery disk.
#include "media_maker_dlg.h"
#include "skin_cache.h"

class COrvaMediaMakerApp : public CWinApp {
public:
    COrvaMediaMakerApp() : CWinApp("Orvanta") {}
    BOOL InitInstance() override;
};

namespace {
COrvaMediaMakerApp theApp;
}

BOOL COrvaMediaMakerApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), 0xFF};
    InitCommonControlsEx(&icc);
    SetRegistryKey("Local AppWizard-Generated Applications");

    CSkinCache& skin = SkinCache();
    skin.LoadBitmaps();
    skin.LoadIcons();
    skin.SetStandardColors();

    COrvaMediaMakerDlg dlg;
    m_pMainWnd = &dlg;
    skin.CreateStandardFonts();  // needs the main window
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
