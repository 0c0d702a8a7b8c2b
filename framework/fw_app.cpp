#include "fw_app.h"

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resource = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_appName(appName ? appName : "") {
    g_app = this;
    m_hInstance = GetModuleHandleW(nullptr);
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
    AfxRunMessageLoop(nullptr, nullptr, false);
    return ExitInstance();
}

HICON CWinApp::LoadIcon(UINT id) const {
    return (HICON)LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0,
                             LR_DEFAULTSIZE | LR_SHARED);
}

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
HINSTANCE AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : GetModuleHandleW(nullptr); }
HINSTANCE AfxGetResourceHandle() { return g_resource ? g_resource : AfxGetInstanceHandle(); }
void AfxSetResourceHandle(HINSTANCE h) { g_resource = h; }

int AfxMessageBox(const char* text, UINT type) {
    CString caption = g_app && !g_app->m_appName.IsEmpty() ? g_app->m_appName : CString("Orvanta");
    HWND owner = GetActiveWindow();
    return MessageBoxW(owner, ToWideText(text).c_str(), ToWideText(caption).c_str(), type);
}
