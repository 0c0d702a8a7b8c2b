#include "media_message.h"

#include "message_box.h"
#include "resource.h"

namespace orva::media {
using namespace orva::ui;

MessageBoxParams& MediaMessageBoxParams() {
  static MessageBoxParams params;
  return params;
}

void UseMediaMessageLook() {
  MessageBoxParams& p = MediaMessageBoxParams();
  p.options |= SMB_OPT_MODERN;
  p.iconId = IDI_MESSAGE;
}

int MediaMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return SkinMessageBox(owner, text, caption, type, &MediaMessageBoxParams());
}

}  // namespace orva::media
