// Native stand-ins for the few platform calls the portable code needs.
#include <cerrno>
#include <cstdio>
#include <string>

#include "core/output.h"
#include "core/platform.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

std::string EncodeConsoleText(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n')
      out += "\r\n";
    else if (c >= 0 && c < 0x80)
      out.push_back(static_cast<char>(c));
    else
      out.push_back('?');
  }
  return out;
}

std::wstring SystemErrorText(long code) { return code ? Fmt(L"System error %ld.\r\n", code) : L""; }
long LastSystemError() { return errno; }

// A path with a character the locale cannot encode is not opened: its
// narrow form would name another file.
std::FILE* OpenFile(const std::wstring& path, const std::wstring& mode) {
  bool pathComplete = false, modeComplete = false;
  const std::string p = NarrowText(path, &pathComplete), m = NarrowText(mode, &modeComplete);
  return pathComplete && modeComplete ? std::fopen(p.c_str(), m.c_str()) : nullptr;
}

// POSIX files take no share modes: every open is shared.
std::FILE* OpenSharedFile(const std::wstring& path, bool append) {
  bool complete = false;
  const std::string p = NarrowText(path, &complete);
  return complete ? std::fopen(p.c_str(), append ? "ab" : "wb") : nullptr;
}

int SeekFile(std::FILE* file, int64_t offset, int origin) { return fseeko(file, static_cast<off_t>(offset), origin); }

int64_t TellFile(std::FILE* file) { return static_cast<int64_t>(ftello(file)); }

}  // namespace orva
