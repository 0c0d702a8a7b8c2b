// Every message of the media maker goes through here: the same arguments
// and results as the system's message box.
#pragma once
#include <windows.h>

int MediaMessageBox(HWND owner, const char* text, const char* caption = "Orvanta", UINT type = MB_OK);
