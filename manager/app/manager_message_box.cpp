#include "manager_message_box.h"

#include "message_box.h"
#include "resource.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

const char* TracePath() {
  static const char* path = [] {
    const char* p = std::getenv("ORVA_MANAGER_TRACE");
    return p && *p ? p : nullptr;
  }();
  return path;
}

}  // namespace

bool ManagerTraceOn() { return TracePath() != nullptr; }

void ManagerTrace(const std::string& line) {
  static std::mutex lock;
  const char* path = TracePath();
  if (!path) return;
  std::lock_guard<std::mutex> hold(lock);
  if (FILE* f = std::fopen(path, "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

int ManagerMessageBox(HWND owner, const std::string& text, const char* caption, UINT type) {
  if (ManagerTraceOn()) {
    std::string flat = text;
    for (char& c : flat)
      if (c == '\n') c = '|';
    ManagerTrace("message [" + std::string(caption) + "] " + flat);
  }
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
