// Every message of the media maker goes through here: the same arguments
// and results as the system's message box, shown by the skinned message box
// with the program's shared parameters (modern look, its message icon).
#pragma once
#include <windows.h>

struct MessageBoxParams;

int MediaMessageBox(HWND owner, const char* text, const char* caption = "Orvanta", UINT type = MB_OK);
MessageBoxParams& MediaMessageBoxParams();
