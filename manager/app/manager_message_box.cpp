#include "manager_message_box.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &w[0], n);
  return w;
}

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
    if ((type & 0xF) == MB_YESNO) {
      const char* answer = std::getenv("ORVA_MANAGER_ANSWER");
      return answer && std::strcmp(answer, "yes") == 0 ? IDYES : IDNO;
    }
    return IDOK;
  }
  return MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}
