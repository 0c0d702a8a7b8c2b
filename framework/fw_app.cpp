#include "fw_app.h"

namespace orva::fw {

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resource = nullptr;
}  // namespace

CWinApp::CWinApp(const char* appName) : m_appName(appName ? appName : "") {
  g_app = this;
  m_hInstance = GetModuleHandleW(nullptr);
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
  FwRunMessageLoop(nullptr, nullptr, false);
  return ExitInstance();
}

HICON CWinApp::LoadIcon(UINT id) const {
  return (HICON)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED);
}

CWinApp* FwGetApp() { return g_app; }
CWnd* FwGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }
HINSTANCE FwGetInstanceHandle() { return g_app ? g_app->m_hInstance : GetModuleHandleW(nullptr); }
HINSTANCE FwGetResourceHandle() { return g_resource ? g_resource : FwGetInstanceHandle(); }
void FwSetResourceHandle(HINSTANCE h) { g_resource = h; }

int FrameworkMessageBox(const char* text, UINT type) {
  CString caption = g_app && !g_app->m_appName.IsEmpty() ? g_app->m_appName : CString("Orvanta");
  HWND owner = GetActiveWindow();
  return MessageBoxW(owner, ToWideText(text).c_str(), ToWideText(caption).c_str(), type);
}

}  // namespace orva::fw
