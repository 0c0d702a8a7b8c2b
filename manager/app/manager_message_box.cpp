#include "manager_message_box.h"

#include "message_box.h"
#include "resource.h"

namespace orva::manager {
using namespace orva::ui;

int ManagerMessageBox(HWND owner, const std::string& text, const char* caption, UINT type) {
  return SkinMessageBox(owner, text.c_str(), caption, type, &ManagerMessageBoxParams());
}

MessageBoxParams& ManagerMessageBoxParams() {
  static MessageBoxParams params = [] {
    MessageBoxParams p;
    p.options |= SMB_OPT_MODERN;
    p.iconId = IDI_MESSAGE_BOX;
    return p;
  }();
  return params;
}

}  // namespace orva::manager
