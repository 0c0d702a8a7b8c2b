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

    CGlobal& skin = SkinCache();
    skin.LoadBitmaps();
    skin.LoadIcons();
    const COLORREF colors[] = {RGB(255, 0, 255), RGB(255, 255, 255), RGB(0x33, 0x33, 0x33), RGB(0, 0, 0),
                               RGB(0xB2, 0xB2, 0xB2)};
    for (int i = 0; i < 5; ++i) skin.SetColor(i, colors[i]);

    COrvaMediaMakerDlg dlg;
    m_pMainWnd = &dlg;
    skin.CreateFont(0, "Arial", 8, FALSE);
    skin.CreateFont(1, "Arial", 9, FALSE);
    skin.CreateFont(2, "Arial", 11, TRUE);
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
