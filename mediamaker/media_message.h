// Every message of the media maker goes through here: the same arguments
// and results as the system's message box, shown by the kit's message box
// with the program's shared parameters.
#pragma once
#include <windows.h>

namespace orva::ui {
struct MessageBoxParams;
}  // namespace orva::ui

namespace orva::media {

int MediaMessageBox(HWND owner, const char* text, const char* caption = "Orvanta", UINT type = MB_OK);

// The parameters every message of the media maker shares; each dialog sets
// the modern look and the program's message icon in it when it starts.
ui::MessageBoxParams& MediaMessageBoxParams();
void UseMediaMessageLook();

}  // namespace orva::media
