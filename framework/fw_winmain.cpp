// Entry point of the GUI programs: the one application object runs.
#include "fw_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  orva::fw::CWinApp* app = orva::fw::FwGetApp();
  if (!app) return 1;
  app->m_hInstance = instance;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
