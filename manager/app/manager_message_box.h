// Every message of the manager goes through here.
#pragma once
#include <windows.h>

#include <string>

namespace orva::ui {
struct MessageBoxParams;
}  // namespace orva::ui

namespace orva::manager {

// Shows `text` (ANSI code page) with the caption; MB_OK or MB_YESNO. Returns
// the system's result code (IDOK, IDYES, IDNO).
int ManagerMessageBox(HWND owner, const std::string& text, const char* caption = "Orvanta", UINT type = MB_OK);

// The parameters every message of the manager shares (the modern look, the
// manager's message icon); the message box remembers answers through them.
ui::MessageBoxParams& ManagerMessageBoxParams();

}  // namespace orva::manager
