#include "media_message.h"
#include "framework.h"

int MediaMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxW(owner, ToWideText(text).c_str(), ToWideText(caption).c_str(), type);
}
